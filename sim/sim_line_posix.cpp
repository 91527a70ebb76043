// The simulator's end of the line: the master side of a pseudo-terminal.
// We keep a slave descriptor of our own open for the whole run, so the master
// never sees a hang-up while no client has the port open, and a client may
// close and reopen it at will.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "sim/sim.h"

static int MasterFd = -1;
static int SlaveFd = -1;
static char SlavePath[128];

static unsigned char InBuffer[4096];
static size_t InHead = 0;
static size_t InCount = 0;
static uint64_t InChunkUs = 0;    // when the buffered bytes came off the pty

// With --baud each direction is a line that carries one byte per 10 bit times.
static uint64_t RxFreeUs = 0;
static uint64_t TxFreeUs = 0;

// A client that stops reading must not block us forever.
constexpr uint64_t WRITE_STALL_LIMIT_US = 2000000;

static uint64_t ByteTimeUs()
{
    return Options.baud != 0 ? 10000000ull / Options.baud : 0;
}

static int MakeRaw(int fd)
{
    termios mode{};
    if (tcgetattr(fd, &mode) != 0)
        return 0;
    cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    cfsetispeed(&mode, B9600);
    cfsetospeed(&mode, B9600);
    return tcsetattr(fd, TCSANOW, &mode) == 0;
}

int LineOpen()
{
    MasterFd = posix_openpt(O_RDWR | O_NOCTTY);
    if (MasterFd < 0)
        return 0;
    if (grantpt(MasterFd) != 0 || unlockpt(MasterFd) != 0 || ptsname_r(MasterFd, SlavePath, sizeof SlavePath) != 0) {
        LineClose();
        return 0;
    }
    SlaveFd = open(SlavePath, O_RDWR | O_NOCTTY);
    if (SlaveFd < 0 || !MakeRaw(SlaveFd)) {
        LineClose();
        return 0;
    }
    fcntl(MasterFd, F_SETFL, fcntl(MasterFd, F_GETFL) | O_NONBLOCK);
    return 1;
}

uint32_t LineClientSpeed()
{
    // The terminal's settings are one record, whichever end's descriptor reads them.
    return SlaveFd >= 0 ? TerminalSpeed(SlaveFd) : 0;
}

void LineClose()
{
    if (SlaveFd >= 0)
        close(SlaveFd);
    if (MasterFd >= 0)
        close(MasterFd);
    SlaveFd = -1;
    MasterFd = -1;
}

// Closing the master throws away what the client has not read yet, so a
// last answer is given a moment to be fetched first. The kernel hands written
// bytes to the slave side a little later, hence the first pause.
void LineLinger(uint32_t maxMs)
{
    uint64_t end = SimNowUs() + static_cast<uint64_t>(maxMs) * 1000u;
    SimSleepMs(50);
    while (SlaveFd >= 0 && SimNowUs() < end && !SimStopRequested) {
        int pending = 0;
        if (ioctl(SlaveFd, FIONREAD, &pending) != 0 || pending == 0)
            return;
        SimSleepMs(10);
    }
}

int LineIsOpen()
{
    return MasterFd >= 0;
}

void LineHangUp()
{
    SimTrace("hanging up");
    LineLinger(1000);
    LineClose();
}

const char* LineSlavePath()
{
    return SlavePath;
}

// Waits up to waitMs for input and buffers what came; 0 on time-out.
static int FillInput(uint32_t waitMs)
{
    pollfd watch{MasterFd, POLLIN, 0};
    int ready = poll(&watch, 1, static_cast<int>(waitMs));
    if (ready <= 0)
        return 0;
    if ((watch.revents & POLLIN) != 0) {
        ssize_t got = read(MasterFd, InBuffer, sizeof InBuffer);
        if (got > 0) {
            InHead = 0;
            InCount = static_cast<size_t>(got);
            InChunkUs = SimNowUs();
            return 1;
        }
    }
    // No slave open (EIO, POLLHUP): cannot happen while we hold ours, but
    // never spin if it does.
    SimSleepMs(waitMs < 20 ? waitMs : 20);
    return 0;
}

int LineReadByte(uint32_t timeoutMs)
{
    uint64_t deadline = SimNowUs() + static_cast<uint64_t>(timeoutMs) * 1000u;
    for (;;) {
        if (SimStopRequested || MasterFd < 0)
            return LINE_STOP;
        if (InCount > 0) {
            int byte = InBuffer[InHead];
            InHead++;
            InCount--;
            uint64_t byteTime = ByteTimeUs();
            if (byteTime != 0) {
                RxFreeUs = (RxFreeUs > InChunkUs ? RxFreeUs : InChunkUs) + byteTime;
                SimSleepUntilUs(RxFreeUs);
            }
            return byte;
        }
        uint64_t now = SimNowUs();
        if (now >= deadline)
            return LINE_TIMEOUT;
        uint64_t leftMs = (deadline - now + 999) / 1000;
        FillInput(static_cast<uint32_t>(leftMs < 200 ? leftMs : 200));
    }
}

int LineWrite(const void* bytes, size_t count)
{
    const unsigned char* data = static_cast<const unsigned char*>(bytes);
    uint64_t byteTime = ByteTimeUs();
    uint64_t lastProgress = SimNowUs();
    size_t done = 0;
    while (done < count) {
        if (SimStopRequested || MasterFd < 0)
            return 0;
        size_t chunk = count - done;
        if (byteTime != 0) {
            // About 20 ms of line time a piece, each sent when the line is free.
            size_t perPiece = 20000 / byteTime;
            if (chunk > perPiece)
                chunk = perPiece != 0 ? perPiece : 1;
            SimSleepUntilUs(TxFreeUs);
        }
        ssize_t put = write(MasterFd, data + done, chunk);
        uint64_t now = SimNowUs();
        if (put > 0) {
            done += static_cast<size_t>(put);
            lastProgress = now;
            if (byteTime != 0)
                TxFreeUs = (TxFreeUs > now ? TxFreeUs : now) + static_cast<uint64_t>(put) * byteTime;
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR)
            return 0;
        if (now - lastProgress > WRITE_STALL_LIMIT_US) {
            SimTrace("client does not read: %zu bytes dropped", count - done);
            return 0;
        }
        pollfd watch{MasterFd, POLLOUT, 0};
        poll(&watch, 1, 100);
    }
    return 1;
}

int LineWriteText(const char* text)
{
    return LineWrite(text, std::strlen(text));
}

void LineDrain(uint32_t quietMs, uint32_t maxMs)
{
    uint64_t end = SimNowUs() + static_cast<uint64_t>(maxMs) * 1000u;
    while (SimNowUs() < end) {
        if (LineReadByte(quietMs) < 0)
            return;
    }
}
