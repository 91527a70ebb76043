// The port logic against a scripted line: busy rule, purge, traffic log, clean-up of a failed open.
#include <array>

#include "serial/serial_port.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"

class SerialPortTest : public testing::Test {
protected:
    ScriptedLine line;
    SerialPort* port = nullptr;
    ScratchDir dir;
    signed char logOn = 1;

    void SetUp() override { InstallScriptedLine(&line), SetTrafficLogFolder(dir.Prefix().c_str()), TrafficLogSwitch = &logOn; }
    void TearDown() override { port && ZemSerComClose(port), InstallScriptedLine(nullptr), TrafficLogSwitch = nullptr; }
    std::string Log() const { return ReadBytes(dir.File("VantorixLog.txt")); }
    void PutLog(const std::string& text) const { std::ofstream(dir.File("VantorixLog.txt"), std::ios::binary) << text; }
    void Open() { ASSERT_NE(port = ZemSerComOpen("COM3", 115200), nullptr); }
    // What a close gave back: the saved state, the saved time-outs, the handle.
    std::array<int, 3> Restored() const { return {line.stateRestored, line.timeoutsRestored, line.closes}; }
};

TEST_F(SerialPortTest, OpenSendReadAndClose)
{
    line.Queue("stale");
    Open();
    EXPECT_EQ(line.baud, 115200u);
    EXPECT_TRUE(line.pending.empty());
    EXPECT_EQ(std::string(TrafficLogPath), dir.File("VantorixLog.txt"));
    EXPECT_EQ(ZemSerComIsBusy(port), 0);
    EXPECT_EQ(ZemSerComIsBusy(nullptr), 0);
    line.Queue("old answer");
    size_t pendingAtWrite = 99;
    line.onWrite = [&](ScriptedLine& l, const unsigned char*, uint32_t) { pendingAtWrite = l.pending.size(); };
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    EXPECT_EQ(pendingAtWrite, 0u);
    EXPECT_EQ(line.Written(), "l\r\n");
    line.Queue("hello world");
    char buffer[8];
    EXPECT_EQ(ZemSerComRead(port, buffer, 5, 0), 5u);
    EXPECT_STREQ(buffer, "hello");
    line.pending.clear();
    uint32_t before = line.clock.now;
    EXPECT_EQ(ZemSerComRead(port, buffer, 3, 0), 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(line.clock.now - before, 990u);
    EXPECT_EQ(ZemSerComClose(port), 1);   // restores what open saved
    port = nullptr;
    EXPECT_EQ(Restored(), (std::array<int, 3>{1, 1, 1}));
}

TEST_F(SerialPortTest, BusyPortRefusesOrdinaryCallersAndLetsTheOverrideThrough)
{
    logOn = 0;   // a log switched on later appends to the file, which open left alone
    Open();
    PutLog("before");
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    logOn = 1;
    ZemSerComSetBusy(port, 1);
    line.Queue("C");
    const int writes = line.writes, reads = line.reads, purges = line.purges;
    EXPECT_EQ(ZemSerComWrite(port, "abc", 3, 0), SERCOM_BUSY);
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_BUSY);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(ZemSerComRead(port, buffer, 3, 0), 0u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(line.writes, writes);
    EXPECT_EQ(line.reads, reads);
    EXPECT_EQ(line.purges, purges);
    EXPECT_EQ(Log(), "before");

    EXPECT_EQ(ZemSerComWrite(port, "\x01", 1, 1), SERCOM_DONE);
    EXPECT_EQ(ZemSerComRead(port, buffer, 1, 1), 1u);
    EXPECT_STREQ(buffer, "C");
    EXPECT_EQ(ZemSerComSendCmd(port, "u\r", 1), SERCOM_DONE);
    EXPECT_EQ(line.Written(), "l\r\n\x01u\r");
    EXPECT_EQ(Log(), "beforeVantorix Send:\r\n\x01Vantorix Read:\r\nCVantorix Send:\r\nu\r");
}

// A new log at every open; a failing read that still reports a byte, as a driver may, logs it as failed.
TEST_F(SerialPortTest, LogRecordsEveryTransferByteForByte)
{
    PutLog("an older session that must go");
    Open();
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    line.shortWrites = line.failWrites = 1;   // the first write fails, the next ends one byte short
    EXPECT_EQ(ZemSerComWrite(port, "lost", 4, 0), SERCOM_FAILED);
    EXPECT_EQ(ZemSerComWrite(port, "xyz", 3, 0), SERCOM_FAILED);
    char buffer[32];
    line.Queue(std::vector<unsigned char>{'o', 'k', 0, 0xFF});
    ZemSerComRead(port, buffer, 31, 0);
    ZemSerComRead(port, buffer, 31, 0);
    line.Queue("Q"), line.failReads = 1;
    EXPECT_EQ(ZemSerComRead(port, buffer, 31, 0), 1u);
    EXPECT_STREQ(buffer, "Q");
    EXPECT_EQ(Log(), std::string("Vantorix Log File\r\nVantorix Send:\r\nl\r\nVantorix Send:\r\nxyVantorix Read:\r\nok\0\xFF"
                                 "Vantorix Read:\r\nVantorix Read failed:\r\nQ", 116));
}

// Each failing step of an open gives back exactly what was saved so far and leaves the log alone.
TEST_F(SerialPortTest, FailedOpenRestoresOnlyWhatWasSaved)
{
    int ScriptedLine::*fails[] = {&ScriptedLine::failOpen, &ScriptedLine::failGetState, &ScriptedLine::failGetTimeouts,
                                  &ScriptedLine::failConfigure, &ScriptedLine::failSetTimeouts};
    const std::array<int, 3> restored[] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {1, 1, 1}};
    PutLog("previous");
    for (int i = 0; i < 5; i++) {
        line.stateRestored = line.timeoutsRestored = line.closes = 0;
        line.*fails[i] = 1;
        EXPECT_EQ(ZemSerComOpen("COM3", 9600), nullptr);
        line.*fails[i] = 0;
        EXPECT_EQ(Restored(), restored[i]) << i;
        EXPECT_EQ(Log(), "previous");
    }
}

// No log rather than a file under a truncated name.
TEST_F(SerialPortTest, LogPathThatDoesNotFitWritesNoLog)
{
    std::string prefix = dir.Prefix();
    while (prefix.size() < 500)
        prefix += std::string(std::min<size_t>(99, 500 - prefix.size()), 'd') + prefix.back();
    ASSERT_LT(prefix.size(), sizeof(TrafficLogPath));
    SetTrafficLogFolder(prefix.c_str());
    Open();
    EXPECT_STREQ(TrafficLogPath, "");
    ZemSerComWrite(port, "a", 1, 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}
