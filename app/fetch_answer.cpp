#include "app/fetch_answer.h"

#include <cstring>

#include "app/message_texts.h"
#include "lib/zem_lib.h"
#include "serial/answer_read.h"
#include "serial/line_talk.h"
#include "serial/serial_port.h"

uint32_t SkipFirstLine(const char* answer, uint32_t n)
{
    // The read stores a NUL behind the data, so the scan stops at n at the latest.
    uint32_t position = 0;
    while (answer[position] != '\n' && answer[position] != '\0')
        ++position;
    uint32_t skip = position + 1;
    return skip >= n ? 0 : skip;
}

static int OnlyBlankLines(const char* text, uint32_t length)
{
    for (uint32_t i = 0; i < length; i++)
        if (text[i] != '\r' && text[i] != '\n' && text[i] != ' ' && text[i] != '\t')
            return 0;
    return 1;
}

int FetchControllerList(SerialPort* port, int kind, char* buffer, uint32_t size, uint32_t* start, uint32_t* length)
{
    *start = 0;
    *length = 0;
    const char* command = kind == FETCH_TOOL_LIST ? "t\r\n" : "p\r\n";
    TalkAnswer answer;
    int talk = TalkCommand(port, command, buffer, size - 1, AnswerReader{0, 0}, nullptr, &answer);
    switch (talk) {
    case TALK_NOT_SENT:
        return FETCH_SEND_FAILED;
    case TALK_ABANDONED:
        return FETCH_ABANDONED;
    // Written as it stands, a list that lost its end would pass for the whole one.
    case TALK_FULL:
        return FETCH_TOO_LONG;
    case TALK_ENDLESS:
    case TALK_TALKING:
        return FETCH_ENDLESS;
    case TALK_ANSWERED:
        break;
    default:
        // Nothing came, or only what may be the rest of an earlier answer.
        return FETCH_NO_ANSWER;
    }
    const char* list = buffer + answer.start;
    uint32_t n = answer.length;
    if (kind == FETCH_TOOL_LIST && n == EMPTY_TOOL_LIST_ANSWER)
        return FETCH_NO_TOOL_LIST;
    uint32_t skip = SkipFirstLine(list, n);
    *start = answer.start + skip;
    *length = n - skip;
    return skip && !OnlyBlankLines(buffer + *start, *length) ? FETCH_OK : FETCH_NO_LIST;
}

static const char TEMPORARY_SUFFIX[] = ".tmp";

// The content and, for the parameters, the line end behind it.
static int WriteListTo(const char* file, int kind, const char* content, uint32_t length)
{
    return ZemFileWrite(file, content, length, ZEM_FILE_CREATE) &&
           (kind != FETCH_PARAMETERS || ZemFileWrite(file, "\r\n", 2, ZEM_FILE_APPEND));
}

// The list goes into a file of its own beside the old one, which it replaces
// only when it is whole: a disk that fills up half way leaves the old list.
// A device, pipe or link (vtx -o /dev/stdout) holds no list to keep and must
// not be replaced by a file: it is written as it is.
int WriteFetchedFile(const char* path, int kind, const char* content, uint32_t length)
{
    if (!ZemFileIsRegular(path))
        return WriteListTo(path, kind, content, length);
    const size_t pathLength = strlen(path);
    char* temporary = nullptr;
    if (!ZemMemAllocAs(&temporary, pathLength + sizeof(TEMPORARY_SUFFIX), 0))
        return 0;
    memcpy(temporary, path, pathLength);
    memcpy(temporary + pathLength, TEMPORARY_SUFFIX, sizeof(TEMPORARY_SUFFIX));
    int written = WriteListTo(temporary, kind, content, length) && ZemFileMove(temporary, path);
    if (!written)
        ZemFileDelete(temporary);
    ZemMemFreeAs(&temporary);
    return written;
}

const char* FetchedFileName(int kind)
{
    return kind == FETCH_TOOL_LIST ? "ToolList-from-vantorix.txt" : "parameters-from-vantorix.txt";
}

// The too-long message names the buffer's size as a number.
static_assert(ANSWER_READ_MAX == 262143, "MSG_LIST_TOO_LONG names 262143 bytes");

// How the messages name the list.
static const char* ListName(int kind)
{
    return kind == FETCH_TOOL_LIST ? "tool list" : "parameter list";
}

const char* FetchOutcomeMessage(int kind, int outcome)
{
    static char message[128];
    switch (outcome) {
    case FETCH_SEND_FAILED:
        return MessageText(MSG_CANT_SEND);
    case FETCH_NO_ANSWER:
        return MessageText(MSG_NO_ANSWER);
    case FETCH_NO_TOOL_LIST:
        return MessageText(MSG_NO_TOOL_LIST);
    case FETCH_NO_LIST:
        return kind == FETCH_TOOL_LIST ? MessageText(MSG_NO_TOOL_LIST) : "The Vantorix sent no parameter list.";
    case FETCH_TOO_LONG:
        return FillMessageText(MSG_LIST_TOO_LONG, ListName(kind), message, sizeof(message));
    case FETCH_ENDLESS:
        return FillMessageText(MSG_LIST_ENDLESS, ListName(kind), message, sizeof(message));
    default:
        return nullptr;
    }
}
