// Arguments: the parsed job stays inside its fields, a token inside its room; joined names read back.
#include <fuzzer/FuzzedDataProvider.h>

#include "app/command_line.h"
#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"

static int usageShown;

static std::vector<std::string> Parse(const char* text, int* parsed)
{
    AutoMode = AutoConnect = QuitWhenDone = usageShown = 0;
    ClearUploadJob(&TheUploadJob);
    memset(TheUploadJob.fileList, 0xAA, sizeof(TheUploadJob.fileList));   // never written by the parser
    *parsed = ParseCommandLine(text);
    Require(*parsed == 0 || *parsed == 1);
    Require(QuitWhenDone == 0 || QuitWhenDone == 1);
    Require(AutoConnect == AutoMode);
    Require(strnlen(TheUploadJob.targetDir, UPLOAD_TARGET_DIR_SIZE) < UPLOAD_TARGET_DIR_SIZE - 1);
    Require(usageShown == !*parsed);
    Require(*parsed || TheUploadJob.targetDir[0] == 0);
    Require(strstr(text, TheUploadJob.targetDir));
    std::vector<std::string> names;
    Require(FileListIsClosed(TheUploadJob.fileList));
    Require(FileListBytes(TheUploadJob.fileList) < UPLOAD_FILE_LIST_SIZE);
    for (const char* name = TheUploadJob.fileList; *name; name = NextFileName(name)) {
        names.emplace_back(name);
        Require(strstr(text, name));
    }
    Require(AutoMode == !names.empty());   // a usage error leaves an empty job behind
    return names;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!UsageMessageHook)
        ZemLibInit(), UsageMessageHook = [] { usageShown++; };
    FuzzedDataProvider input(data, size);
    int parsed, mode = size ? input.ConsumeIntegralInRange<int>(0, 2) : -1;
    if (mode == 0) {
        Parse(input.ConsumeRemainingBytesAsString().c_str(), &parsed);
    } else if (mode == 1) {   // one token into a heap block of exactly the capacity
        uint32_t capacity = input.ConsumeIntegralInRange<uint32_t>(0, 300), left = capacity;
        std::string text = input.ConsumeRemainingBytesAsString().c_str();
        std::vector<char> room(capacity ? capacity : 1, 0x55);
        char *start = capacity ? room.data() : nullptr, *cursor = start;
        bool got = GetCmdLineToken(text.c_str(), &cursor, &left) != nullptr;
        size_t length = got ? strlen(start) : 0;
        Require(!got || length > 0);   // a refused token neither moves the cursor nor takes room
        Require(cursor == start + length + !!got);
        Require(left == capacity - length - !!got);
        Require(!got || text.find(start) != std::string::npos);
    } else if (mode == 2) {   // "-u" names and a "-p" directory, joined and parsed again
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
        if (!JoinArguments(static_cast<int>(arguments.size()), arguments.data(), text, sizeof(text)))
            return Require(text[0] == 0), 0;
        std::vector<std::string> back = Parse(text, &parsed);
        if (fits && !directory.empty() && directory.size() <= 254) {
            Require(parsed == 1);
            Require(back == names);
            Require(directory == TheUploadJob.targetDir);
            Require(QuitWhenDone == 0);
        }
    }
    return 0;
}
