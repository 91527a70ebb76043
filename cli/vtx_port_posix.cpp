// The ports of a Linux machine: the default device, and why one does not open.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"
#include "serial/serial_device.h"

const char VtxDefaultPort[] = "/dev/ttyUSB0";
const char VtxPortOptionHelp[] = "  --port DEVICE   serial device (default: $VTX_PORT, else /dev/ttyUSB0)\n";
const char VtxPortEnvironmentHelp[] =
    "  VTX_PORT  the serial device when --port names none, for example\n"
    "            /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n";

const char VtxPortsUsage[] =
    "usage: vtx ports [--json]\n"
    "\n"
    "Lists the serial devices that --port accepts: every link in\n"
    "/dev/serial/by-id with the device it points to (these names stay the same\n"
    "when an adapter is plugged into another socket), then every terminal in\n"
    "/dev with a device behind it in /sys/class/tty: ttyS, ttyUSB, ttyACM,\n"
    "ttyAMA, ttyXRUSB, rfcomm and the like (a ttyS with no UART behind it is\n"
    "left out; virtual consoles and pseudo-terminals have no device). Each\n"
    "comes with what the system knows of it: USB vendor and product id, maker\n"
    "and product name, serial number and driver. No devices is not an error.\n"
    "\n"
    "  --json   print one JSON object instead: {\"ports\":[{\"port\":S,\"device\":S,\n"
    "           \"vendorId\":S,\"productId\":S,\"manufacturer\":S,\"product\":S,\n"
    "           \"serial\":S,\"driver\":S}, ...]}; unknown values are null\n"
    "\n"
    "Exit status: 0 listed (also when there are none), 2 usage error.\n";

// The group that may use the device, for the hint after "Permission denied".
static const char* DeviceGroup(const char* name)
{
    struct stat info;
    const group* owner = stat(name, &info) == 0 ? getgrgid(info.st_gid) : nullptr;
    return owner && owner->gr_gid != 0 ? owner->gr_name : "dialout";
}

void VtxExplainOpenFailure(const VtxOptions* options, FILE* out)
{
    const char* name = options->port;
    const char* why = "the driver refused the line settings";
    int denied = 0;
    int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        denied = errno == EACCES || errno == EPERM;
        why = errno == EBUSY ? "Device or resource busy (another program has it open)" : strerror(errno);
    } else {
        if (!isatty(fd))
            why = "not a terminal";
        else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
            why = "busy: another program has it open and locked";
        else if (SerialSpeedProblem()[0])
            why = SerialSpeedProblem();
        close(fd);
    }
    fprintf(out, "Can't open Serial Port. (%s: %s)\n", name, why);
    if (denied) {
        const char* group = DeviceGroup(name);
        fprintf(out, "vtx: you may need to be in the group %s: sudo usermod -aG %s $USER, then log in again\n",
                group, group);
    }
    if (options->defaultPort)
        fprintf(out, "vtx: %s is only the default, as neither --port nor $VTX_PORT names a device; "
                     "'vtx ports' lists the serial devices (or see /dev/serial/by-id/)\n", name);
}
