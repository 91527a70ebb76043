// The argument text on arbitrary input. ParseCommandLine must keep the file
// list closed inside its field, the directory terminated inside its own and
// the flags in range; GetCmdLineToken must never write past the capacity it
// is given; and names joined by JoinArguments must read back unchanged.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "app/command_line.h"
#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"
#include "serial/upload_job.h"

static int usageShown;

// Parses text from a clean start; the names of the file list, which must be
// closed by an empty name inside the field with its last byte still free.
static std::vector<std::string> Parse(const char* text, int* parsed)
{
    AutoMode = AutoConnect = QuitWhenDone = usageShown = 0;
    ClearUploadJob(&TheUploadJob);
    memset(TheUploadJob.fileList, 0xAA, sizeof(TheUploadJob.fileList));   // never written by the parser
    *parsed = ParseCommandLine(text);
    Require(*parsed == 0 || *parsed == 1);
    Require(AutoMode == (*parsed ? AutoMode != 0 : 0) && AutoConnect == AutoMode);
    Require(QuitWhenDone == 0 || QuitWhenDone == 1);
    Require(strnlen(TheUploadJob.targetDir, UPLOAD_TARGET_DIR_SIZE) < UPLOAD_TARGET_DIR_SIZE - 1);
    Require(usageShown == !*parsed && (*parsed || TheUploadJob.targetDir[0] == 0));
    std::vector<std::string> names;
    for (size_t at = 0;;) {
        size_t length = strnlen(TheUploadJob.fileList + at, UPLOAD_FILE_LIST_SIZE - at);
        Require(at + length < UPLOAD_FILE_LIST_SIZE - 1);
        if (length == 0)
            break;
        names.emplace_back(TheUploadJob.fileList + at, length);
        at += length + 1;
    }
    Require(AutoMode == !names.empty());   // a usage error leaves an empty job behind
    return names;
}

// Every name and the directory were typed: they stand somewhere in the text.
static void FuzzParse(const std::string& text)
{
    int parsed;
    for (const std::string& name : Parse(text.c_str(), &parsed))
        Require(text.find(name) != std::string::npos);
    Require(text.find(TheUploadJob.targetDir) != std::string::npos);
}

// One token into a heap block of exactly the capacity, so that a write past
// it is caught: a taken token is a terminated piece of the text that fits.
static void FuzzToken(const std::string& text, uint32_t capacity)
{
    std::vector<char> room(capacity ? capacity : 1, 0x55);
    char *start = capacity ? room.data() : nullptr, *cursor = start;
    uint32_t left = capacity;
    const char* after = GetCmdLineToken(text.c_str(), &cursor, &left);
    if (!after) {
        Require(cursor == start && left == capacity);
        return;
    }
    Require(start != nullptr);
    size_t length = strlen(start);
    Require(length > 0 && cursor == start + length + 1 && left == capacity - length - 1);
    Require(after > text.c_str() && after <= text.c_str() + text.size() && text.find(start) != std::string::npos);
}

// "-u" names and one "-p" directory, joined and parsed again: when they fit
// and can be written, they come back exactly.
static void FuzzRoundTrip(FuzzedDataProvider& input)
{
    std::vector<std::string> names(input.ConsumeIntegralInRange<size_t>(1, 4));
    std::vector<const char*> arguments;
    bool fits = true;
    for (std::string& name : names) {
        name = input.ConsumeRandomLengthString(300).c_str();
        arguments.insert(arguments.end(), {"-u", name.c_str()});
        fits = fits && !name.empty();
    }
    std::string directory = input.ConsumeRandomLengthString(300).c_str();
    arguments.insert(arguments.end(), {"-p", directory.c_str()});
    static char text[32768];
    if (!JoinArguments(static_cast<int>(arguments.size()), arguments.data(), text, sizeof(text))) {
        Require(text[0] == 0);
        return;
    }
    int parsed;
    std::vector<std::string> parsedNames = Parse(text, &parsed);
    if (fits && !directory.empty() && directory.size() <= 254)
        Require(parsed == 1 && parsedNames == names && directory == TheUploadJob.targetDir && QuitWhenDone == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!UsageMessageHook) {
        ZemLibInit();
        UsageMessageHook = [] { usageShown++; };
    }
    FuzzedDataProvider input(data, size);
    switch (size ? input.ConsumeIntegralInRange<int>(0, 2) : -1) {
    case 0:
        FuzzParse(input.ConsumeRemainingBytesAsString().c_str());
        break;
    case 1: {
        uint32_t capacity = input.ConsumeIntegralInRange<uint32_t>(0, 300);
        FuzzToken(input.ConsumeRemainingBytesAsString().c_str(), capacity);
        break;
    }
    case 2:
        FuzzRoundTrip(input);
    }
    return 0;
}
