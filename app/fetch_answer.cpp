#include "app/fetch_answer.h"

#include <cstdio>

#include "lib/zem_lib.h"
#include "serial/answer_read.h"
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

int FetchControllerList(SerialPort* port, int kind, char* buffer, uint32_t size, uint32_t* start, uint32_t* length)
{
    *start = 0;
    *length = 0;
    const char* command = kind == FETCH_TOOL_LIST ? "t\r\n" : "p\r\n";
    if (ZemSerComSendCmd(port, command, 0) != SERCOM_DONE)
        return FETCH_SEND_FAILED;
    uint32_t n = 0;
    int ending = ReadWholeAnswer(port, buffer, size - 1, 0, nullptr, &n);
    if (ending == ANSWER_ABANDONED)
        return FETCH_ABANDONED;
    // Written as it stands, a list that lost its end would pass for the whole one.
    if (ending == ANSWER_FULL)
        return FETCH_TOO_LONG;
    if (ending == ANSWER_ENDLESS)
        return FETCH_ENDLESS;
    if (n == 0)
        return FETCH_NO_ANSWER;
    if (kind == FETCH_TOOL_LIST && n == EMPTY_TOOL_LIST_ANSWER)
        return FETCH_NO_TOOL_LIST;
    *start = SkipFirstLine(buffer, n);
    *length = n - *start;
    return FETCH_OK;
}

int WriteFetchedFile(const char* path, int kind, const char* content, uint32_t length)
{
    if (!ZemFileWrite(path, content, length, ZEM_FILE_CREATE))
        return 0;
    return kind != FETCH_PARAMETERS || ZemFileWrite(path, "\r\n", 2, ZEM_FILE_APPEND);
}

const char* FetchedFileName(int kind)
{
    return kind == FETCH_TOOL_LIST ? "ToolList-from-vantorix.txt" : "parameters-from-vantorix.txt";
}

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
        return "Can't send Command. Please check if Vantorix is connected.";
    case FETCH_NO_ANSWER:
        return "No answer from Vantorix. Please check if it is connected.";
    case FETCH_NO_TOOL_LIST:
        return "The Vantorix sent no tool list.";
    case FETCH_TOO_LONG:
        snprintf(message, sizeof(message), "The %s is longer than the %lu bytes the program can read; it was not written.",
                 ListName(kind), static_cast<unsigned long>(ANSWER_READ_MAX));
        return message;
    case FETCH_ENDLESS:
        snprintf(message, sizeof(message), "The Vantorix did not stop sending the %s; it was not written.", ListName(kind));
        return message;
    default:
        return nullptr;
    }
}
