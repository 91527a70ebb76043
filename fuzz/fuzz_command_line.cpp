// The argument text on arbitrary input. ParseCommandLine must keep the file
// list closed inside its field, the directory terminated inside its own and
// the flags in range; GetCmdLineToken must never write past the capacity it
// is given; and names joined by JoinArguments must read back unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "app/command_line.h"
#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"
#include "serial/upload_job.h"

static int usageShown;

static void CountUsageMessage()
{
    usageShown++;
}

static void ResetStartState()
{
    AutoMode = 0;
    AutoConnect = 0;
    QuitWhenDone = 0;
    usageShown = 0;
    ClearUploadJob(&TheUploadJob);
    // Whatever the parser leaves of this pattern was never written by it.
    memset(TheUploadJob.fileList, 0xAA, sizeof(TheUploadJob.fileList));
}

// The names of fileList up to its closing empty name, which must lie inside
// the field with the field's last byte still free.
static std::vector<std::string> ReadFileList()
{
    std::vector<std::string> names;
    const char* list = TheUploadJob.fileList;
    size_t at = 0;
    for (;;) {
        Require(at < UPLOAD_FILE_LIST_SIZE - 1);
        size_t length = strnlen(list + at, UPLOAD_FILE_LIST_SIZE - at);
        Require(at + length < UPLOAD_FILE_LIST_SIZE - 1);
        if (length == 0)
            break;
        names.emplace_back(list + at, length);
        at += length + 1;
    }
    return names;
}

static void CheckParsedState(int parsed, const std::vector<std::string>& names)
{
    Require(AutoMode == 0 || AutoMode == 1);
    Require(AutoConnect == AutoMode);
    Require(QuitWhenDone == 0 || QuitWhenDone == 1);
    Require(strnlen(TheUploadJob.targetDir, UPLOAD_TARGET_DIR_SIZE) < UPLOAD_TARGET_DIR_SIZE - 1);
    Require(usageShown == (parsed ? 0 : 1));
    if (parsed) {
        Require(AutoMode == (names.empty() ? 0 : 1));
    } else {
        // A usage error leaves an empty job behind.
        Require(AutoMode == 0 && names.empty());
        for (char c : TheUploadJob.targetDir)
            Require(c == 0);
    }
    for (const std::string& name : names)
        Require(!name.empty() && name.find('\0') == std::string::npos);
}

static void FuzzParse(const std::string& text)
{
    ResetStartState();
    int parsed = ParseCommandLine(text.c_str());
    Require(parsed == 0 || parsed == 1);
    std::vector<std::string> names = ReadFileList();
    CheckParsedState(parsed, names);
    // Every name was typed: it stands somewhere in the text.
    for (const std::string& name : names)
        Require(text.find(name) != std::string::npos);
    if (TheUploadJob.targetDir[0])
        Require(text.find(TheUploadJob.targetDir) != std::string::npos);
}

// The token the reader should find at text: after blanks, either a quoted
// name up to the next double quote or a name up to the next blank; null
// when there is none. *after is where reading goes on.
static bool ExpectToken(const char* text, std::string* token, const char** after)
{
    while (*text == ' ' || *text == '\t')
        text++;
    if (*text == '"') {
        const char* close = strchr(text + 1, '"');
        if (!close)
            return false;
        token->assign(text + 1, close);
        *after = close + 1;
    } else {
        const char* end = text + strcspn(text, " \t");
        token->assign(text, end);
        *after = end;
    }
    return !token->empty();
}

// One token into a heap block of exactly the capacity, so that a write past
// it is caught.
static void FuzzToken(const std::string& text, uint32_t capacity)
{
    std::vector<char> room(capacity ? capacity : 1, 0x55);
    char* start = capacity ? room.data() : nullptr;
    char* cursor = start;
    uint32_t left = capacity;
    const char* after = GetCmdLineToken(text.c_str(), &cursor, &left);

    std::string token;
    const char* expectedAfter = nullptr;
    bool expected = ExpectToken(text.c_str(), &token, &expectedAfter) && token.size() < capacity;
    if (!expected) {
        Require(after == nullptr && cursor == start && left == capacity);
        return;
    }
    Require(after == expectedAfter);
    Require(cursor == start + token.size() + 1 && left == capacity - token.size() - 1);
    Require(memcmp(start, token.data(), token.size()) == 0 && start[token.size()] == 0);
}

// "-u" names and one "-p" directory, joined and parsed again: when they fit
// and can be written, they come back exactly.
static void FuzzRoundTrip(FuzzedDataProvider& input)
{
    std::vector<std::string> names;
    size_t count = input.ConsumeIntegralInRange<size_t>(1, 4);
    for (size_t i = 0; i < count; i++)
        names.push_back(input.ConsumeRandomLengthString(300).c_str());
    std::string directory = input.ConsumeRandomLengthString(300).c_str();

    std::vector<const char*> arguments;
    for (const std::string& name : names) {
        arguments.push_back("-u");
        arguments.push_back(name.c_str());
    }
    arguments.push_back("-p");
    arguments.push_back(directory.c_str());
    static char text[32768];
    if (!JoinArguments(static_cast<int>(arguments.size()), arguments.data(), text, sizeof(text))) {
        Require(text[0] == 0);
        return;
    }
    ResetStartState();
    int parsed = ParseCommandLine(text);
    std::vector<std::string> parsedNames = ReadFileList();
    CheckParsedState(parsed, parsedNames);

    bool fits = !directory.empty() && directory.size() <= 254;
    for (const std::string& name : names)
        fits = fits && !name.empty();
    if (fits) {
        Require(parsed == 1);
        Require(parsedNames == names);
        Require(directory == TheUploadJob.targetDir);
        Require(AutoMode == 1 && QuitWhenDone == 0);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int ready = 0;
    if (!ready) {
        ZemLibInit();
        UsageMessageHook = CountUsageMessage;
        ready = 1;
    }
    if (size == 0)
        return 0;
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        FuzzParse(input.ConsumeRemainingBytesAsString().c_str());
        break;
    case 1: {
        uint32_t capacity = input.ConsumeIntegralInRange<uint32_t>(0, 300);
        FuzzToken(input.ConsumeRemainingBytesAsString().c_str(), capacity);
        break;
    }
    default:
        FuzzRoundTrip(input);
        break;
    }
    return 0;
}
