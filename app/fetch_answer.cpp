#include "app/fetch_answer.h"
#include "lib/zem_lib.h"
#include "serial/serial_port.h"
#include "tree/answer_read.h"

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
    int ended = 0;
    uint32_t n = ReadWholeAnswer(port, buffer, size - 1, 0, &ended);
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

const char* FetchOutcomeMessage(int outcome)
{
    switch (outcome) {
    case FETCH_SEND_FAILED:
        return "Can't send Command. Please check if Vantorix is connected.";
    case FETCH_NO_ANSWER:
        return "No answer from Vantorix. Please check if it is connected.";
    case FETCH_NO_TOOL_LIST:
        return "The Vantorix sent no tool list.";
    default:
        return nullptr;
    }
}
