// The argument grammar: options, names quoted and unquoted, the exact room
// for names, and what a usage error clears and keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "serial/upload_job.h"

namespace {

int usageMessages;

void CountUsageMessage()
{
    usageMessages++;
}

// The names of fileList up to its closing empty name.
std::vector<std::string> FileNames()
{
    std::vector<std::string> names;
    const char* at = TheUploadJob.fileList;
    while (*at && at < TheUploadJob.fileList + UPLOAD_FILE_LIST_SIZE) {
        names.emplace_back(at);
        at += strlen(at) + 1;
    }
    return names;
}

bool JobIsAllZero()
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&TheUploadJob);
    for (size_t i = 0; i < sizeof(TheUploadJob); i++)
        if (bytes[i] != 0)
            return false;
    return true;
}

class CommandLine : public testing::Test {
protected:
    void SetUp() override
    {
        // As the entry point does before parsing, and the flags as at load.
        ClearUploadJob(&TheUploadJob);
        AutoMode = AutoConnect = QuitWhenDone = 0;
        usageMessages = 0;
        UsageMessageHook = CountUsageMessage;
    }
    void TearDown() override { UsageMessageHook = nullptr; }

    // 1 when the text parses without a usage message; checks the two agree.
    int Parse(const std::string& text)
    {
        int result = ParseCommandLine(text.c_str());
        EXPECT_EQ(usageMessages, result ? 0 : 1) << text;
        return result;
    }
};

}  // namespace

TEST_F(CommandLine, EmptyTextLeavesTheJobAllZero)
{
    EXPECT_EQ(Parse(""), 1);
    EXPECT_EQ(Parse("  \t "), 1);
    EXPECT_TRUE(JobIsAllZero());
    EXPECT_EQ(AutoMode, 0);
    EXPECT_EQ(AutoConnect, 0);
    EXPECT_EQ(QuitWhenDone, 0);
}

TEST_F(CommandLine, FullAutomaticRun)
{
    EXPECT_EQ(Parse("-u a -u \"b c\" -p /ram/x/ -q"), 1);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"a", "b c"}));
    EXPECT_EQ(memcmp(TheUploadJob.fileList, "a\0b c\0\0", 7), 0);
    EXPECT_STREQ(TheUploadJob.targetDir, "/ram/x/");
    EXPECT_EQ(AutoMode, 1);
    EXPECT_EQ(AutoConnect, 1);
    EXPECT_EQ(QuitWhenDone, 1);
}

TEST_F(CommandLine, QuitAloneSetsOnlyItsFlag)
{
    EXPECT_EQ(Parse("-q"), 1);
    EXPECT_EQ(QuitWhenDone, 1);
    EXPECT_EQ(AutoConnect, 0);
    EXPECT_TRUE(JobIsAllZero());
}

TEST_F(CommandLine, NamesAsTyped)
{
    EXPECT_EQ(Parse("-ufile\t-u  \tC:\\work\\part.nc -u say\"hi -u \"q'x\""), 1);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"file", "C:\\work\\part.nc", "say\"hi", "q'x"}));
    EXPECT_EQ(Parse("-u-"), 1);
    EXPECT_EQ(FileNames().back(), "-");
    EXPECT_EQ(Parse("-p a -p b"), 1);
    EXPECT_STREQ(TheUploadJob.targetDir, "b");
    EXPECT_EQ(Parse("-p\"/ram/with blank/\""), 1);
    EXPECT_STREQ(TheUploadJob.targetDir, "/ram/with blank/");
}

TEST_F(CommandLine, OptionsMayFollowWithoutBlanks)
{
    EXPECT_EQ(Parse("-q-u a"), 1);
    EXPECT_EQ(QuitWhenDone, 1);
    EXPECT_EQ(FileNames(), std::vector<std::string>{"a"});

    SetUp();
    EXPECT_EQ(Parse("-u \"a\"-q"), 1);
    EXPECT_EQ(FileNames(), std::vector<std::string>{"a"});
    EXPECT_EQ(QuitWhenDone, 1);
}

