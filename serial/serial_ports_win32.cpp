// The serial ports Windows knows. HKLM\HARDWARE\DEVICEMAP\SERIALCOMM holds
// one value per port that is there now: the driver's device name and the COM
// name. What the user knows the port by (the Device Manager's "USB Serial
// Port (COM3)", its maker, USB ids and driver) stands with the device's key
// under HKLM\SYSTEM\CurrentControlSet\Enum, whose "Device Parameters" name
// the port it was given.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "serial/serial_ports.h"

static const char SERIAL_COMM_KEY[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
static const char ENUM_KEY[] = "SYSTEM\\CurrentControlSet\\Enum";

// Enumerator, device and instance, as in "USB\VID_0403&PID_6001\A50285BI".
constexpr int INSTANCE_DEPTH = 3;
constexpr int KEY_NAME_SIZE = 256;
constexpr int INSTANCE_PATH_SIZE = INSTANCE_DEPTH * KEY_NAME_SIZE;

// A text value; empty when it is missing, too long or no text.
static void ReadText(HKEY key, const char* name, char* out, DWORD size)
{
    DWORD type = 0, length = size - 1;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &length);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        length = 0;
    out[length] = 0;
}

// Texts from a driver's setup file may be "@file.inf,%name%;Text": the text
// after the semicolon is what Windows shows when it has nothing better.
static void TakeShownText(char* text)
{
    const char* semicolon = text[0] == '@' ? strrchr(text, ';') : nullptr;
    if (semicolon)
        memmove(text, semicolon + 1, strlen(semicolon + 1) + 1);
}

// The four hex digits after "VID_" or "PID_" in the instance path, in lower case.
static void TakeUsbId(const char* path, const char* tag, char* out)
{
    const char* at = strstr(path, tag);
    out[0] = 0;
    if (!at)
        return;
    at += strlen(tag);
    for (int i = 0; i < 4; i++)
        if (!isxdigit(static_cast<unsigned char>(at[i])))
            return;
    for (int i = 0; i < 4; i++)
        out[i] = static_cast<char>(tolower(static_cast<unsigned char>(at[i])));
    out[4] = 0;
}

// A USB device with a serial number has it as its instance name; one
// without gets a made-up name with "&" in it.
static void TakeUsbSerial(const char* path, char* out)
{
    const char* instance = strrchr(path, '\\');
    out[0] = 0;
    if (_strnicmp(path, "USB\\", 4) == 0 && instance && !strchr(instance, '&'))
        snprintf(out, SERIAL_PORT_TEXT_SIZE, "%s", instance + 1);
}

// Fills the port that the instance key was given, unless an earlier key did.
static void DescribeInstance(HKEY instance, const char* path, SerialPortInfo* ports, int count)
{
    HKEY parameters;
    char portName[SERIAL_PORT_TEXT_SIZE];
    if (RegOpenKeyExA(instance, "Device Parameters", 0, KEY_READ, &parameters) != ERROR_SUCCESS)
        return;
    ReadText(parameters, "PortName", portName, sizeof portName);
    RegCloseKey(parameters);
    SerialPortInfo* port = nullptr;
    for (int i = 0; i < count && !port; i++)
        if (portName[0] && _stricmp(ports[i].port, portName) == 0 && !ports[i].product[0])
            port = &ports[i];
    if (!port)
        return;
    ReadText(instance, "FriendlyName", port->product, sizeof port->product);
    if (!port->product[0])
        ReadText(instance, "DeviceDesc", port->product, sizeof port->product);
    TakeShownText(port->product);
    ReadText(instance, "Mfg", port->manufacturer, sizeof port->manufacturer);
    TakeShownText(port->manufacturer);
    ReadText(instance, "Service", port->driver, sizeof port->driver);
    TakeUsbId(path, "VID_", port->vendorId);
    TakeUsbId(path, "PID_", port->productId);
    TakeUsbSerial(path, port->serial);
}

// Walks the keys under Enum down to the instances; path holds the names so far.
static void VisitInstances(HKEY key, int depth, char* path, size_t at, SerialPortInfo* ports, int count)
{
    char name[KEY_NAME_SIZE];
    for (DWORD i = 0;; i++) {
        DWORD length = sizeof name;
        LONG result = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
            break;   // the last key, or keys that cannot be listed
        HKEY child;
        // A key that cannot be read (some are the system's alone) holds no port of ours.
        if (result != ERROR_SUCCESS || RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        int added = snprintf(path + at, INSTANCE_PATH_SIZE - at, "%s%s", at ? "\\" : "", name);
        int fits = added >= 0 && at + added < INSTANCE_PATH_SIZE;
        if (fits && depth + 1 == INSTANCE_DEPTH)
            DescribeInstance(child, path, ports, count);
        else if (fits)
            VisitInstances(child, depth + 1, path, at + added, ports, count);
        RegCloseKey(child);
    }
}

int ListSerialPorts(const char*, SerialPortInfo* ports, int max)
{
    HKEY key;
    int count = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIAL_COMM_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;   // no port was ever there
    for (DWORD i = 0; count < max; i++) {
        SerialPortInfo* port = &ports[count];
        memset(port, 0, sizeof *port);
        DWORD nameLength = sizeof port->device, type = 0, dataLength = sizeof port->port - 1;
        LONG result = RegEnumValueA(key, i, port->device, &nameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(port->port), &dataLength);
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
            break;   // the last value, or values that cannot be listed
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        port->port[dataLength] = 0;
        if (port->port[0])
            count++;
    }
    RegCloseKey(key);

    char path[INSTANCE_PATH_SIZE];
    if (count && RegOpenKeyExA(HKEY_LOCAL_MACHINE, ENUM_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        VisitInstances(key, 0, path, 0, ports, count);
        RegCloseKey(key);
    }
    SortSerialPorts(ports, count);
    return count;
}
