// The parameter and tool-list fetch against a scripted controller: which
// part of the answer is kept and what reaches the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/fetch_answer.h"
#include "lib/zem_lib.h"
#include "serial/serial_port.h"
#include "tests/support/scripted_device.h"

namespace {

std::string Kept(const std::string& answer)
{
    std::string withNul = answer + '\0';
    uint32_t skip = SkipFirstLine(withNul.data(), static_cast<uint32_t>(answer.size()));
    return answer.substr(skip);
}

TEST(SkipFirstLine, DropsTheFirstLineOnly)
{
    EXPECT_EQ(Kept("p\r\nX=1\r\n"), "X=1\r\n");
    EXPECT_EQ(Kept("t\r\nX"), "X");
    EXPECT_EQ(Kept("\nAB"), "AB");   // a leading LF costs only itself
}

TEST(SkipFirstLine, KeepsAnswersWithNothingBehindTheFirstLine)
{
    EXPECT_EQ(Kept("no line feed"), "no line feed");
    EXPECT_EQ(Kept("only at end\n"), "only at end\n");
    EXPECT_EQ(Kept("\n"), "\n");
}

TEST(SkipFirstLine, NulEndsTheFirstLine)
{
    std::string answer("ab\0cd\nef", 8);
    std::string withNul = answer + '\0';
    EXPECT_EQ(SkipFirstLine(withNul.data(), 8), 3u);
}

class FetchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallScriptedLine(&line);
        port = ZemSerComOpen("COM1", 9600);
        ASSERT_NE(port, nullptr);
        snprintf(path, sizeof(path), "%sfetch-test.txt", testing::TempDir().c_str());
        remove(path);
    }
    void TearDown() override
    {
        ZemSerComClose(port);
        InstallScriptedLine(nullptr);
        remove(path);
    }
    void AnswerWith(const std::string& answer)
    {
        line.onWrite = [answer](ScriptedLine& l, const unsigned char*, uint32_t) {
            l.Queue(std::vector<unsigned char>(answer.begin(), answer.end()));
        };
    }
    std::string FileText()
    {
        char data[512];
        long n = ZemFileRead(path, data, sizeof(data), 0, nullptr);
        return n < 0 ? std::string("<missing>") : std::string(data, static_cast<size_t>(n));
    }
    int Fetch(int kind)
    {
        uint32_t start = 0, length = 0;
        int outcome = FetchControllerList(port, kind, buffer, sizeof(buffer), &start, &length);
        if (outcome == FETCH_OK)
            WriteFetchedFile(path, kind, buffer + start, length);
        return outcome;
    }

    ScriptedLine line;
    SerialPort* port = nullptr;
    char path[512];
    char buffer[4096];
};

TEST_F(FetchTest, ParametersLoseTheirFirstLineAndGainALineEnd)
{
    AnswerWith("p\r\nX=1\r\n");
    EXPECT_EQ(Fetch(FETCH_PARAMETERS), FETCH_OK);
    EXPECT_EQ(std::string(line.written.begin(), line.written.end()), "p\r\n");
    EXPECT_EQ(FileText(), "X=1\r\n\r\n");
}

TEST_F(FetchTest, ParametersWithoutLineFeedAreWrittenWhole)
{
    AnswerWith("P1");
    EXPECT_EQ(Fetch(FETCH_PARAMETERS), FETCH_OK);
    EXPECT_EQ(FileText(), "P1\r\n");
}

TEST_F(FetchTest, ThreeByteToolListLeavesTheOlderFileAlone)
{
    ZemFileWrite(path, "old", 3, ZEM_FILE_CREATE);
    AnswerWith("t\r\n");
    EXPECT_EQ(Fetch(FETCH_TOOL_LIST), FETCH_NO_TOOL_LIST);
    EXPECT_EQ(FileText(), "old");
    EXPECT_STREQ(FetchOutcomeMessage(FETCH_NO_TOOL_LIST), "The Vantorix sent no tool list.");
}

TEST_F(FetchTest, FourByteToolListGivesOneByte)
{
    AnswerWith("t\r\nX");
    EXPECT_EQ(Fetch(FETCH_TOOL_LIST), FETCH_OK);
    EXPECT_EQ(std::string(line.written.begin(), line.written.end()), "t\r\n");
    EXPECT_EQ(FileText(), "X");
}

TEST_F(FetchTest, ThreeByteParameterAnswerIsNotSpecial)
{
    AnswerWith("p\r\n");
    EXPECT_EQ(Fetch(FETCH_PARAMETERS), FETCH_OK);
    EXPECT_EQ(FileText(), "p\r\n\r\n");
}

TEST_F(FetchTest, SilenceAndWriteFailureLeaveTheFileAlone)
{
    ZemFileWrite(path, "old", 3, ZEM_FILE_CREATE);
    EXPECT_EQ(Fetch(FETCH_TOOL_LIST), FETCH_NO_ANSWER);
    line.failWrites = 1;
    EXPECT_EQ(Fetch(FETCH_PARAMETERS), FETCH_SEND_FAILED);
    ZemSerComSetBusy(port, 1);
    EXPECT_EQ(Fetch(FETCH_PARAMETERS), FETCH_SEND_FAILED);
    ZemSerComSetBusy(port, 0);
    EXPECT_EQ(FileText(), "old");
    EXPECT_STREQ(FetchOutcomeMessage(FETCH_NO_ANSWER), "No answer from Vantorix. Please check if it is connected.");
    EXPECT_STREQ(FetchOutcomeMessage(FETCH_SEND_FAILED), "Can't send Command. Please check if Vantorix is connected.");
}

}  // namespace