TEST_F(CommandLine, UsageErrors)
{
    const char* const faulty[] = {
        "-qx", "-u", "-u   ", "-u \"\"", "-u \"abc", "-U a", "-", "- q", "x", "-q x", "-u \"a\"b",
        "-p", "-u a -p", "-Q", "-u a b",
    };
    for (const char* text : faulty) {
        SetUp();
        EXPECT_EQ(Parse(text), 0) << text;
        EXPECT_TRUE(JobIsAllZero()) << text;
        EXPECT_EQ(AutoMode, 0) << text;
        EXPECT_EQ(AutoConnect, 0) << text;
    }
}

TEST_F(CommandLine, UsageErrorClearsTheJobButKeepsAnEarlierQuit)
{
    EXPECT_EQ(Parse("-u a -p /x/ -q -x -u b"), 0);
    EXPECT_TRUE(JobIsAllZero());
    EXPECT_EQ(AutoMode, 0);
    EXPECT_EQ(AutoConnect, 0);
    EXPECT_EQ(QuitWhenDone, 1);

    // Parsing stops at the fault: a later "-q" is not read.
    SetUp();
    EXPECT_EQ(Parse("-x -q"), 0);
    EXPECT_EQ(QuitWhenDone, 0);
}

TEST_F(CommandLine, ExactRoomForFileNames)
{
    std::string longest(8188, 'f');
    EXPECT_EQ(Parse("-u " + longest), 1);
    EXPECT_EQ(FileNames(), std::vector<std::string>{longest});
    EXPECT_EQ(TheUploadJob.fileList[8188], '\0');
    EXPECT_EQ(TheUploadJob.fileList[8189], '\0');

    SetUp();
    EXPECT_EQ(Parse("-u " + std::string(8189, 'f')), 0);
    EXPECT_TRUE(JobIsAllZero());

    SetUp();
    EXPECT_EQ(Parse("-u \"" + std::string(8188, 'f') + "\""), 1);

    // After "a" and its NUL, 8187 bytes remain: names up to 8186 fit.
    SetUp();
    EXPECT_EQ(Parse("-u a -u " + std::string(8186, 'g')), 1);
    EXPECT_EQ(FileNames().size(), 2u);
    EXPECT_EQ(TheUploadJob.fileList[8189], '\0');
    SetUp();
    EXPECT_EQ(Parse("-u a -u " + std::string(8187, 'g')), 0);
    EXPECT_TRUE(JobIsAllZero());
}

TEST_F(CommandLine, ExactRoomForTheTargetDirectory)
{
    std::string longest(254, 'd');
    EXPECT_EQ(Parse("-p " + longest), 1);
    EXPECT_EQ(std::string(TheUploadJob.targetDir), longest);

    SetUp();
    EXPECT_EQ(Parse("-p " + std::string(255, 'd')), 0);
    EXPECT_TRUE(JobIsAllZero());

    // Each "-p" has the whole room again.
    SetUp();
    EXPECT_EQ(Parse("-p " + longest + " -p " + longest), 1);
}

TEST_F(CommandLine, TokenReaderMovesCursorAndRoom)
{
    char out[16];
    memset(out, '#', sizeof(out));
    char* cursor = out;
    uint32_t room = 6;
    const char* text = "  abc def";
    const char* after = GetCmdLineToken(text, &cursor, &room);
    ASSERT_EQ(after, text + 5);
    EXPECT_EQ(cursor, out + 4);
    EXPECT_EQ(room, 2u);
    EXPECT_EQ(memcmp(out, "abc\0#", 5), 0);

    // A single character still fits the remaining room of 2; then nothing does.
    const char* single = "x\t";
    EXPECT_EQ(GetCmdLineToken(single, &cursor, &room), single + 1);
    EXPECT_EQ(room, 0u);
    EXPECT_EQ(GetCmdLineToken("y", &cursor, &room), nullptr);
    EXPECT_EQ(cursor, out + 6);
    EXPECT_EQ(memcmp(out, "abc\0x\0#", 7), 0);

    // A quoted name ends after its closing quote, whatever follows.
    char dir[16];
    cursor = dir;
    room = sizeof(dir);
    const char* quoted = "\"p q\"rest";
    EXPECT_EQ(GetCmdLineToken(quoted, &cursor, &room), quoted + 5);
    EXPECT_STREQ(dir, "p q");
}
