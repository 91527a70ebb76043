// vtx ports [--json]: the serial ports that --port accepts, as the system
// lists them (serial/serial_ports_*.cpp). $VTX_SYSROOT, when set, is put in
// front of /dev and /sys, so that a fake tree can stand in.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"
#include "serial/serial_ports.h"
#include "tree/tree_json.h"

// A machine with more than MAX_PORTS serial names gets the first of them.
enum { MAX_PORTS = 256 };

static SerialPortInfo Ports[MAX_PORTS];

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

static void PrintPort(const SerialPortInfo* port)
{
    PrintText(port->port);
    if (port->link)
        printf(" -> %s", port->device);
    if (port->vendorId[0]) {
        printf("  usb ");
        PrintText(port->vendorId);
        putchar(':');
        PrintText(port->productId);
    }
    if (port->manufacturer[0] || port->product[0]) {
        fputs("  ", stdout);
        PrintText(port->manufacturer);
        fputs(port->manufacturer[0] && port->product[0] ? " " : "", stdout);
        PrintText(port->product);
    }
    if (port->serial[0]) {
        fputs("  serial ", stdout);
        PrintText(port->serial);
    }
    if (port->driver[0]) {
        fputs("  driver ", stdout);
        PrintText(port->driver);
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

static void WritePortsJson(int count)
{
    fputs("{\"ports\":[", stdout);
    for (int i = 0; i < count; i++) {
        const SerialPortInfo* port = &Ports[i];
        fputs(i ? ",{\"port\":" : "{\"port\":", stdout);
        WriteJsonString(stdout, port->port);
        WriteJsonField("device", port->device);
        WriteJsonField("vendorId", port->vendorId);
        WriteJsonField("productId", port->productId);
        WriteJsonField("manufacturer", port->manufacturer);
        WriteJsonField("product", port->product);
        WriteJsonField("serial", port->serial);
        WriteJsonField("driver", port->driver);
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
    int count = ListSerialPorts(root ? root : "", Ports, MAX_PORTS);
    if (json)
        WritePortsJson(count);
    else if (count == 0)
        fputs("vtx: no serial devices found\n", stderr);
    for (int i = 0; i < count && !json; i++)
        PrintPort(&Ports[i]);
    return VTX_EXIT_OK;
}
