// The serial ports Windows knows. HKLM\HARDWARE\DEVICEMAP\SERIALCOMM holds
// one value per port that is there now: the driver's device name and the COM
// name. What the user knows the port by (the Device Manager's "USB Serial
// Port (COM3)", its maker, USB ids and driver) comes from the present devices
// of the ports class through SetupAPI, each with the port name its device key
// holds; a port that no such device names keeps what SERIALCOMM says.
#include <windows.h>

#include <setupapi.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "serial/serial_ports.h"

static const char SERIAL_COMM_KEY[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
// The device setup class "Ports (COM & LPT)".
static const GUID PORTS_CLASS = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// The instance path, as in "USB\VID_0403&PID_6001\A50285BI".
constexpr int INSTANCE_PATH_SIZE = 768;

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

// A text property of the device; empty when it has none.
static void ReadProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, char* out, DWORD size)
{
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, property, &type, reinterpret_cast<BYTE*>(out), size - 1,
                                           nullptr) ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        out[0] = 0;
    out[size - 1] = 0;
}

// Fills the port that the device's key names, unless an earlier device did.
static void DescribeDevice(HDEVINFO set, SP_DEVINFO_DATA* device, SerialPortInfo* ports, int count)
{
    char portName[SERIAL_PORT_TEXT_SIZE] = "";
    HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return;
    ReadText(key, "PortName", portName, sizeof portName);
    RegCloseKey(key);
    SerialPortInfo* port = nullptr;
    for (int i = 0; i < count && !port; i++)
        if (portName[0] && _stricmp(ports[i].port, portName) == 0 && !ports[i].product[0])
            port = &ports[i];
    if (!port)
        return;
    ReadProperty(set, device, SPDRP_FRIENDLYNAME, port->product, sizeof port->product);
    if (!port->product[0])
        ReadProperty(set, device, SPDRP_DEVICEDESC, port->product, sizeof port->product);
    TakeShownText(port->product);
    ReadProperty(set, device, SPDRP_MFG, port->manufacturer, sizeof port->manufacturer);
    TakeShownText(port->manufacturer);
    ReadProperty(set, device, SPDRP_SERVICE, port->driver, sizeof port->driver);
    char path[INSTANCE_PATH_SIZE];
    if (!SetupDiGetDeviceInstanceIdA(set, device, path, sizeof path, nullptr))
        return;
    TakeUsbId(path, "VID_", port->vendorId);
    TakeUsbId(path, "PID_", port->productId);
    TakeUsbSerial(path, port->serial);
}

// The devices of the ports class that are plugged in now; an adapter that is
// not, even one whose old COM number another now uses, is not among them.
static void DescribePresentDevices(SerialPortInfo* ports, int count)
{
    HDEVINFO set = SetupDiGetClassDevsA(&PORTS_CLASS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); i++)
        DescribeDevice(set, &device, ports, count);
    SetupDiDestroyDeviceInfoList(set);
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

    if (count)
        DescribePresentDevices(ports, count);
    SortSerialPorts(ports, count);
    return count;
}
