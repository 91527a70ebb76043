// The port every vtx command talks through.
#include <cstdio>

#include "cli/vtx_commands.h"
#include "serial/serial_port.h"

SerialPort* VtxOpenPort(const VtxOptions* options)
{
    SerialPort* port = ZemSerComOpen(options->port, options->baud);
    if (!port)
        fprintf(stderr, "Can't open Serial Port. (%s)\n", options->port);
    return port;
}
