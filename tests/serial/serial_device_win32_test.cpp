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

    port = ZemSerComOpen(PortName(), 57600);
    ASSERT_NE(port, nullptr);
    HANDLE h = reinterpret_cast<HANDLE>(port->handle);
    DCB dcb = {sizeof(dcb)};
    ASSERT_TRUE(GetCommState(h, &dcb));
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
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

TEST_F(SerialComTest, NoSuchPortGivesNone)
{
    EXPECT_EQ(ZemSerComOpen("COM9", 9600), nullptr);
    EXPECT_EQ(ZemSerComOpen("NOPORT", 9600), nullptr);
}

// Windows opens COM10 and above only by the device path.
TEST(SerialComName, PortNamesOpenAsDevicePaths)
{
    static std::string opened;
    auto* platform = SerialCreateFileA;
    SerialCreateFileA = [](LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
        opened = name;
        return INVALID_HANDLE_VALUE;
    };
    SerialSetDevice(nullptr);
    const std::pair<const char*, const char*> rows[] = {
        {"COM12", "\\\\.\\COM12"}, {"com3", "\\\\.\\com3"}, {"\\\\.\\COM7", "\\\\.\\COM7"},
        {"COM", "COM"}, {"COM1x", "COM1x"}};
    for (auto [typed, path] : rows) {
        EXPECT_EQ(ZemSerComOpen(typed, 9600), nullptr);
        EXPECT_EQ(opened, path);
    }
    SerialCreateFileA = platform;
}
