#include "app/port_report.h"

#include <cstdio>
#include <cstring>

#include "app/message_texts.h"
#include "serial/serial_port.h"
#include "serial/serial_ports.h"

const char* BuildOpenFailureText(const SerialPortInfo* ports, int count, char* out, uint32_t size)
{
    if (size == 0)
        return out;
    // Every name joined by ", ", cut where the box would end anyway.
    char names[1024] = "";
    size_t used = 0;
    for (int i = 0; i < count; i++) {
        int added = snprintf(names + used, sizeof(names) - used, "%s%s", i ? ", " : "", ports[i].port);
        if (added < 0 || used + static_cast<size_t>(added) >= sizeof(names)) {
            names[used] = '\0';
            break;
        }
        used += static_cast<size_t>(added);
    }
    char list[sizeof(names) + 64];
    if (count > 0)
        FillMessageText(MSG_SERIAL_PORTS, names, list, sizeof(list));
    else
        FillMessageText(MSG_NO_SERIAL_PORT, "", list, sizeof(list));
    snprintf(out, size, "%s\n%s", MessageText(MSG_CANT_OPEN_PORT), list);
    return out;
}

void DescribeGonePort(const SerialPort* port, char* out, uint32_t size)
{
    FillMessageText(MSG_PORT_GONE, port->name, out, size);
}
