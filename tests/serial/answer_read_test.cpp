// The reader of whole answers on a line that never goes quiet: it gives up after a full buffer's line time.
#include "serial/answer_read.h"
#include "serial/line_talk.h"
#include "serial/serial_port.h"
#include "tests/support/rows.h"
#include "tests/support/scripted_device.h"

TEST(AnswerRead, EndlessTalkEndsAfterTheLineTimeOfAFullBuffer)
{
    ScriptedLine line;
    InstallScriptedLine(&line);
    for (const Row& c : ReadRows("serial/answer_limits.rows", {{"", 3, 3}})) {
        SCOPED_TRACE(c.Where());
        SerialPort* port = ZemSerComOpen("COM1", std::stoul(c[0]));
        ASSERT_NE(port, nullptr);
        line.pending.clear(), line.arriving.clear();
        QueueScript(line, "{1200*}{500}x{*}");
        uint32_t start = line.clock.now, count = 0;
        EXPECT_EQ(ReadWholeAnswer(port, AnswerBuffer, ANSWER_READ_MAX, AnswerReader{0, 0}, nullptr, &count),
                  ANSWER_ENDLESS);
        EXPECT_GE(line.clock.now - start, std::stoul(c[1]));
        EXPECT_LT(line.clock.now - start, std::stoul(c[2]));
        start = line.clock.now;
        EXPECT_EQ(AwaitQuietLine(port, AnswerBuffer, ANSWER_READ_MAX, AnswerReader{0, 0}), ANSWER_ENDLESS);
        EXPECT_GE(line.clock.now - start, std::stoul(c[1]));
        EXPECT_LT(line.clock.now - start, std::stoul(c[2]));
        ZemSerComClose(port);
    }
    InstallScriptedLine(nullptr);
}

// A read that the hook ends leaves the rest of its answer on the line: the next command waits until it has come.
TEST(AnswerRead, RestOfAnAnswerCutByTheHookIsWaitedOutOnce)
{
    ScriptedLine line;
    InstallScriptedLine(&line);
    SerialPort* port = ZemSerComOpen("COM1", 57600);
    ASSERT_NE(port, nullptr);
    const AnswerReader reader = {0, 0};
    EXPECT_EQ(SettleLine(port, AnswerBuffer, ANSWER_READ_MAX, reader), ANSWER_QUIET);
    EXPECT_EQ(line.reads, 0);   // nothing was cut and nothing waits: no wait
    AnswerReadHook.betweenReads = [](int, uint32_t) { return 0; };
    line.onWrite = [](ScriptedLine& l, const unsigned char*, uint32_t) { QueueScript(l, "{10*}{400}x{*}"); };   // 4 s
    TalkAnswer answer;
    EXPECT_EQ(TalkCommand(port, "p\r\n", AnswerBuffer, ANSWER_READ_MAX, reader, nullptr, &answer), TALK_ABANDONED);
    line.onWrite = nullptr;
    // Ended again while waiting; the rest keeps coming.
    EXPECT_EQ(SettleLine(port, AnswerBuffer, ANSWER_READ_MAX, reader), ANSWER_ABANDONED);
    AnswerReadHook.betweenReads = nullptr;
    EXPECT_EQ(SettleLine(port, AnswerBuffer, ANSWER_READ_MAX, reader), ANSWER_QUIET);
    EXPECT_TRUE(line.arriving.empty());
    EXPECT_GE(line.clock.now, 4000u);
    const int reads = line.reads;
    EXPECT_EQ(SettleLine(port, AnswerBuffer, ANSWER_READ_MAX, reader), ANSWER_QUIET);
    EXPECT_EQ(line.reads, reads);
    ZemSerComClose(port);
    InstallScriptedLine(nullptr);
}
