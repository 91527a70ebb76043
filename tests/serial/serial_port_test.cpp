// The port logic against a scripted line: the busy rule, purge before a
// command, the traffic log byte for byte, and the clean-up of a failed open.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/settings.h"
#include "serial/serial_port.h"
#include "tests/support/scripted_device.h"

namespace fs = std::filesystem;

static int failState, failTimeouts, failSetTimeouts, failRead;
static const SerialDevice* scripted;   // the scripted line, which the patches wrap
static SerialDevice patchedDevice;

static int PatchedGetState(SerialHandle handle, SerialSavedState* state)
{
    return failState ? 0 : scripted->getState(handle, state);
}
static int PatchedGetTimeouts(SerialHandle handle, SerialSavedTimeouts* timeouts)
{
    return failTimeouts ? 0 : scripted->getTimeouts(handle, timeouts);
}
static int PatchedSetTimeouts(SerialHandle handle)
{
    return failSetTimeouts ? 0 : scripted->setTimeouts(handle);
}
// A failing platform read that still reports one byte, as a driver may.
static int PatchedRead(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got)
{
    if (!failRead)
        return scripted->read(handle, buffer, max, got);
    static_cast<char*>(buffer)[0] = 'Q';
    *got = 1;
    return 0;
}

class SerialPortTest : public testing::Test {
protected:
    ScriptedLine line;
    SerialPort* port = nullptr;
    fs::path dir;

