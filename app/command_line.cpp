// The argument text: "-q", "-u" file (repeatable) and "-p" directory, read
// into the upload job and the three start-up flags.
#include <cstring>

#include "app/command_line.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"

int32_t AutoMode;
int32_t AutoConnect;
int32_t QuitWhenDone;

void (*UsageMessageHook)();

// Room for the "-u" names and their NULs, two bytes less than the commands
// leave: the command line has always kept them free, and scripts may rely on
// where its limit falls (a single name of 8188 characters is the longest).
constexpr uint32_t COMMAND_LINE_FILE_LIST_ROOM = FILE_LIST_ROOM - 2;
// Room for the "-p" directory and its NUL: at most 254 characters.
constexpr uint32_t TARGET_DIR_ROOM = 255;

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

const char* GetCmdLineToken(const char* text, char** cursor, uint32_t* capacity)
{
    while (IsBlank(*text))
        text++;
    const char* start;
    const char* end;
    const char* after;
    if (*text == '"') {
        // No escape exists: the next double quote ends the name.
        start = text + 1;
        end = strchr(start, '"');
        if (!end)
            return nullptr;
        after = end + 1;
    } else {
        if (*text == '\0')
            return nullptr;
        start = text;
        end = text;
        while (*end && !IsBlank(*end))
            end++;
        after = end;
    }
    size_t length = static_cast<size_t>(end - start);
    if (length < 1 || length >= *capacity)
        return nullptr;
    memcpy(*cursor, start, length);
    (*cursor)[length] = '\0';
    *cursor += length + 1;
    *capacity -= static_cast<uint32_t>(length + 1);
    return after;
}

static void ReportUsageError()
{
    if (UsageMessageHook)
        UsageMessageHook();
    else
        ShowUsageMessage();
}

int ParseCommandLine(const char* text)
{
    char* fileCursor = TheUploadJob.fileList;
    uint32_t fileRoom = COMMAND_LINE_FILE_LIST_ROOM;
    const char* at = text ? text : "";
    int usageError = 0;
    while (!usageError) {
        if (IsBlank(*at)) {
            at++;
            continue;
        }
        if (*at == '\0')
            break;
        if (*at != '-') {
            usageError = 1;
            break;
        }
        const char* next = nullptr;
        if (at[1] == 'q') {
            QuitWhenDone = 1;
            next = at + 2;
        } else if (at[1] == 'u') {
            next = GetCmdLineToken(at + 2, &fileCursor, &fileRoom);
            if (next) {
                AutoMode = 1;
                AutoConnect = 1;
            }
        } else if (at[1] == 'p') {
            // Every "-p" starts the directory afresh, so the last one wins.
            char* dirCursor = TheUploadJob.targetDir;
            uint32_t dirRoom = TARGET_DIR_ROOM;
            next = GetCmdLineToken(at + 2, &dirCursor, &dirRoom);
        }
        // An option must be followed by a blank, the end or the next option.
        if (!next || !(IsBlank(*next) || *next == '\0' || *next == '-')) {
            usageError = 1;
            break;
        }
        at = next;
    }
    if (usageError) {
        ReportUsageError();
        AutoConnect = 0;
        AutoMode = 0;
        ClearUploadJob(&TheUploadJob);
        fileCursor = TheUploadJob.fileList;
    }
    *fileCursor = '\0';
    return usageError ? 0 : 1;
}

// A name needs quotes when it holds a blank or is empty (an empty argument
// must not vanish, or the next option would be read as the name).
static int NeedsQuotes(const char* argument)
{
    return *argument == '\0' || strchr(argument, ' ') || strchr(argument, '\t');
}

// The grammar has no escape: a double quote can stand only inside a name
// without blanks, and not at its start, where it would open a quoted name.
static int CanRepresent(const char* argument)
{
    if (argument[0] == '"')
        return 0;
    return !(strchr(argument, '"') && NeedsQuotes(argument));
}

int JoinArguments(int count, const char* const* arguments, char* buffer, uint32_t size)
{
    if (size == 0)
        return 0;
    buffer[0] = '\0';
    size_t used = 0;
    for (int i = 0; i < count; i++) {
        const char* argument = arguments[i];
        if (!CanRepresent(argument)) {
            buffer[0] = '\0';
            return 0;
        }
        int quoted = NeedsQuotes(argument);
        size_t length = strlen(argument);
        size_t needed = (i > 0 ? 1 : 0) + length + (quoted ? 2 : 0);
        if (needed >= size - used) {
            buffer[0] = '\0';
            return 0;
        }
        if (i > 0)
            buffer[used++] = ' ';
        if (quoted)
            buffer[used++] = '"';
        memcpy(buffer + used, argument, length);
        used += length;
        if (quoted)
            buffer[used++] = '"';
        buffer[used] = '\0';
    }
    return 1;
}
