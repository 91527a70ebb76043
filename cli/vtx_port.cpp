// The port every vtx command talks through.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/vtx_commands.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"

// The group that may use the device, for the hint after "Permission denied".
static const char* DeviceGroup(const char* name)
{
    struct stat info;
    const group* owner = stat(name, &info) == 0 ? getgrgid(info.st_gid) : nullptr;
    return owner && owner->gr_gid != 0 ? owner->gr_name : "dialout";
}

// Opens the device once more the way the port does, to tell in the system's
// words which step refuses it.
static void ExplainOpenFailure(const VtxOptions* options)
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
        close(fd);
    }
    fprintf(stderr, "Can't open Serial Port. (%s: %s)\n", name, why);
    if (denied) {
        const char* group = DeviceGroup(name);
        fprintf(stderr, "vtx: you may need to be in the group %s: sudo usermod -aG %s $USER, then log in again\n",
                group, group);
    }
    if (options->defaultPort)
        fprintf(stderr, "vtx: %s is only the default, as neither --port nor $VTX_PORT names a device; "
                        "'vtx ports' lists the serial devices (or see /dev/serial/by-id/)\n", name);
}

SerialPort* VtxOpenPort(const VtxOptions* options)
{
    SerialPort* port = ZemSerComOpen(options->port, options->baud);
    if (!port)
        ExplainOpenFailure(options);
    return port;
}

int VtxConnectAndRead(const VtxOptions* options, VtxSession* session)
{
    session->tree = CreateDeviceTree();
    session->port = nullptr;
    if (!session->tree) {
        fputs("Not enough memory.\n", stderr);
        return 0;
    }
    session->port = VtxOpenPort(options);
    if (!session->port) {
        VtxDisconnect(session);
        return 0;
    }
    return VtxReadAgain(session);
}

int VtxReadAgain(VtxSession* session)
{
    // A failed read has already said why on stderr, as the browser's box would.
    ReadDirectories(session->tree, session->port, AnswerBuffer, ANSWER_BUFFER_SIZE);
    return LastReadOutcome() == READ_OK;
}

void VtxDisconnect(VtxSession* session)
{
    if (session->port)
        ZemSerComClose(session->port);
    if (session->tree)
        FreeDeviceTree(session->tree);
    session->port = nullptr;
    session->tree = nullptr;
}
