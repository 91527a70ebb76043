// vtx ports [--json]: the serial devices that --port accepts. The stable
// names in /dev/serial/by-id come first, then the ttyUSB, ttyACM and ttyS
// devices in /dev, each with what sysfs tells of it. $VTX_SYSROOT, when set,
// is put in front of /dev and /sys, so that a fake tree can stand in.
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/vtx_commands.h"
#include "tree/tree_json.h"

const char VtxPortsUsage[] =
    "usage: vtx ports [--json]\n"
    "\n"
    "Lists the serial devices that --port accepts: every link in\n"
    "/dev/serial/by-id with the device it points to (these names stay the same\n"
    "when an adapter is plugged into another socket), then every ttyUSB, ttyACM\n"
    "and ttyS device (a ttyS with no UART behind it is left out). Each comes\n"
    "with what the system knows of it: USB vendor and product id, maker and\n"
    "product name, serial number and driver. No devices is not an error.\n"
    "\n"
    "  --json   print one JSON object instead: {\"ports\":[{\"port\":S,\"device\":S,\n"
    "           \"vendorId\":S,\"productId\":S,\"manufacturer\":S,\"product\":S,\n"
    "           \"serial\":S,\"driver\":S}, ...]}; unknown values are null\n"
    "\n"
    "Exit status: 0 listed (also when there are none), 2 usage error.\n";

// A machine with more than MAX_PORTS serial names gets the first of them.
enum { MAX_PORTS = 256, PATH_ROOM = 1024, TEXT_ROOM = 128 };

// One name that --port accepts, and the device behind it.
struct PortRow {
    char port[PATH_ROOM];          // what to pass to --port, as seen without the root
    char device[TEXT_ROOM];        // "/dev/ttyUSB0"
    char vendorId[TEXT_ROOM];
    char productId[TEXT_ROOM];
    char manufacturer[TEXT_ROOM];
    char product[TEXT_ROOM];
    char serial[TEXT_ROOM];
    char driver[TEXT_ROOM];
};

static PortRow Rows[MAX_PORTS];
static int RowCount;
static const char* Root;

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
    if (!fgets(out, TEXT_ROOM, file))
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
    snprintf(out, TEXT_ROOM, "%.*s", TEXT_ROOM - 1, slash ? slash + 1 : target);
}

// Fills the row from /sys/class/tty/NAME: the driver of the tty's device and,
// for a USB adapter, the ids and names of the first USB device above it.
static void DescribeDevice(const char* name, PortRow* row)
{
    char path[PATH_MAX];
    char tty[PATH_MAX];
    char sys[PATH_MAX];
    char deviceDir[PATH_MAX];
    snprintf(row->device, sizeof row->device, "/dev/%.*s", TEXT_ROOM - 8, name);
    if (!Join(path, Root, "/sys") || !realpath(path, sys))
        return;
    if (!Join(tty, sys, "/class/tty/", name) || !Join(path, tty, "/device") || !realpath(path, deviceDir))
        return;
    ReadDriver(deviceDir, row->driver);
    size_t sysLength = strlen(sys);
    while (strlen(deviceDir) > sysLength && strncmp(deviceDir, sys, sysLength) == 0) {
        if (ReadAttribute(deviceDir, "idVendor", row->vendorId)) {
            ReadAttribute(deviceDir, "idProduct", row->productId);
            ReadAttribute(deviceDir, "manufacturer", row->manufacturer);
            ReadAttribute(deviceDir, "product", row->product);
            ReadAttribute(deviceDir, "serial", row->serial);
            return;
        }
        *strrchr(deviceDir, '/') = 0;
    }
}

static PortRow* NewRow()
{
    if (RowCount == MAX_PORTS)
        return nullptr;
    PortRow* row = &Rows[RowCount++];
    memset(row, 0, sizeof *row);
    return row;
}

// "ttyUSB", "ttyACM" or "ttyS" followed by digits only.
static int IsSerialName(const char* name)
{
    static const char* const prefixes[] = {"ttyUSB", "ttyACM", "ttyS"};
    for (const char* prefix : prefixes) {
        size_t length = strlen(prefix);
        if (strncmp(name, prefix, length) == 0 && name[length] &&
            strspn(name + length, "0123456789") == strlen(name + length))
            return 1;
    }
    return 0;
}

// An on-board ttyS exists whether or not a UART is fitted; the kernel says
// type 0 (unknown) for an empty one.
static int HasUart(const char* name)
{
    char directory[PATH_MAX];
    char type[TEXT_ROOM];
    return Join(directory, Root, "/sys/class/tty/", name) && ReadAttribute(directory, "type", type) &&
           strcmp(type, "0") != 0;
}

