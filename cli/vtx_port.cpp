// The port every vtx command talks through.
#include <cstdio>

#include "app/message_texts.h"
#include "app/port_report.h"
#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"
#include "lib/zem_shared.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "serial/serial_ports.h"
#include "tree/device_tree.h"

// The port opens, and a failure is told, by the name as a port opens by it.
SerialPort* VtxOpenPort(const VtxOptions* options)
{
    char name[SERIAL_PORT_NAME_SIZE];
    VtxOptions tidied = *options;
    if (TidyPortName(options->port, name, sizeof(name)))
        tidied.port = name;
    SerialPort* port = ZemSerComOpen(tidied.port, tidied.baud);
    if (!port)
        VtxExplainOpenFailure(&tidied, stderr);
    return port;
}

int VtxConnectAndRead(const VtxOptions* options, VtxSession* session)
{
    session->tree = CreateDeviceTree();
    session->port = nullptr;
    ReadOutcomeText = ReadOutcomeMessage;
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
    if (LastReadOutcome() == READ_OK)
        return 1;
    VtxTellIfGone(session->port);
    return 0;
}

// The read's or the fetch's own message blames the controller; an unplugged adapter is the truer reason.
void VtxTellIfGone(const SerialPort* port)
{
    if (!port || !ZemLoadByte(&port->gone))
        return;
    char text[SERIAL_PORT_NAME_SIZE + 64];
    DescribeGonePort(port, text, sizeof(text));
    fprintf(stderr, "%s\n", text);
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
