#include "app/fetch_answer.h"

#include <cstdio>
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

// The list as written: the content and, for the parameters, the line end
// behind it, in one piece, so that the file is opened once.
static int ListBytes(int kind, const char* content, uint32_t length, char** bytes, uint32_t* total)
{
    *total = length + (kind == FETCH_PARAMETERS ? 2 : 0);
    if (!ZemMemAllocAs(bytes, *total, 0))
        return 0;
    memcpy(*bytes, content, length);
    if (kind == FETCH_PARAMETERS)
        memcpy(*bytes + length, "\r\n", 2);
    return 1;
}

// The folder of path as the reason names it.
static void FolderOf(const char* path, char* folder, uint32_t size)
{
    const char* slash = strrchr(path, '/');
    const char* backslash = strrchr(path, '\\');
    if (!slash || (backslash && backslash > slash))
        slash = backslash;
    if (!slash) {
        snprintf(folder, size, "the current folder");
        return;
    }
    int length = static_cast<int>(slash - path) + (slash == path ? 1 : 0);
    snprintf(folder, size, "the folder %.*s", length, path);
}

static void SayProblem(char* why, uint32_t size, const char* path, int creating, int problem, const char* words)
{
    char folder[300];
    FolderOf(path, folder, sizeof(folder));
    if (problem == ZEM_FILE_DENIED && creating)
        snprintf(why, size, "%s is not writable (%s)", folder, words);
    else if (problem == ZEM_FILE_NO_ROOM)
        snprintf(why, size, "%s has no room for the list (%s)", folder, words);
    else if (creating)
        snprintf(why, size, "no new file can be made in %s (%s)", folder, words);
    else
        snprintf(why, size, "%s (%s)", path, words);
}

// Why a step failed, in words: what failed, and the system's reason.
static void SayWhy(char* why, uint32_t size, const char* path, int creating)
{
    char words[160];
    int problem = ZemFileLastProblem(words, sizeof(words));
    SayProblem(why, size, path, creating, problem, words);
}

// Tries the names PATH.new1, PATH.new2, ... until one that nobody has taken
// is made exclusively with the list in it: an existing file, or a link put
// there by someone else, is never written through.
constexpr uint32_t NEW_NAME_TRIES = 100;

static int WriteNewBeside(const char* path, const char* bytes, uint32_t total, char* temporary, uint32_t size,
                          char* why, uint32_t whySize)
{
    char words[160];
    for (uint32_t n = 1; n <= NEW_NAME_TRIES; n++) {
        int length = snprintf(temporary, size, "%s.new%lu", path, static_cast<unsigned long>(n));
        if (length < 0 || static_cast<uint32_t>(length) >= size) {
            snprintf(why, whySize, "the path is too long");
            return 0;
        }
        if (ZemFileWrite(temporary, bytes, total, ZEM_FILE_NEW))
            return 1;
        int problem = ZemFileLastProblem(words, sizeof(words));
        if (problem != ZEM_FILE_EXISTS) {
            SayProblem(why, whySize, path, 1, problem, words);
            // A file made but not filled (a full disk) is ours to remove.
            ZemFileDelete(temporary);
            return 0;
        }
    }
    snprintf(why, whySize, "every new name beside it is taken (%s.new1 to .new%lu)", path,
             static_cast<unsigned long>(NEW_NAME_TRIES));
    return 0;
}

// The list goes into a new file of its own beside the old one, which it
// replaces only when it is whole: a disk that fills up half way leaves the
// old list. A device, pipe or link (vtx -o /dev/stdout) holds no list to
// keep and must not be replaced by a file: it is written as it is.
int WriteFetchedFile(const char* path, int kind, const char* content, uint32_t length, char* why, uint32_t whySize)
{
    why[0] = 0;
    char* bytes = nullptr;
    uint32_t total = 0;
    if (!ListBytes(kind, content, length, &bytes, &total)) {
        snprintf(why, whySize, "not enough memory");
        return 0;
    }
    int written = 0;
    if (!ZemFileIsRegular(path)) {
        written = ZemFileWrite(path, bytes, total, ZEM_FILE_CREATE);
        if (!written)
            SayWhy(why, whySize, path, 0);
    } else {
        const uint32_t size = static_cast<uint32_t>(strlen(path)) + 16;
        char* temporary = nullptr;
        if (ZemMemAllocAs(&temporary, size, 0)) {
            if (WriteNewBeside(path, bytes, total, temporary, size, why, whySize)) {
                written = ZemFileMove(temporary, path);
                if (!written) {
                    char words[160];
                    ZemFileLastProblem(words, sizeof(words));
                    snprintf(why, whySize, "the new list could not take its place (%s)", words);
                    ZemFileDelete(temporary);
                }
            }
            ZemMemFreeAs(&temporary);
        } else {
            snprintf(why, whySize, "not enough memory");
        }
    }
    ZemMemFreeAs(&bytes);
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
