// Fetching the listing over a scripted line: the attempts, the one message
// chosen by the last attempt, and the command posted after a good listing.
#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "lib/zem_ui.h"
#include "serial/serial_port.h"
#include "tests/support/scripted_device.h"
#include "tests/tree/tree_test_support.h"

static const char* const goodListing =
    "listing\r\n(dir) ram\r\n 12 a.nc\r\nFree RamDisk: 100\r\nFree FlashDisk: 200\r\n\r\n";

// What the controller does with one "l\r\n".
enum Reply { ANSWER_GOOD, ANSWER_BAD, ANSWER_NOTHING, WRITE_FAILS };

class ReadDirectoriesTest : public testing::Test {
protected:
    void SetUp() override
    {
        savedAutoConnect = AutoConnect;
        AutoConnect = 0;
        ListingAttemptsOverride = 0;
        InstallScriptedLine(&line);
        static const ZemUiSink sink = {
            [](void* context, const char* text) { static_cast<ReadDirectoriesTest*>(context)->problems.push_back(text); },
            [](void* context, unsigned id, intptr_t param) {
                static_cast<ReadDirectoriesTest*>(context)->posts.push_back({id, param});
            },
            nullptr,
        };
        uiSink = sink;
        uiSink.context = this;
        ZemUiSetSink(&uiSink);
        line.onWrite = [this](ScriptedLine& peer, const unsigned char* bytes, uint32_t count) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), count), "l\r\n");
            Reply reply = sends < replies.size() ? replies[sends] : ANSWER_NOTHING;
            sends++;
            if (reply == ANSWER_GOOD)
                peer.Queue(goodListing);
            else if (reply == ANSWER_BAD)
                peer.Queue("(dir) ram\r\n what is this\r\n");
            ArmFailingWrite();
        };
        port = ZemSerComOpen("COM1", 57600);
        ASSERT_NE(port, nullptr);
        tree = CreateDeviceTree();
        ASSERT_NE(tree, nullptr);
    }
    void TearDown() override
    {
        FreeDeviceTree(tree);
        ZemSerComClose(port);
        ZemUiSetSink(nullptr);
        InstallScriptedLine(nullptr);
        AutoConnect = savedAutoConnect;
        ListingAttemptsOverride = 0;
    }

    // A failing write never reaches the peer, so the line is told beforehand.
    void ArmFailingWrite()
    {
        if (sends < replies.size() && replies[sends] == WRITE_FAILS) {
            sends++;
            line.failWrites = 1;
        }
    }

    void Read(std::vector<Reply> script)
    {
        replies = script;
        sends = 0;
        line.writes = 0;
        ArmFailingWrite();
        ReadDirectories(tree, port, AnswerBuffer, ANSWER_BUFFER_SIZE);
    }

    uint32_t CommandsSent() const { return static_cast<uint32_t>(line.writes); }

    ScriptedLine line;
    ZemUiSink uiSink{};
    SerialPort* port = nullptr;
    DeviceTree* tree = nullptr;
    std::vector<Reply> replies;
    size_t sends = 0;
    std::vector<std::string> problems;
    std::vector<std::pair<unsigned, intptr_t>> posts;
    int32_t savedAutoConnect = 0;
};

TEST_F(ReadDirectoriesTest, GoodListingLoadsTreeAndPostsAfterConnect)
{
    Read({ANSWER_GOOD});
    EXPECT_EQ(LastReadOutcome(), READ_OK);
    EXPECT_EQ(std::string(line.written.begin(), line.written.end()), "l\r\n");
    EXPECT_EQ(tree->arraysInUse, 2u);
    EXPECT_EQ(tree->ramDiskFree, 100u);
    EXPECT_EQ(tree->flashDiskFree, 200u);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].first, static_cast<unsigned>(CMD_AFTER_CONNECT));
    EXPECT_EQ(posts[0].second, 0);
}

TEST_F(ReadDirectoriesTest, SilentControllerGetsTwoAttemptsAndOneMessage)
{
    Read({});
    EXPECT_EQ(CommandsSent(), 2u);
    EXPECT_EQ(line.reads, 2);
    EXPECT_EQ(std::string(line.written.begin(), line.written.end()), "l\r\nl\r\n");
    EXPECT_EQ(LastReadOutcome(), READ_NO_ANSWER);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "No answer from Vantorix. Please check if it is connected.");
    EXPECT_TRUE(posts.empty());
    ExpectEmptyTree(tree);
    // No pause between attempts: only the two read timeouts pass.
    EXPECT_GE(line.clock.now, 2 * 990u);
    EXPECT_LT(line.clock.now, 2 * 990u + 100);
}

