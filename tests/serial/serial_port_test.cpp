// The port logic against a scripted line: the busy rule, purge before a
// command, the traffic log byte for byte, and the clean-up of a failed open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "app/settings.h"
#include "serial/serial_port.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"

class SerialPortTest : public testing::Test {
protected:
    ScriptedLine line;
    SerialPort* port = nullptr;
    ScratchDir dir;

    void SetUp() override
    {
        InstallScriptedLine(&line);
        snprintf(ProgramDir, sizeof(ProgramDir), "%s", dir.Prefix().c_str());
        Settings.LogFile = 1;
    }
    void TearDown() override
    {
        if (port)
            ZemSerComClose(port);
        InstallScriptedLine(nullptr);
        Settings.LogFile = 0;
    }
    std::string Log() const
    {
        std::ifstream in(dir.File("VantorixLog.txt"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void PutLog(const std::string& text) const { std::ofstream(dir.File("VantorixLog.txt"), std::ios::binary) << text; }
    void Open() { ASSERT_NE(port = ZemSerComOpen("COM3", 115200), nullptr); }
    std::string Written() const { return std::string(line.written.begin(), line.written.end()); }
};

// Open starts with an empty line, a command goes out on an emptied line,
// a read stops at its count or after the read time-out, and close restores
// what open saved.
TEST_F(SerialPortTest, OpenSendReadAndClose)
{
    line.Queue("stale");
    Open();
    EXPECT_EQ(line.baud, 115200u);
    EXPECT_TRUE(line.pending.empty());
    EXPECT_EQ(std::string(TrafficLogPath), dir.File("VantorixLog.txt"));
    EXPECT_EQ(ZemSerComIsBusy(port) + ZemSerComIsBusy(nullptr), 0);
    line.Queue("old answer");
    size_t pendingAtWrite = 99;
    line.onWrite = [&](ScriptedLine& l, const unsigned char*, uint32_t) { pendingAtWrite = l.pending.size(); };
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    EXPECT_EQ(pendingAtWrite, 0u);
    EXPECT_EQ(Written(), "l\r\n");
    line.Queue("hello world");
    char buffer[8];
    EXPECT_EQ(ZemSerComRead(port, buffer, 5, 0), 5u);
    EXPECT_STREQ(buffer, "hello");
    line.pending.clear();
    uint32_t before = line.clock.now;
    EXPECT_EQ(ZemSerComRead(port, buffer, 3, 0), 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(line.clock.now - before, 990u);
    EXPECT_EQ(ZemSerComClose(port), 1);
    port = nullptr;
    EXPECT_EQ(line.stateRestored + line.timeoutsRestored + line.closes, 3);
}

TEST_F(SerialPortTest, BusyPortRefusesOrdinaryCallersAndLetsTheOverrideThrough)
{
    Settings.LogFile = 0;   // a log switched on later appends to the file, which open left alone
    Open();
    PutLog("before");
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    Settings.LogFile = 1;
    ZemSerComSetBusy(port, 1);
    line.Queue("C");
    int calls = line.writes + line.reads + line.purges;
    EXPECT_EQ(ZemSerComWrite(port, "abc", 3, 0), SERCOM_BUSY);
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_BUSY);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(ZemSerComRead(port, buffer, 3, 0), 0u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(line.writes + line.reads + line.purges, calls);
    EXPECT_EQ(Log(), "before");

    EXPECT_EQ(ZemSerComWrite(port, "\x01", 1, 1), SERCOM_DONE);
    EXPECT_EQ(ZemSerComRead(port, buffer, 1, 1), 1u);
    EXPECT_STREQ(buffer, "C");
    EXPECT_EQ(ZemSerComSendCmd(port, "u\r", 1), SERCOM_DONE);
    EXPECT_EQ(Written(), "l\r\n\x01u\r");
    EXPECT_EQ(Log(), "beforeVantorix Send:\r\n\x01Vantorix Read:\r\nCVantorix Send:\r\nu\r");
}

// A new log at every open; a short write logs what went out, a failed one
// nothing; a failing platform read that still reports a byte, as a driver
// may, is logged as failed with it.
TEST_F(SerialPortTest, LogRecordsEveryTransferByteForByte)
{
    PutLog("an older session that must go");
    Open();
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    line.shortWrites = 1;
    EXPECT_EQ(ZemSerComWrite(port, "xyz", 3, 0), SERCOM_FAILED);
    line.failWrites = 1;
    EXPECT_EQ(ZemSerComWrite(port, "lost", 4, 0), SERCOM_FAILED);
    char buffer[32];
    line.Queue(std::vector<unsigned char>{'o', 'k', 0, 0xFF});
    ZemSerComRead(port, buffer, 31, 0);
    ZemSerComRead(port, buffer, 31, 0);
    line.Queue("Q");
    line.failReads = 1;
    EXPECT_EQ(ZemSerComRead(port, buffer, 31, 0), 1u);
    EXPECT_STREQ(buffer, "Q");
    EXPECT_EQ(Log(), std::string("Vantorix Log File\r\nVantorix Send:\r\nl\r\nVantorix Send:\r\nxyVantorix Read:\r\nok\0\xFF"
                                 "Vantorix Read:\r\nVantorix Read failed:\r\nQ", 116));
}

// Each failing step of an open: the device gets back exactly what had been
// saved so far, is closed if it was opened, and the log is not touched.
TEST_F(SerialPortTest, FailedOpenRestoresOnlyWhatWasSaved)
{
    static const struct {
        int ScriptedLine::*fail;
        int stateRestored, timeoutsRestored, closes;
    } cases[] = {
        {&ScriptedLine::failOpen, 0, 0, 0},        {&ScriptedLine::failGetState, 0, 0, 1},
        {&ScriptedLine::failGetTimeouts, 1, 0, 1}, {&ScriptedLine::failConfigure, 1, 1, 1},
        {&ScriptedLine::failSetTimeouts, 1, 1, 1},
    };
    PutLog("previous");
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        line.stateRestored = line.timeoutsRestored = line.closes = 0;
        line.*c.fail = 1;
        EXPECT_EQ(ZemSerComOpen("COM3", 9600), nullptr);
        line.*c.fail = 0;
        EXPECT_EQ(std::vector<int>({line.stateRestored, line.timeoutsRestored, line.closes}),
                  std::vector<int>({c.stateRestored, c.timeoutsRestored, c.closes}));
        EXPECT_EQ(Log(), "previous");
    }
}

// A program directory so long that the log's name would be cut off: no log,
// rather than a file under a truncated name.
TEST_F(SerialPortTest, LogPathThatDoesNotFitWritesNoLog)
{
    std::string prefix = dir.Prefix();
    while (prefix.size() < 500)
        prefix += std::string(std::min<size_t>(99, 500 - prefix.size()), 'd') + prefix.back();
    ASSERT_LT(prefix.size(), sizeof(ProgramDir));
    snprintf(ProgramDir, sizeof(ProgramDir), "%s", prefix.c_str());
    Open();
    EXPECT_STREQ(TrafficLogPath, "");
    ZemSerComWrite(port, "a", 1, 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}
