#include <cstdio>
#include <cstring>

#include "app/delete_command.h"
#include "serial/line_talk.h"
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

static int IsLineSpace(char c)
{
    return c == '\r' || c == '\n' || c == ' ';
}

// Where the answer to a delete ends: at the first line end behind its words.
static uint32_t DeleteAnswerEnd(const char* text, uint32_t length, void*)
{
    uint32_t i = 0;
    while (i < length && IsLineSpace(text[i]))
        i++;
    while (i < length && text[i] != '\r' && text[i] != '\n')
        i++;
    // The LF of a CR LF pair belongs to the answer; a CR alone ends it once
    // the byte after it shows that no LF follows.
    if (i + 1 >= length)
        return i < length && text[i] == '\n' ? i + 1 : 0;
    return text[i] == '\r' && text[i + 1] == '\n' ? i + 2 : i + 1;
}

// A controller that ends its answer with a CR alone, then falls quiet.
static int DeleteAnswerWhole(const char* text, uint32_t length)
{
    if (length == 0 || text[length - 1] != '\r')
        return 0;
    for (uint32_t i = 0; i + 1 < length; i++)
        if (!IsLineSpace(text[i]))
            return 1;
    return 0;
}

int SendDeleteCommand(SerialPort* port, const char* command, char* buffer, uint32_t size, char* words,
                      uint32_t wordsSize)
{
    if (words && wordsSize)
        words[0] = 0;
    const AnswerEndTest end = {DeleteAnswerEnd, nullptr, DeleteAnswerWhole, nullptr, 1};
    TalkAnswer answer;
    int talk = TalkCommand(port, command, buffer, size - 1, AnswerReader{0, 0}, &end, &answer);
    if (talk == TALK_NOT_SENT || talk == TALK_TALKING || (talk == TALK_ABANDONED && answer.sent != SERCOM_DONE))
        return DELETE_NOT_SENT;
    if (talk != TALK_ANSWERED)
        return DELETE_NOT_ANSWERED;
    if (words)
        DeleteAnswerWords(buffer + answer.start, words, wordsSize);
    return DELETE_ANSWERED;
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
