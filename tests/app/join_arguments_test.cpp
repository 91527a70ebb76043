// Arguments delivered already split are joined so that the grammar reads
// back exactly the names that were given, or refused when it cannot.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "serial/upload_job.h"

namespace {

std::string Join(const std::vector<const char*>& arguments, uint32_t size = 1024)
{
    std::vector<char> buffer(size ? size : 1, '#');
    if (!JoinArguments(static_cast<int>(arguments.size()), arguments.data(), buffer.data(), size))
        return "<refused>";
    return buffer.data();
}

void CountNothing() {}

}  // namespace

TEST(JoinArguments, QuotesOnlyWhatNeedsIt)
{
    EXPECT_EQ(Join({}), "");
    EXPECT_EQ(Join({"-q"}), "-q");
    EXPECT_EQ(Join({"-u", "a b", "-u", "tab\there", "-p", "/ram/", "-q"}),
              "-u \"a b\" -u \"tab\there\" -p /ram/ -q");
    EXPECT_EQ(Join({"-u", ""}), "-u \"\"");
    EXPECT_EQ(Join({"-u", "say\"hi"}), "-u say\"hi");
}

TEST(JoinArguments, RefusesWhatTheGrammarCannotHold)
{
    EXPECT_EQ(Join({"-u", "a \"b\""}), "<refused>");
    EXPECT_EQ(Join({"-u", "\"quoted\""}), "<refused>");
    EXPECT_EQ(Join({"-u", "abc"}, 6), "<refused>");
    EXPECT_EQ(Join({"-u", "abc"}, 7), "-u abc");
    EXPECT_EQ(Join({"-u", "a b"}, 8), "<refused>");
    EXPECT_EQ(Join({"-u", "a b"}, 9), "-u \"a b\"");
    EXPECT_EQ(Join({"-q"}, 0), "<refused>");
}

TEST(JoinArguments, GrammarReadsBackTheNames)
{
    std::vector<const char*> arguments = {"-u", "C:\\my files\\part a.nc", "-u", "plain.nc", "-u", "x\"y",
                                          "-p", "/ram/a b/", "-q"};
    char text[512];
    ASSERT_EQ(JoinArguments(static_cast<int>(arguments.size()), arguments.data(), text, sizeof(text)), 1);

    ClearUploadJob(&TheUploadJob);
    AutoMode = AutoConnect = QuitWhenDone = 0;
    UsageMessageHook = CountNothing;
    EXPECT_EQ(ParseCommandLine(text), 1);
    UsageMessageHook = nullptr;
    EXPECT_EQ(memcmp(TheUploadJob.fileList, "C:\\my files\\part a.nc\0plain.nc\0x\"y\0\0", 36), 0);
    EXPECT_STREQ(TheUploadJob.targetDir, "/ram/a b/");
    EXPECT_EQ(QuitWhenDone, 1);

    // An empty name stays a (faulty) name instead of swallowing the next option.
    std::vector<const char*> empty = {"-u", "", "-q"};
    ASSERT_EQ(JoinArguments(3, empty.data(), text, sizeof(text)), 1);
    ClearUploadJob(&TheUploadJob);
    AutoMode = AutoConnect = QuitWhenDone = 0;
    UsageMessageHook = CountNothing;
    EXPECT_EQ(ParseCommandLine(text), 0);
    UsageMessageHook = nullptr;
    EXPECT_EQ(QuitWhenDone, 0);
}
