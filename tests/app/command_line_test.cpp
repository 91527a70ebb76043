// The argument grammar, the room for names, what a usage error clears, and joined arguments.
#include <gtest/gtest.h>

#include <cstring>

#include "app/command_line.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "tests/support/rows.h"

using Names = std::vector<std::string>;

int usageMessages;

int Parse(const std::string& text)
{
    ClearUploadJob(&TheUploadJob);
    AutoMode = AutoConnect = QuitWhenDone = usageMessages = 0;
    UsageMessageHook = [] { usageMessages++; };
    int result = ParseCommandLine(text.c_str());
    UsageMessageHook = nullptr;
    EXPECT_EQ(usageMessages, result ? 0 : 1) << text;
    return result;
}

Names FileNames()
{
    Names names;
    for (const char* name = TheUploadJob.fileList; *name; name = NextFileName(name))
        names.emplace_back(name);
    return names;
}

TEST(CommandLine, AcceptedTextsAndUsageErrors)
{
    for (const Row& c : ReadRows("app/command_line.rows", {{"ok", 2, ANY_NUMBER}, {"error", 2, 3}})) {
        SCOPED_TRACE(c.Where());
        ASSERT_EQ(Parse(c[1]), c[0] == "ok");
        Names files;
        auto given = c.Named(2, {{"dir", ""}, {"quit", "0"}}, c[0] == "ok" ? &files : nullptr);
        EXPECT_EQ(FileNames(), files);
        EXPECT_EQ(AutoMode, files.empty() ? 0 : 1);   // file names start an automatic upload
        EXPECT_EQ(AutoConnect, files.empty() ? 0 : 1);
        EXPECT_EQ(TheUploadJob.fileList[8189], '\0');
        EXPECT_EQ(QuitWhenDone, std::stoi(given["quit"]));
        if (c[0] == "ok") {
            EXPECT_EQ(TheUploadJob.targetDir, given["dir"]);
        } else {
            static const UploadJob zero{};
            EXPECT_EQ(memcmp(&TheUploadJob, &zero, sizeof(zero)), 0) << "the job is not empty";
        }
    }
}

std::string Join(const std::vector<std::string>& strings, uint32_t size = 1024)
{
    std::vector<const char*> arguments;
    for (const std::string& text : strings)
        arguments.push_back(text.c_str());
    std::vector<char> buffer(size ? size : 1, '#');
    return JoinArguments(static_cast<int>(arguments.size()), arguments.data(), buffer.data(), size) ? buffer.data() : "~";
}

// Quotes what needs it and refuses what cannot be read; command_line.rows reads the joined texts back.
TEST(JoinArguments, Rows)
{
    for (const Row& c : ReadRows("app/join.rows", {{"", 2, ANY_NUMBER}}))
        EXPECT_EQ(Join(c.From(2), std::stoul(c[0])), c[1]) << c.Where();
}
