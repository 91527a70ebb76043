// The serial devices of a Linux machine: the stable names in
// /dev/serial/by-id first, then every terminal in /dev with a device behind
// it in sysfs (ttyS, ttyUSB, ttyACM, ttyAMA, ttyXRUSB, rfcomm ...), each
// with what sysfs tells of it. Virtual consoles and pseudo-terminals have no
// device and are left out.
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/serial_ports.h"

// The list being filled.
struct PortList {
    const char* root;
    SerialPortInfo* ports;
    int count;
    int max;
};

// out = a + b + c, at most PATH_MAX bytes with its NUL; 0 when it is longer.
static int Join(char* out, const char* a, const char* b, const char* c = "")
{
    int length = snprintf(out, PATH_MAX, "%s%s%s", a, b, c);
    return length >= 0 && length < PATH_MAX;
}

// Reads the first line of a sysfs attribute; 0 when there is none.
static int ReadAttribute(const char* directory, const char* name, char* out)
{
    char path[PATH_MAX];
    out[0] = 0;
    FILE* file = Join(path, directory, "/", name) ? fopen(path, "r") : nullptr;
    if (!file)
        return 0;
    if (!fgets(out, SERIAL_PORT_TEXT_SIZE, file))
        out[0] = 0;
    fclose(file);
    out[strcspn(out, "\r\n")] = 0;
    return out[0] != 0;
}

// The driver of a device is the last part of where its "driver" link points.
static void ReadDriver(const char* deviceDir, char* out)
{
    char path[PATH_MAX];
    char target[PATH_MAX];
    out[0] = 0;
    ssize_t length = Join(path, deviceDir, "/driver") ? readlink(path, target, sizeof target - 1) : -1;
    if (length <= 0)
        return;
    target[length] = 0;
    const char* slash = strrchr(target, '/');
    snprintf(out, SERIAL_PORT_TEXT_SIZE, "%.*s", SERIAL_PORT_TEXT_SIZE - 1, slash ? slash + 1 : target);
}

// Fills the record from /sys/class/tty/NAME: the driver of the tty's device
// and, for a USB adapter, the ids and names of the first USB device above it.
static void DescribeDevice(const char* root, const char* name, SerialPortInfo* port)
{
    char path[PATH_MAX];
    char tty[PATH_MAX];
    char sys[PATH_MAX];
    char deviceDir[PATH_MAX];
    snprintf(port->device, sizeof port->device, "/dev/%.*s", SERIAL_PORT_TEXT_SIZE - 8, name);
    if (!Join(path, root, "/sys") || !realpath(path, sys))
        return;
    if (!Join(tty, sys, "/class/tty/", name) || !Join(path, tty, "/device") || !realpath(path, deviceDir))
        return;
    ReadDriver(deviceDir, port->driver);
    size_t sysLength = strlen(sys);
    while (strlen(deviceDir) > sysLength && strncmp(deviceDir, sys, sysLength) == 0) {
        if (ReadAttribute(deviceDir, "idVendor", port->vendorId)) {
            ReadAttribute(deviceDir, "idProduct", port->productId);
            ReadAttribute(deviceDir, "manufacturer", port->manufacturer);
            ReadAttribute(deviceDir, "product", port->product);
            ReadAttribute(deviceDir, "serial", port->serial);
            return;
        }
        *strrchr(deviceDir, '/') = 0;
    }
}

static SerialPortInfo* NewPort(PortList* list)
{
    if (list->count == list->max)
        return nullptr;
    SerialPortInfo* port = &list->ports[list->count++];
    memset(port, 0, sizeof *port);
    return port;
}

// A terminal whose sysfs entry has a device: some hardware, or a driver for
// it, is behind the name.
static int HasDevice(const char* root, const char* name)
{
    char directory[PATH_MAX];
    char device[PATH_MAX];
    struct stat info;
    return Join(directory, root, "/sys/class/tty/", name) && Join(device, directory, "/device") &&
           stat(device, &info) == 0;
}

// An on-board ttyS exists whether or not a UART is fitted; the kernel says
// type 0 (unknown) for an empty one.
static int HasUart(const char* root, const char* name)
{
    char directory[PATH_MAX];
    char type[SERIAL_PORT_TEXT_SIZE];
    return Join(directory, root, "/sys/class/tty/", name) && ReadAttribute(directory, "type", type) &&
           strcmp(type, "0") != 0;
}

static int CompareEntries(const dirent** a, const dirent** b)
{
    return CompareSerialPortNames((*a)->d_name, (*b)->d_name);
}

static int NotDot(const dirent* entry)
{
    return entry->d_name[0] != '.';
}

static void AddLinks(PortList* list)
{
    char directory[PATH_MAX];
    dirent** names = nullptr;
    int count = Join(directory, list->root, "/dev/serial/by-id") ? scandir(directory, &names, NotDot, CompareEntries) : 0;
    for (int i = 0; i < count; i++) {
        char link[PATH_MAX];
        char target[PATH_MAX];
        const char* base = Join(link, directory, "/", names[i]->d_name) && realpath(link, target)
                               ? strrchr(target, '/') : nullptr;
        SerialPortInfo* port = base ? NewPort(list) : nullptr;   // a link to nothing is no port
        if (port) {
            snprintf(port->port, sizeof port->port, "/dev/serial/by-id/%s", names[i]->d_name);
            port->link = 1;
            DescribeDevice(list->root, base + 1, port);
        }
        free(names[i]);
    }
    free(names);
}

static void AddDevices(PortList* list)
{
    char directory[PATH_MAX];
    dirent** names = nullptr;
    int count = Join(directory, list->root, "/dev") ? scandir(directory, &names, NotDot, CompareEntries) : 0;
    for (int i = 0; i < count; i++) {
        const char* name = names[i]->d_name;
        int uartName = strncmp(name, "ttyS", 4) == 0 && name[4] >= '0' && name[4] <= '9';
        if (HasDevice(list->root, name) && (!uartName || HasUart(list->root, name))) {
            SerialPortInfo* port = NewPort(list);
            if (port) {
                snprintf(port->port, sizeof port->port, "/dev/%s", name);
                DescribeDevice(list->root, name, port);
            }
        }
        free(names[i]);
    }
    free(names);
}

int ListSerialPorts(const char* root, SerialPortInfo* ports, int max)
{
    PortList list = {root, ports, 0, max};
    AddLinks(&list);
    AddDevices(&list);
    return list.count;
}