    void SetUp() override
    {
        InstallScriptedLine(&line);
        scripted = SerialGetDevice();
        patchedDevice = *scripted;
        patchedDevice.getState = PatchedGetState;
        patchedDevice.getTimeouts = PatchedGetTimeouts;
        patchedDevice.setTimeouts = PatchedSetTimeouts;
        patchedDevice.read = PatchedRead;
        SerialSetDevice(&patchedDevice);
        failState = failTimeouts = failSetTimeouts = failRead = 0;

        dir = fs::temp_directory_path() /
              ("serial-port-test-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        fs::create_directories(dir, ignored);
        std::string prefix = dir.string() + static_cast<char>(fs::path::preferred_separator);
        snprintf(ProgramDir, sizeof(ProgramDir), "%s", prefix.c_str());
        Settings.LogFile = 1;
    }

    void TearDown() override
    {
        if (port)
            ZemSerComClose(port);
        InstallScriptedLine(nullptr);
        Settings.LogFile = 0;
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    fs::path LogPath() const { return dir / "VantorixLog.txt"; }

    std::string Log() const
    {
        std::ifstream in(LogPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    void PutLog(const std::string& text) const
    {
        std::ofstream out(LogPath(), std::ios::binary);
        out << text;
    }

    void Open()
    {
        port = ZemSerComOpen("COM3", 115200);
        ASSERT_NE(port, nullptr);
    }
};

TEST_F(SerialPortTest, OpenUsesTheBaudAsGivenAndStartsWithAnEmptyLine)
{
    line.Queue("stale");
    Open();
    EXPECT_EQ(line.baud, 115200u);
    EXPECT_EQ(line.purges, 1);
    EXPECT_TRUE(line.pending.empty());
    EXPECT_EQ(std::string(TrafficLogPath), LogPath().string());
    EXPECT_EQ(ZemSerComIsBusy(port), 0);
}

TEST_F(SerialPortTest, CloseRestoresWhatOpenSaved)
{
    Open();
    EXPECT_EQ(ZemSerComClose(port), 1);
    port = nullptr;
    EXPECT_EQ(line.stateRestored, 1);
    EXPECT_EQ(line.timeoutsRestored, 1);
    EXPECT_EQ(line.closes, 1);
}

TEST_F(SerialPortTest, BusyPortRefusesOrdinaryCallers)
{
    PutLog("before");
    Settings.LogFile = 0;
    Open();
    Settings.LogFile = 1;
    ZemSerComSetBusy(port, 1);
    line.Queue("answer");
    int purges = line.purges;

    EXPECT_NE(ZemSerComIsBusy(port), 0);
    EXPECT_EQ(ZemSerComWrite(port, "abc", 3, 0), SERCOM_BUSY);
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_BUSY);
    char buffer[16];
    memset(buffer, 0x5A, sizeof(buffer));
    EXPECT_EQ(ZemSerComRead(port, buffer, 15, 0), 0u);

    for (char c : buffer)
        EXPECT_EQ(c, 0x5A);
    EXPECT_EQ(line.writes, 0);
    EXPECT_EQ(line.reads, 0);
    EXPECT_EQ(line.purges, purges);
    EXPECT_EQ(line.pending.size(), 6u);
    EXPECT_EQ(Log(), "before");
}

TEST_F(SerialPortTest, OverrideGoesAheadWhileBusy)
{
    Open();
    ZemSerComSetBusy(port, 1);
    EXPECT_EQ(ZemSerComSendCmd(port, "u\r", 1), SERCOM_DONE);
    EXPECT_EQ(ZemSerComWrite(port, "\x01", 1, 1), SERCOM_DONE);
    line.Queue("C");
    char buffer[4] = {};
    EXPECT_EQ(ZemSerComRead(port, buffer, 1, 1), 1u);
    EXPECT_STREQ(buffer, "C");
    EXPECT_EQ(std::string(line.written.begin(), line.written.end()), "u\r\x01");
    ZemSerComSetBusy(port, 0);
    EXPECT_EQ(ZemSerComIsBusy(port), 0);
}

TEST_F(SerialPortTest, NoPortIsNeverBusy)
{
    EXPECT_EQ(ZemSerComIsBusy(nullptr), 0);
}

TEST_F(SerialPortTest, SendCmdDiscardsStaleInputThenWritesExactlyTheText)
{
    Open();
    line.Queue("old answer");
    size_t pendingAtWrite = 99;
    line.onWrite = [&](ScriptedLine& l, const unsigned char*, uint32_t) { pendingAtWrite = l.pending.size(); };
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    EXPECT_EQ(pendingAtWrite, 0u);
    EXPECT_EQ(line.writes, 1);
    EXPECT_EQ(std::string(line.written.begin(), line.written.end()), "l\r\n");
}

TEST_F(SerialPortTest, FailedAndShortWritesReportTwo)
{
    Open();
    line.failWrites = 1;
    EXPECT_EQ(ZemSerComWrite(port, "abc", 3, 0), SERCOM_FAILED);
    line.shortWrites = 1;
    EXPECT_EQ(ZemSerComSendCmd(port, "d /a\r", 0), SERCOM_FAILED);
    EXPECT_EQ(ZemSerComWrite(port, "ok", 2, 0), SERCOM_DONE);
}

TEST_F(SerialPortTest, ReadStopsAtTheCountAndTerminates)
{
    Open();
    line.Queue("hello world");
    char buffer[8];
    memset(buffer, 0x5A, sizeof(buffer));
    EXPECT_EQ(ZemSerComRead(port, buffer, 5, 0), 5u);
    EXPECT_STREQ(buffer, "hello");
}

TEST_F(SerialPortTest, EmptyReadReturnsZeroAndTerminates)
{
    Open();
    char buffer[4] = {'x', 'y', 'z', 0};
    uint32_t before = line.clock.now;
    EXPECT_EQ(ZemSerComRead(port, buffer, 3, 0), 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(line.clock.now - before, 990u);
}

TEST_F(SerialPortTest, LogRecordsEveryTransferByteForByte)
{
    PutLog("an older session that must go");
    Open();
    EXPECT_EQ(Log(), "Vantorix Log File\r\n");

    std::string expected = "Vantorix Log File\r\n";
    ZemSerComSendCmd(port, "l\r\n", 0);
    expected += "Vantorix Send:\r\nl\r\n";
    line.shortWrites = 1;
    ZemSerComWrite(port, "xyz", 3, 0);
    expected += "Vantorix Send:\r\nxy";
    line.failWrites = 1;
    ZemSerComWrite(port, "lost", 4, 0);

    char buffer[32];
    line.Queue(std::vector<unsigned char>{'o', 'k', 0, 0xFF});
    ZemSerComRead(port, buffer, 31, 0);
    expected += std::string("Vantorix Read:\r\nok\0\xFF", 20);
    ZemSerComRead(port, buffer, 31, 0);
    expected += "Vantorix Read:\r\n";
    failRead = 1;
    EXPECT_EQ(ZemSerComRead(port, buffer, 31, 0), 1u);
    EXPECT_STREQ(buffer, "Q");
    expected += "Vantorix Read failed:\r\nQ";

    EXPECT_EQ(Log(), expected);
}

TEST_F(SerialPortTest, LogOffLeavesTheFileAlone)
{
    Settings.LogFile = 0;
    Open();
    ZemSerComSendCmd(port, "l\r\n", 0);
    char buffer[4];
    ZemSerComRead(port, buffer, 3, 0);
    EXPECT_FALSE(fs::exists(LogPath()));

    ZemSerComClose(port);
    port = nullptr;
    PutLog("kept");
    Open();
    ZemSerComWrite(port, "a", 1, 0);
    EXPECT_EQ(Log(), "kept");
}

TEST_F(SerialPortTest, SwitchingLogOnWhileConnectedAppends)
{
    Settings.LogFile = 0;
    Open();
    Settings.LogFile = 1;
    ZemSerComWrite(port, "a", 1, 0);
    EXPECT_EQ(Log(), "Vantorix Send:\r\na");

    PutLog("old");
    ZemSerComWrite(port, "b", 1, 0);
    EXPECT_EQ(Log(), "oldVantorix Send:\r\nb");
}

// Each failing step of an open: the device gets back exactly what had been
// saved so far, is closed if it was opened, and the log is not touched.
struct OpenFailure {
    const char* name;
    int* flag;            // the patched step to fail, or null
    int ScriptedLine::*lineFlag;
    int stateRestored, timeoutsRestored, closes;
};

TEST_F(SerialPortTest, FailedOpenRestoresOnlyWhatWasSaved)
{
    static const OpenFailure cases[] = {
        {"device open", nullptr, &ScriptedLine::failOpen, 0, 0, 0},
        {"settings read", &failState, nullptr, 0, 0, 1},
        {"timeouts read", &failTimeouts, nullptr, 1, 0, 1},
        {"settings write", nullptr, &ScriptedLine::failConfigure, 1, 1, 1},
        {"timeouts write", &failSetTimeouts, nullptr, 1, 1, 1},
    };
    for (const OpenFailure& c : cases) {
        SCOPED_TRACE(c.name);
        line.stateRestored = line.timeoutsRestored = line.closes = 0;
        failState = failTimeouts = failSetTimeouts = 0;
        line.failOpen = line.failConfigure = 0;
        if (c.flag)
            *c.flag = 1;
        else
            line.*c.lineFlag = 1;
        PutLog("previous");

        EXPECT_EQ(ZemSerComOpen("COM3", 9600), nullptr);
        EXPECT_EQ(line.stateRestored, c.stateRestored);
        EXPECT_EQ(line.timeoutsRestored, c.timeoutsRestored);
        EXPECT_EQ(line.closes, c.closes);
        EXPECT_EQ(Log(), "previous");
    }
}

// A program directory so long that the log's name would be cut off: no log,
// rather than a file under a truncated name.
TEST_F(SerialPortTest, LogPathThatDoesNotFitWritesNoLog)
{
    fs::path deep = dir;
    while (deep.string().size() < 500)
        deep /= std::string(std::min<size_t>(100, 500 - deep.string().size()), 'd');
    std::string prefix = deep.string() + static_cast<char>(fs::path::preferred_separator);
    ASSERT_LT(prefix.size(), sizeof(ProgramDir));
    snprintf(ProgramDir, sizeof(ProgramDir), "%s", prefix.c_str());

    Open();
    EXPECT_STREQ(TrafficLogPath, "");
    ZemSerComWrite(port, "a", 1, 0);
    char buffer[4];
    ZemSerComRead(port, buffer, 3, 0);
    EXPECT_TRUE(fs::is_empty(dir));
}
