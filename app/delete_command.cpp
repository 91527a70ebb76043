#include <cstdio>
#include <cstring>

#include "app/delete_command.h"
#include "serial/serial_port.h"

int BuildDeleteCommand(char* command, const char* path, const char* name)
{
    command[0] = '\0';
    size_t pathLength = strlen(path);
    size_t nameLength = strlen(name);
    // "d ", path, name, "\r" and the NUL must all fit.
    if (nameLength == 0 || 2 + pathLength + nameLength + 1 >= DELETE_COMMAND_SIZE)
        return 0;
    memcpy(command, "d ", 2);
    memcpy(command + 2, path, pathLength);
    memcpy(command + 2 + pathLength, name, nameLength);
    command[2 + pathLength + nameLength] = '\r';
    command[3 + pathLength + nameLength] = '\0';
    return 1;
}

void GetDeleteTarget(const char* command, char* target, uint32_t size)
{
    target[0] = '\0';
    if (size == 0 || strncmp(command, "d ", 2) != 0)
        return;
    size_t length = strlen(command + 2);
    if (length && command[2 + length - 1] == '\r')
        --length;
    if (length >= size)
        length = size - 1;
    memcpy(target, command + 2, length);
    target[length] = '\0';
}

int SendDeleteCommand(SerialPort* port, const char* command, char* buffer, uint32_t size)
{
    int sent = ZemSerComSendCmd(port, command, 0);
    if (sent == SERCOM_DONE)
        ZemSerComRead(port, buffer, size - 1, 0);
    return sent;
}

void DeleteAnswerWords(const char* answer, char* out, uint32_t size)
{
    if (size == 0)
        return;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(answer);
    while (*p == '\r' || *p == '\n' || *p == ' ')
        p++;
    uint32_t used = 0;
    for (; *p && *p != '\r' && *p != '\n'; p++) {
        char piece[5] = {static_cast<char>(*p), 0};
        // Bytes that could drive a terminal are shown, not sent to it.
        if (*p < 0x20 || *p >= 0x7F)
            snprintf(piece, sizeof(piece), "\\x%02x", *p);
        size_t length = strlen(piece);
        if (used + length >= size)
            break;
        memcpy(out + used, piece, length);
        used += static_cast<uint32_t>(length);
    }
    while (used > 0 && out[used - 1] == ' ')
        used--;
    out[used] = 0;
}