TEST_F(ReadDirectoriesTest, AutomaticStartMakesFourAttempts)
{
    AutoConnect = 1;
    Read({});
    EXPECT_EQ(CommandsSent(), 4u);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "No answer from Vantorix. Please check if it is connected.");

    problems.clear();
    Read({ANSWER_BAD, ANSWER_NOTHING, ANSWER_BAD, ANSWER_GOOD});
    EXPECT_EQ(CommandsSent(), 4u);
    EXPECT_EQ(LastReadOutcome(), READ_OK);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(posts.size(), 1u);
}

TEST_F(ReadDirectoriesTest, AttemptsOverrideReplacesTheRule)
{
    AutoConnect = 1;
    ListingAttemptsOverride = 3;
    Read({});
    EXPECT_EQ(CommandsSent(), 3u);
    EXPECT_EQ(problems.size(), 1u);
}

TEST_F(ReadDirectoriesTest, MessageFollowsTheLastAttemptOnly)
{
    struct Case {
        std::vector<Reply> script;
        int outcome;
        const char* message;
    };
    const Case cases[] = {
        {{ANSWER_BAD, ANSWER_NOTHING}, READ_NO_ANSWER, "No answer from Vantorix. Please check if it is connected."},
        {{ANSWER_NOTHING, ANSWER_BAD}, READ_BAD_ANSWER, "The Vantorix-answer was not correct. Please try to update again."},
        {{ANSWER_BAD, WRITE_FAILS}, READ_SEND_FAILED, "Can't send Command. Please check if Vantorix is connected."},
        {{WRITE_FAILS, ANSWER_NOTHING}, READ_NO_ANSWER, "No answer from Vantorix. Please check if it is connected."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        problems.clear();
        Read(c.script);
        EXPECT_EQ(LastReadOutcome(), c.outcome);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0], c.message);
        EXPECT_TRUE(posts.empty());
        ExpectEmptyTree(tree);
    }
}

TEST_F(ReadDirectoriesTest, SecondAttemptMayRescueTheRead)
{
    Read({ANSWER_BAD, ANSWER_GOOD});
    EXPECT_EQ(LastReadOutcome(), READ_OK);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(posts.size(), 1u);
    EXPECT_EQ(tree->arraysInUse, 2u);
    EXPECT_TRUE(CheckParentLinks(tree, nullptr));
}

TEST_F(ReadDirectoriesTest, BusyPortIsRefusedWithoutTouchingTheLine)
{
    ZemSerComSetBusy(port, 1);
    Read({ANSWER_GOOD, ANSWER_GOOD});
    ZemSerComSetBusy(port, 0);
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(LastReadOutcome(), READ_SEND_FAILED);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "Can't send Command. Please check if Vantorix is connected.");
}

TEST_F(ReadDirectoriesTest, NoPortOnlyEmptiesTheTree)
{
    Read({ANSWER_GOOD});
    ASSERT_EQ(tree->arraysInUse, 2u);
    posts.clear();
    line.writes = 0;
    ReadDirectories(tree, nullptr, AnswerBuffer, ANSWER_BUFFER_SIZE);
    ExpectEmptyTree(tree);
    EXPECT_EQ(CommandsSent(), 0u);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(posts.empty());
}

TEST_F(ReadDirectoriesTest, FailedReadEmptiesAnEarlierTree)
{
    Read({ANSWER_GOOD});
    ASSERT_EQ(tree->arraysInUse, 2u);
    Read({ANSWER_NOTHING, ANSWER_NOTHING});
    ExpectEmptyTree(tree);
}

// An answer longer than the buffer is cut at 262143 bytes and terminated.
TEST_F(ReadDirectoriesTest, OverlongAnswerIsReadOnceAndCut)
{
    std::string listing = "(dir) ram\r\n";
    while (listing.size() < ANSWER_BUFFER_SIZE + 1000)
        listing += " 1 file.nc\r\n";
    line.onWrite = [&](ScriptedLine& peer, const unsigned char*, uint32_t) { peer.Queue(listing.c_str()); };
    ReadDirectories(tree, port, AnswerBuffer, ANSWER_BUFFER_SIZE);
    EXPECT_EQ(AnswerBuffer[ANSWER_BUFFER_SIZE - 1], 0);
    EXPECT_EQ(LastReadOutcome(), READ_OK);   // the cut last line is still a file line
    EXPECT_EQ(line.reads, 1);
}
