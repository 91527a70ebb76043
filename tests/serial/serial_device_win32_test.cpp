// The Win32 serial device on a COM port with a pty peer (scripts/with-pty-peer.py answers "l\r\n" with the
// line settings and the count of bytes it got), and on a driver table that shows what Wine would hide.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/serial_device_win32.h"
#include "serial/serial_port.h"
#include "tests/support/rows.h"

namespace {

const std::string Port = getenv("VBROWSER_COM") ? getenv("VBROWSER_COM") : "";

// The port's settings as the driver reports them; with `left`, first set as an earlier program left them.
DCB PortState(const DCB* left = nullptr)
{
    DCB dcb = left ? *left : DCB{};
    HANDLE h = CreateFileA(Port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (left) {
        EXPECT_TRUE(SetCommState(h, &dcb));
    }
    EXPECT_TRUE(GetCommState(h, &dcb));
    CloseHandle(h);
    return dcb;
}

class SerialCom : public testing::Test {
protected:
    void SetUp() override
    {
        // CI runs this binary only through the peer, so there a missing port is a fault, not a reason to skip.
        if (Port.empty() && std::string(getenv("CI") ? getenv("CI") : "") == "true")
            FAIL() << "VBROWSER_COM is not set: run through scripts/with-pty-peer.py";
        if (Port.empty())
            GTEST_SKIP() << "skipped: VBROWSER_COM is not set; run through scripts/with-pty-peer.py";
        SerialSetDevice(nullptr);
        TrafficLogSwitch = nullptr;
    }
    void TearDown() override { ZemSerComClose(port); }
    SerialPort* port = nullptr;
};

TEST_F(SerialCom, OpenSetsTheControllerLineAndCloseRestoresIt)
{
    DCB before = PortState();
    ASSERT_NE(before.BaudRate, 57600u);
    before.fOutX = before.fInX = 1;   // Wine keeps these as IXON and IXOFF on the pty
    PortState(&before);
    ASSERT_NE(port = ZemSerComOpen(Port.c_str(), 57600), nullptr);
    DCB dcb{};
    COMMTIMEOUTS t, wanted = {990, 0, 990, 0, 10000};
    ASSERT_TRUE(GetCommState(HANDLE(port->handle), &dcb));
    ASSERT_TRUE(GetCommTimeouts(HANDLE(port->handle), &t));
    EXPECT_EQ(memcmp(&t, &wanted, sizeof(t)), 0);
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    // The peer's view of the line, and proof that the command came alone; it answers at once.
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    char answer[64] = "";
    DWORD start = GetTickCount();
    EXPECT_EQ(ZemSerComRead(port, answer, 13, 0), 13u);
    EXPECT_LT(GetTickCount() - start, 700u);
    EXPECT_STREQ(answer, "57600 8N1 3\r\n");
    ZemSerComClose(port);
    port = nullptr;
    DCB after = PortState();
    EXPECT_EQ(after.BaudRate, before.BaudRate);
    EXPECT_EQ(after.ByteSize, before.ByteSize);
    EXPECT_EQ(after.fOutX, 1u);
    EXPECT_EQ(after.fInX, 1u);
    EXPECT_EQ(ZemSerComOpen("COM9", 9600), nullptr);   // nothing there
}

// A driver reporting what the last user left, whose transfers fail and that only records the name opened.
DCB leftState, writtenState;
int errorClears;
std::string opened;
// On 32-bit Windows the driver calls are __stdcall (WINAPI), which lambdas are not.
BOOL WINAPI GetLeftState(HANDLE, LPDCB dcb)
{
    return *dcb = leftState, TRUE;
}
BOOL WINAPI RecordState(HANDLE, LPDCB dcb)
{
    return writtenState = *dcb, TRUE;
}
BOOL WINAPI CountErrorClear(HANDLE, LPDWORD, LPCOMSTAT)
{
    return ++errorClears, TRUE;
}
DWORD transferError = ERROR_GEN_FAILURE;   // what a failed read or write leaves in GetLastError
BOOL WINAPI FailRead(HANDLE, LPVOID, DWORD, LPDWORD got, LPOVERLAPPED)
{
    SetLastError(transferError);
    return *got = 0, FALSE;
}
BOOL WINAPI FailWrite(HANDLE, LPCVOID, DWORD, LPDWORD put, LPOVERLAPPED)
{
    SetLastError(transferError);
    return *put = 0, FALSE;
}
HANDLE WINAPI RecordOpen(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    return opened = name, INVALID_HANDLE_VALUE;
}
const SerialWin32Calls FakeDriver = {GetLeftState, RecordState, CountErrorClear, FailRead, FailWrite, RecordOpen};

TEST(SerialWin32Driver, SettingsLeftByAnotherProgramAreMadeSafeForBinaryData)
{
    leftState.DCBlength = sizeof(DCB);
    leftState.fParity = leftState.fOutX = leftState.fInX = leftState.fNull = 1;
    leftState.fErrorChar = leftState.fAbortOnError = leftState.fOutxCtsFlow = leftState.fTXContinueOnXoff = 1;
    leftState.XonChar = leftState.XoffChar = 0x13;
    leftState.XonLim = 77;
    leftState.EofChar = 0x1A;
    SerialWin32SetCalls(&FakeDriver);
    const SerialDevice& device = SerialPlatformDevice;
    EXPECT_EQ(device.configure(1, 57600), 1);
    EXPECT_EQ(errorClears, 1);   // after open, and after each failed transfer
    char byte;
    uint32_t count;
    EXPECT_EQ(device.read(1, &byte, 1, &count), 0);
    EXPECT_EQ(device.write(1, &byte, 1, &count), 0);
    EXPECT_EQ(errorClears, 3);
    DCB wanted = leftState;
    wanted.BaudRate = 57600;
    wanted.ByteSize = 8;
    wanted.fDtrControl = wanted.fRtsControl = 2;   // the handshake
    wanted.fBinary = 1;
    wanted.fParity = wanted.fOutX = wanted.fInX = wanted.fNull = wanted.fErrorChar = wanted.fAbortOnError = 0;
    wanted.fOutxCtsFlow = 0;   // a 3-wire cable carries no CTS
    wanted.XonChar = 0x11;
    EXPECT_EQ(writtenState.fOutxCtsFlow, 0u);
    EXPECT_EQ(memcmp(&writtenState, &wanted, sizeof(DCB)), 0);
    // The close gives back what was there, CTS flow control included.
    SerialSavedState saved;
    ASSERT_EQ(device.getState(1, &saved), 1);
    device.restoreState(1, &saved);
    EXPECT_EQ(writtenState.fOutxCtsFlow, 1u);
    EXPECT_EQ(memcmp(&writtenState, &leftState, sizeof(DCB)), 0);
    // Windows opens COM10 and above only by the device path.
    SerialSetDevice(nullptr);
    for (auto [typed, path] : {std::pair{"COM12", "\\\\.\\COM12"}, {"com3", "\\\\.\\com3"},
                               {"\\\\.\\COM7", "\\\\.\\COM7"}, {"COM", "COM"}, {"COM1x", "COM1x"}}) {
        EXPECT_EQ(ZemSerComOpen(typed, 9600), nullptr);
        EXPECT_EQ(opened, path);
    }
    SerialWin32SetCalls(nullptr);
}

// The errors that say the device has gone, whichever transfer meets them.
TEST(SerialWin32Driver, ErrorsOfADeviceThatHasGone)
{
    SerialWin32SetCalls(&FakeDriver);
    const SerialDevice& device = SerialPlatformDevice;
    char byte = 0;
    uint32_t count;
    for (const Row& row : ReadRows("serial/device_gone.rows", {{"", 2, 2}})) {
        SCOPED_TRACE(row.Where());
        transferError = std::stoul(row[0]);
        EXPECT_EQ(device.read(1, &byte, 1, &count), 0);
        EXPECT_EQ(device.gone(1), std::stoi(row[1]));
        EXPECT_EQ(device.write(2, &byte, 1, &count), 0);
        EXPECT_EQ(device.gone(2), std::stoi(row[1]));
    }
    SerialWin32SetCalls(nullptr);
}

}  // namespace
