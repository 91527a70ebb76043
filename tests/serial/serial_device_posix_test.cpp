// The POSIX serial device on a pty: the test holds the master and plays the controller.
#include <chrono>
#include <thread>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>

#include "serial/serial_port.h"
#include "tests/support/scratch_dir.h"

// line_speed_linux.cpp: the speed as the kernel keeps it, whether or not termios names it.
uint32_t LineSpeedOf(int fd);
int SetLineSpeedOf(int fd, uint32_t baud);

long MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

class SerialPtyTest : public testing::Test {
protected:
    int master = -1, slave = -1;   // the slave held by the test so its settings can be inspected
    std::string path;
    termios before{};
    SerialPort* port = nullptr;

    void SetUp() override
    {
        SerialSetDevice(nullptr);
        TrafficLogSwitch = nullptr;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        path = ttyname(slave);
        termios raw = Current(master);
        cfmakeraw(&raw);
        tcsetattr(master, TCSANOW, &raw);
        before = Current(slave);   // a cooked 9600 line, so that every change made by the open shows
        cfsetspeed(&before, B9600);
        before.c_lflag |= ICANON | ECHO;
        before.c_cc[VMIN] = 1, before.c_cc[VTIME] = 5;
        tcsetattr(slave, TCSANOW, &before);
        before = Current(slave);
    }
    void TearDown() override { port && ZemSerComClose(port), close(slave), close(master); }
    void Open() { ASSERT_NE(port = ZemSerComOpen(path.c_str(), 115200), nullptr); }
    static termios Current(int fd) { termios t{}; return tcgetattr(fd, &t), t; }
    bool Unchanged() const { termios t = Current(slave); return memcmp(&t, &before, sizeof(t)) == 0; }
    // TIOCGEXCL: 1 while the port is held for one user, 0 when not; -1 when the terminal does not say.
    int Exclusive() const
    {
        int exclusive = -1;
        return ioctl(slave, TIOCGEXCL, &exclusive) == 0 ? exclusive : -1;
    }
    void PeerSends(const char* text) const { ASSERT_EQ(write(master, text, strlen(text)), (ssize_t)strlen(text)); }
    std::string TakeFromMaster() const   // until the line is quiet
    {
        char buffer[256];
        ssize_t n = 0;
        pollfd p = {master, POLLIN, 0};
        return poll(&p, 1, 100) == 1 && (n = read(master, buffer, sizeof(buffer))) > 0 ? std::string(buffer, n) + TakeFromMaster() : "";
    }
};

TEST_F(SerialPtyTest, OpenSetsRaw8N1AndCloseRestoresThePreviousSettings)
{
    EXPECT_EQ(ZemSerComOpen(path.c_str(), 0), nullptr);   // speed 0 would hang the line up
    EXPECT_TRUE(Unchanged());
    Open();
    termios t = Current(slave);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD), static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    ZemSerComClose(port), port = nullptr;
    EXPECT_TRUE(Unchanged());
    char file[] = "/tmp/serial-not-a-port-XXXXXX";
    close(mkstemp(file));
    for (const char* other : {static_cast<const char*>(file), "/nonexistent/ttyS99", ""})
        EXPECT_EQ(ZemSerComOpen(other, 9600), nullptr) << other;
    unlink(file);
}

TEST_F(SerialPtyTest, HeldPortIsRefusedToOthersSendCmdPurgesAndReadsEndAtTheirCount)
{
    Open();
    EXPECT_EQ(Exclusive(), 1);
    EXPECT_EQ(ZemSerComOpen(path.c_str(), 115200), nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(ZemSerComOpen(path.c_str(), 115200) ? 1 : 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "another process got the port";   // exited with 0
    termios held = Current(slave);   // the refusals left the holder's line as it was
    EXPECT_EQ(cfgetospeed(&held), static_cast<speed_t>(B115200));
    EXPECT_EQ(ZemSerComWrite(port, "x", 1, 0), SERCOM_DONE);
    EXPECT_EQ(TakeFromMaster(), "x");
    ZemSerComClose(port);
    EXPECT_EQ(Exclusive(), 0);
    Open();   // again; a command discards earlier input, a read returns once its count arrived
    PeerSends("stale");
    pollfd p = {static_cast<int>(port->handle), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    EXPECT_EQ(ZemSerComSendCmd(port, "l\r\n", 0), SERCOM_DONE);
    EXPECT_EQ(TakeFromMaster(), "l\r\n");
    std::thread peer([this] {
        for (const char* piece : {"ab", "cdef"})
            std::this_thread::sleep_for(std::chrono::milliseconds(50)), PeerSends(piece);
    });
    char buffer[8];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ZemSerComRead(port, buffer, 4, 0), 4u);
    EXPECT_LT(MsSince(start), 600);
    peer.join();
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(ZemSerComRead(port, buffer, 2, 0), 2u);
    EXPECT_STREQ(buffer, "ef");
}

// Speeds without a termios constant are set as numbers, and a number found at open comes back at close.
TEST_F(SerialPtyTest, SpeedsWithoutAConstantAreSetAsNumbersAndRestored)
{
    for (uint32_t baud : {14400u, 56000u, 12345u}) {
        ASSERT_NE(port = ZemSerComOpen(path.c_str(), baud), nullptr) << baud;
        EXPECT_EQ(LineSpeedOf(slave), baud);
        ZemSerComClose(port), port = nullptr;
        EXPECT_EQ(LineSpeedOf(slave), 9600u) << baud;
    }
    ASSERT_TRUE(SetLineSpeedOf(slave, 56000));
    Open();
    EXPECT_EQ(LineSpeedOf(slave), 115200u);
    ZemSerComClose(port), port = nullptr;
    EXPECT_EQ(LineSpeedOf(slave), 56000u);
}

// The real waits of the suite: short reads end after about a second; on a hung-up line at once, with the line gone
// (the waits that would spin on it look at that and end).
TEST_F(SerialPtyTest, ShortReadsEndAfterAboutASecondAndAHungUpLineAtOnce)
{
    Open();
    for (const char* arrived : {"", "abc", "hung up"}) {
        int hungUp = arrived[0] == 'h', other = -1, otherSlave = -1;
        if (hungUp) {
            ASSERT_EQ(openpty(&other, &otherSlave, nullptr, nullptr, nullptr), 0);
            close(otherSlave);
            dup2(other, static_cast<int>(port->handle));
            close(other);
            errno = EAGAIN;   // left over from an earlier call: no reason to try again
        } else {
            PeerSends(arrived);
        }
        char buffer[8];
        uint32_t got = 99;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(SerialGetDevice()->read(port->handle, buffer, 7, &got), !hungUp);
        long ms = MsSince(start);
        EXPECT_EQ(got, hungUp ? 0 : strlen(arrived));
        // A line that hung up is gone: no later read can work, so none waits.
        EXPECT_EQ(SerialGetDevice()->gone(port->handle), hungUp);
        EXPECT_GE(ms, hungUp ? 0 : 800);
        EXPECT_LE(ms, hungUp ? 500 : 2500);
    }
}
