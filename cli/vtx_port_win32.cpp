// The ports of a Windows PC: the default port, and why one does not open.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"
#include "serial/serial_device.h"

const char VtxDefaultPort[] = "COM1";
const char VtxPortOptionHelp[] = "  --port DEVICE   serial port: COM3, COM12 ... (default: %VTX_PORT%, else COM1)\n";
const char VtxPortEnvironmentHelp[] = "  VTX_PORT  the serial port when --port names none, for example COM3\n";

const char VtxPortsUsage[] =
    "usage: vtx ports [--json]\n"
    "\n"
    "Lists the serial ports that --port accepts, as Windows lists them in\n"
    "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM (the ports that are there now),\n"
    "COM2 before COM10. Each comes with what Windows knows of it: USB vendor\n"
    "and product id, maker and the name the Device Manager shows (\"USB Serial\n"
    "Port (COM3)\"), serial number and driver. No ports is not an error.\n"
    "\n"
    "  --json   print one JSON object instead: {\"ports\":[{\"port\":S,\"device\":S,\n"
    "           \"vendorId\":S,\"productId\":S,\"manufacturer\":S,\"product\":S,\n"
    "           \"serial\":S,\"driver\":S}, ...]}; \"device\" is the driver's name\n"
    "           of the port, \"product\" the Device Manager's; unknown values are null\n"
    "\n"
    "Exit status: 0 listed (also when there are none), 2 usage error.\n";

// The errors a port's open meets most in the words of an English Windows,
// whatever the system's language; the others as the system words them, with
// their number.
static const char* ErrorWords(DWORD error)
{
    static char words[256];
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified";
    case ERROR_PATH_NOT_FOUND:
        return "The system cannot find the path specified";
    case ERROR_ACCESS_DENIED:
        return "Access is denied";
    case ERROR_SHARING_VIOLATION:
        return "The process cannot access the file because it is being used by another process";
    }
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, words,
                                  sizeof(words), nullptr);
    while (length > 0 && strchr(". \r\n", words[length - 1]))
        length--;
    snprintf(words + length, sizeof(words) - length, "%serror %lu", length ? ", " : "", static_cast<unsigned long>(error));
    return words;
}

// What the error means for a serial port.
static const char* ErrorMeaning(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ": there is no such port";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return ": another program holds the port";
    }
    return "";
}

void VtxExplainOpenFailure(const VtxOptions* options, FILE* out)
{
    const char* name = options->port;
    const SerialDevice* device = SerialGetDevice();
    SerialHandle handle;
    DWORD error = ERROR_SUCCESS;
    const char* why = "the driver refused the line settings";
    SerialSavedState state;
    if (!device->open(name, &handle)) {
        error = GetLastError();
        why = ErrorWords(error);
    } else {
        if (!device->getState(handle, &state))
            why = "not a serial port";
        device->close(handle);
    }
    fprintf(out, "Can't open Serial Port. (%s: %s%s)\n", name, why, ErrorMeaning(error));
    if (options->defaultPort)
        fprintf(out, "vtx: %s is only the default, as neither --port nor %%VTX_PORT%% names a port; "
                     "'vtx ports' lists the serial ports of this PC\n", name);
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        fputs("vtx: 'vtx ports' lists the serial ports of this PC\n", out);
}
