// The Win32 serial device on a COM port whose far end is a peer on a
// pseudo-terminal (scripts/with-pty-peer.py). The peer answers "l\r\n" with
// the line settings it sees and the number of bytes it has received, and
// "p\r\n" with "abc".
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "app/settings.h"
#include "serial/serial_device_win32.h"
#include "serial/serial_port.h"

static const char* PortName()
{
    const char* name = getenv("VBROWSER_COM");
    return name ? name : "";
}

// What the driver reports for the port when nobody has configured it.
static DCB ReadStateDirectly()
{
    DCB dcb = {sizeof(dcb)};
    HANDLE h = CreateFileA(PortName(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(GetCommState(h, &dcb));
        CloseHandle(h);
    }
    return dcb;
}

// What an earlier program left on the port.
static void LeaveState(const DCB& left)
{
    HANDLE h = CreateFileA(PortName(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB dcb = left;
    EXPECT_TRUE(SetCommState(h, &dcb));
    CloseHandle(h);
}

class SerialComTest : public testing::Test {
protected:
    SerialPort* port = nullptr;

    void SetUp() override
    {
        if (!*PortName())
            GTEST_SKIP() << "needs a peer: run through scripts/with-pty-peer.py";
        SerialSetDevice(nullptr);
        Settings.LogFile = 0;
    }

    void TearDown() override
    {
        if (port)
            ZemSerComClose(port);
    }
};

TEST_F(SerialComTest, OpenSetsTheControllerLineAndCloseRestoresIt)
{
    DCB before = ReadStateDirectly();
    ASSERT_NE(before.BaudRate, 57600u);
    before.fOutX = before.fInX = 1;   // Wine keeps these as IXON and IXOFF on the pty
    LeaveState(before);

    port = ZemSerComOpen(PortName(), 57600);
    ASSERT_NE(port, nullptr);
    HANDLE h = reinterpret_cast<HANDLE>(port->handle);
    DCB dcb = {sizeof(dcb)};
    ASSERT_TRUE(GetCommState(h, &dcb));
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutX + dcb.fInX, 0u);
    COMMTIMEOUTS t;
    ASSERT_TRUE(GetCommTimeouts(h, &t));
    const COMMTIMEOUTS wanted = {990, 0, 990, 0, 10000};
    EXPECT_EQ(memcmp(&t, &wanted, sizeof(t)), 0);

    // The peer's view of the line, and proof that the command came alone.
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    const char expected[] = "57600 8N1 3\r\n";
    char answer[64];
    DWORD start = GetTickCount();
    EXPECT_EQ(ZemSerComRead(port, answer, sizeof(expected) - 1, 0), sizeof(expected) - 1);
    EXPECT_LT(GetTickCount() - start, 700u);
    EXPECT_STREQ(answer, expected);

    ZemSerComClose(port);
    port = nullptr;
    DCB after = ReadStateDirectly();
    EXPECT_EQ(after.BaudRate, before.BaudRate);
    EXPECT_EQ(after.ByteSize, before.ByteSize);
    EXPECT_EQ(after.fOutX + after.fInX, 2u);
}

TEST_F(SerialComTest, ReadsEndAfterAboutASecondWithWhateverArrived)
{
    port = ZemSerComOpen(PortName(), 9600);
    ASSERT_NE(port, nullptr);
    for (const char* arrived : {"", "abc"}) {
        if (*arrived)
            EXPECT_EQ(ZemSerComSendCmd(port, "p\r\n", 0), SERCOM_DONE);   // the peer answers "abc"
        char buffer[128];
        memset(buffer, 'x', sizeof(buffer));
        DWORD start = GetTickCount();
        EXPECT_EQ(ZemSerComRead(port, buffer, 100, 0), strlen(arrived));
        DWORD ms = GetTickCount() - start;
        EXPECT_STREQ(buffer, arrived);
        EXPECT_GE(ms, 800u);
        EXPECT_LE(ms, 2500u);
    }
}

// A driver that reports what the port's last user left and whose transfers fail.
static DCB leftState, writtenState;
static int errorClears;

TEST(SerialWin32Driver, SettingsLeftByAnotherProgramAreMadeSafeForBinaryData)
{
    static const SerialWin32Calls driver = {
        [](HANDLE, LPDCB dcb) -> BOOL { return *dcb = leftState, TRUE; },
        [](HANDLE, LPDCB dcb) -> BOOL { return writtenState = *dcb, TRUE; },
        [](HANDLE, LPDWORD, LPCOMSTAT) -> BOOL { return ++errorClears, TRUE; },
        [](HANDLE, LPVOID, DWORD, LPDWORD got, LPOVERLAPPED) -> BOOL { return *got = 0, FALSE; },
        [](HANDLE, LPCVOID, DWORD, LPDWORD put, LPOVERLAPPED) -> BOOL { return *put = 0, FALSE; },
    };
    leftState = DCB();
    leftState.DCBlength = sizeof(DCB);
    leftState.fParity = leftState.fOutX = leftState.fInX = leftState.fNull = 1;
    leftState.fErrorChar = leftState.fAbortOnError = leftState.fOutxCtsFlow = leftState.fTXContinueOnXoff = 1;
    leftState.XonChar = leftState.XoffChar = 0x13;
    leftState.XonLim = 77;
    leftState.EofChar = 0x1A;
    SerialWin32SetCalls(&driver);
    const SerialDevice& device = SerialPlatformDevice;
    EXPECT_EQ(device.configure(1, 57600), 1);
    EXPECT_EQ(errorClears, 1);
    char byte;
    uint32_t count;
    EXPECT_EQ(device.read(1, &byte, 1, &count), 0);
    EXPECT_EQ(device.write(1, &byte, 1, &count), 0);
    EXPECT_EQ(errorClears, 3);
    SerialWin32SetCalls(nullptr);

    DCB wanted = leftState;
    wanted.BaudRate = 57600;
    wanted.ByteSize = 8;
    wanted.fDtrControl = wanted.fRtsControl = 2;   // the handshake
    wanted.fBinary = 1;
    wanted.fParity = wanted.fOutX = wanted.fInX = wanted.fNull = wanted.fErrorChar = wanted.fAbortOnError = 0;
    wanted.XonChar = 0x11;
    EXPECT_EQ(memcmp(&writtenState, &wanted, sizeof(DCB)), 0);
}

TEST_F(SerialComTest, NoSuchPortGivesNone)
{
    EXPECT_EQ(ZemSerComOpen("COM9", 9600), nullptr);
    EXPECT_EQ(ZemSerComOpen("NOPORT", 9600), nullptr);
}

// Windows opens COM10 and above only by the device path.
TEST(SerialComName, PortNamesOpenAsDevicePaths)
{
    static std::string opened;
    static const SerialWin32Calls driver = {
        GetCommState, SetCommState, ClearCommError, ReadFile, WriteFile,
        [](LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
            opened = name;
            return INVALID_HANDLE_VALUE;
        }};
    SerialWin32SetCalls(&driver);
    SerialSetDevice(nullptr);
    const std::pair<const char*, const char*> rows[] = {
        {"COM12", "\\\\.\\COM12"}, {"com3", "\\\\.\\com3"}, {"\\\\.\\COM7", "\\\\.\\COM7"},
        {"COM", "COM"}, {"COM1x", "COM1x"}};
    for (auto [typed, path] : rows) {
        EXPECT_EQ(ZemSerComOpen(typed, 9600), nullptr);
        EXPECT_EQ(opened, path);
    }
    SerialWin32SetCalls(nullptr);
}