// ttyS2 before ttyS10: the letters alphabetically, then the number.
static int CompareNames(const char* a, const char* b)
{
    size_t letters = strcspn(a, "0123456789");
    if (letters != strcspn(b, "0123456789") || strncmp(a, b, letters) != 0)
        return strcmp(a, b);
    long difference = atol(a + letters) - atol(b + letters);
    return difference < 0 ? -1 : difference > 0;
}

static int CompareEntries(const dirent** a, const dirent** b)
{
    return CompareNames((*a)->d_name, (*b)->d_name);
}

static int NotDot(const dirent* entry)
{
    return entry->d_name[0] != '.';
}

static void AddLinks()
{
    char directory[PATH_MAX];
    dirent** names = nullptr;
    int count = Join(directory, Root, "/dev/serial/by-id") ? scandir(directory, &names, NotDot, CompareEntries) : 0;
    for (int i = 0; i < count; i++) {
        char link[PATH_MAX];
        char target[PATH_MAX];
        const char* base = Join(link, directory, "/", names[i]->d_name) && realpath(link, target)
                               ? strrchr(target, '/') : nullptr;
        PortRow* row = base ? NewRow() : nullptr;   // a link to nothing is no port
        if (row) {
            snprintf(row->port, sizeof row->port, "/dev/serial/by-id/%s", names[i]->d_name);
            DescribeDevice(base + 1, row);
        }
        free(names[i]);
    }
    free(names);
}

static void AddDevices()
{
    char directory[PATH_MAX];
    dirent** names = nullptr;
    int count = Join(directory, Root, "/dev") ? scandir(directory, &names, NotDot, CompareEntries) : 0;
    for (int i = 0; i < count; i++) {
        const char* name = names[i]->d_name;
        if (IsSerialName(name) && (strncmp(name, "ttyS", 4) != 0 || HasUart(name))) {
            PortRow* row = NewRow();
            if (row) {
                snprintf(row->port, sizeof row->port, "/dev/%s", name);
                DescribeDevice(name, row);
            }
        }
        free(names[i]);
    }
    free(names);
}

// Texts from a device's firmware: control and 8-bit bytes are shown as \xNN.
static void PrintText(const char* text)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
        if (*p < 0x20 || *p >= 0x7F || *p == '\\')
            printf("\\x%02x", *p);
        else
            putchar(*p);
    }
}

static void PrintRow(const PortRow* row)
{
    PrintText(row->port);
    if (strcmp(row->port, row->device) != 0)
        printf(" -> %s", row->device);
    if (row->vendorId[0]) {
        printf("  usb ");
        PrintText(row->vendorId);
        putchar(':');
        PrintText(row->productId);
    }
    if (row->manufacturer[0] || row->product[0]) {
        fputs("  ", stdout);
        PrintText(row->manufacturer);
        fputs(row->manufacturer[0] && row->product[0] ? " " : "", stdout);
        PrintText(row->product);
    }
    if (row->serial[0]) {
        fputs("  serial ", stdout);
        PrintText(row->serial);
    }
    if (row->driver[0]) {
        fputs("  driver ", stdout);
        PrintText(row->driver);
    }
    putchar('\n');
}

static void WriteJsonField(const char* name, const char* value)
{
    printf(",\"%s\":", name);
    if (value[0])
        WriteJsonString(stdout, value);
    else
        fputs("null", stdout);
}

static void WriteRowsJson()
{
    fputs("{\"ports\":[", stdout);
    for (int i = 0; i < RowCount; i++) {
        const PortRow* row = &Rows[i];
        fputs(i ? ",{\"port\":" : "{\"port\":", stdout);
        WriteJsonString(stdout, row->port);
        WriteJsonField("device", row->device);
        WriteJsonField("vendorId", row->vendorId);
        WriteJsonField("productId", row->productId);
        WriteJsonField("manufacturer", row->manufacturer);
        WriteJsonField("product", row->product);
        WriteJsonField("serial", row->serial);
        WriteJsonField("driver", row->driver);
        putchar('}');
    }
    puts("]}");
}

int VtxPorts(int argc, char** argv, const VtxOptions* options)
{
    int json;
    if (!VtxReadJsonOption(argc, argv, "ports", &json))
        return VTX_EXIT_USAGE;
    const char* root = getenv("VTX_SYSROOT");
    Root = root ? root : "";
    RowCount = 0;
    AddLinks();
    AddDevices();
    if (json)
        WriteRowsJson();
    else if (RowCount == 0)
        fputs("vtx: no serial devices found\n", stderr);
    for (int i = 0; i < RowCount && !json; i++)
        PrintRow(&Rows[i]);
    return VTX_EXIT_OK;
}
