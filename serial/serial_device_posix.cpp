// The serial device on a POSIX terminal. The handle is the file descriptor,
// kept non-blocking so that poll with a deadline bounds every read and write.
//
// How the controller's line settings map onto termios:
// - device path: the port name as typed ("/dev/ttyUSB0", a pty slave ...).
// - exclusive use: TIOCEXCL refuses further opens of the tty by other users,
//   and an advisory flock refuses them for everyone, root included, and for a
//   second open inside the same process. Close gives up both.
// - 8N1 raw: cfmakeraw, CS8, CLOCAL | CREAD, no parity, one stop bit, no
//   XON/XOFF (the upload sends binary data).
// - receive handshake: DTR and RTS are asserted and stay up; CRTSCTS is not
//   set because it would also gate our output on CTS and stall a line that
//   lacks the wires. The terminal's own input buffer takes the place of the
//   flow-control stop.
// - speed: the speeds that termios names are set through it; any other
//   (14400, 56000 ...) as a number through the kernel's termios2
//   (serial_speed_linux.cpp). A speed the driver cannot make within 2 %
//   refuses the open, so the line never runs at a rate nobody asked for.
//   The kernel's whole line record is saved beside the termios, so that a
//   speed set as a number comes back at close as well.
// - read: ends when the count has arrived or 990 ms after it began, with
//   whatever arrived (a read of what has arrived ends with the first bytes);
//   write: ends within 10 s, short if the line did not take everything.
//   VMIN and VTIME stand in for the saved timeouts and are set to 0 so the
//   driver never waits on its own.
// - purge: tcflush of both directions.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "serial/serial_device.h"
#include "serial/serial_speed.h"

// The settings found at open: the C library's view and the kernel's record with the speeds.
struct SavedLine {
    termios modes;
    SerialLineRecord record;
    int recordSaved;
};
static_assert(sizeof(SavedLine) <= sizeof(SerialSavedState), "the saved line must fit the saved state");

// Why the last configure refused its speed, for SerialSpeedProblem.
static char speedProblem[128];

constexpr int WRITE_LIMIT_MS = 10000;

// The read-timing fields of termios, saved and restored like the timeouts of a COM port.
struct SavedReadTiming {
    cc_t vmin;
    cc_t vtime;
};
static_assert(sizeof(SavedReadTiming) <= sizeof(SerialSavedTimeouts), "read timing must fit the saved timeouts");

struct SpeedName {
    uint32_t baud;
    speed_t speed;
};

static const SpeedName speeds[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
};

static int FindSpeed(uint32_t baud, speed_t* speed)
{
    for (const SpeedName& s : speeds) {
        if (s.baud == baud) {
            *speed = s.speed;
            return 1;
        }
    }
    return 0;
}

static int64_t MonotonicMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits for the event until the deadline; 1 when it came, 0 at the deadline,
// -1 when the line failed or hung up without the event.
static int WaitFor(int fd, short event, int64_t deadline)
{
    for (;;) {
        int64_t left = deadline - MonotonicMs();
        if (left <= 0)
            return 0;
        pollfd p = {fd, event, 0};
        int n = poll(&p, 1, static_cast<int>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            return 0;
        if (p.revents & event)
            return 1;
        return -1;
    }
}

// The descriptor whose last failed transfer said that its device has gone:
// a USB adapter unplugged (EIO, ENXIO, ENODEV) or a line that hung up.
static int goneFd = -1;

static int ErrnoMeansGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

static int GonePosix(SerialHandle handle)
{
    return goneFd >= 0 && static_cast<int>(handle) == goneFd;
}

static int OpenPosix(const char* name, SerialHandle* handle)
{
    // Non-blocking, so the open does not wait for a carrier that CLOCAL will ignore.
    int fd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        close(fd);
        return 0;
    }
    if (fd == goneFd)
        goneFd = -1;   // a new device under a descriptor number used before
    *handle = fd;
    return 1;
}

static int GetStatePosix(SerialHandle handle, SerialSavedState* state)
{
    SavedLine saved{};
    if (tcgetattr(static_cast<int>(handle), &saved.modes) != 0)
        return 0;
    saved.recordSaved = SaveLineRecord(static_cast<int>(handle), &saved.record);
    memcpy(state->bytes, &saved, sizeof(saved));
    return 1;
}

static int GetTimeoutsPosix(SerialHandle handle, SerialSavedTimeouts* timeouts)
{
    termios t;
    if (tcgetattr(static_cast<int>(handle), &t) != 0)
        return 0;
    SavedReadTiming timing = {t.c_cc[VMIN], t.c_cc[VTIME]};
    memcpy(timeouts->bytes, &timing, sizeof(timing));
    return 1;
}

const char* SerialSpeedProblem()
{
    return speedProblem;
}

// Sets a speed that termios has no name for; 0 with the reason kept in words.
static int SetNumberedSpeed(int fd, uint32_t baud)
{
    uint32_t made = 0;
    if (SetLineSpeed(fd, baud, &made))
        return 1;
    if (made)
        snprintf(speedProblem, sizeof(speedProblem), "the driver cannot make %lu bit/s (it offers %lu bit/s)",
                 static_cast<unsigned long>(baud), static_cast<unsigned long>(made));
    else
        snprintf(speedProblem, sizeof(speedProblem), "the driver refused a speed of %lu bit/s: %s",
                 static_cast<unsigned long>(baud), strerror(errno));
    return 0;
}

static int ConfigurePosix(SerialHandle handle, uint32_t baud)
{
    int fd = static_cast<int>(handle);
    speedProblem[0] = 0;
    // Speed 0 would hang the line up.
    if (baud == 0)
        return 0;
    speed_t speed;
    int named = FindSpeed(baud, &speed);
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return 0;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (named && (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0))
        return 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return 0;
    if (!named && !SetNumberedSpeed(fd, baud))
        return 0;
    // A pseudo-terminal has no modem lines; that is no reason to refuse it.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    return 1;
}

static int SetTimeoutsPosix(SerialHandle handle)
{
    int fd = static_cast<int>(handle);
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return 0;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

static void RestoreStatePosix(SerialHandle handle, const SerialSavedState* state)
{
    SavedLine saved;
    memcpy(&saved, state->bytes, sizeof(saved));
    tcsetattr(static_cast<int>(handle), TCSANOW, &saved.modes);
    if (saved.recordSaved)
        RestoreLineRecord(static_cast<int>(handle), &saved.record);
}

static void RestoreTimeoutsPosix(SerialHandle handle, const SerialSavedTimeouts* timeouts)
{
    int fd = static_cast<int>(handle);
    SavedReadTiming timing;
    memcpy(&timing, timeouts->bytes, sizeof(timing));
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return;
    t.c_cc[VMIN] = timing.vmin;
    t.c_cc[VTIME] = timing.vtime;
    tcsetattr(fd, TCSANOW, &t);
}

static void PurgePosix(SerialHandle handle)
{
    tcflush(static_cast<int>(handle), TCIOFLUSH);
}

static int WritePosix(SerialHandle handle, const void* bytes, uint32_t length, uint32_t* written)
{
    int fd = static_cast<int>(handle);
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    int64_t deadline = MonotonicMs() + WRITE_LIMIT_MS;
    uint32_t done = 0;
    *written = 0;
    while (done < length) {
        ssize_t n = write(fd, p + done, length - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            goneFd = ErrnoMeansGone(errno) ? fd : goneFd;
            *written = done;
            return 0;
        }
        int ready = WaitFor(fd, POLLOUT, deadline);
        if (ready < 0) {
            goneFd = fd;   // hung up
            *written = done;
            return 0;
        }
        if (ready == 0)
            break;   // the time is up: the write ends short
    }
    *written = done;
    return 1;
}

static void WaitOutDeadline(int64_t deadline)
{
    for (int64_t left = deadline - MonotonicMs(); left > 0; left = deadline - MonotonicMs()) {
        timespec wait{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000L};
        nanosleep(&wait, nullptr);
    }
}

// Reads until the count has arrived or, when whole is 0, until anything has;
// at the latest until the read time is over.
static int ReadUntil(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got, int whole)
{
    int fd = static_cast<int>(handle);
    unsigned char* p = static_cast<unsigned char*>(buffer);
    int64_t deadline = MonotonicMs() + SERIAL_READ_TIME_MS;
    uint32_t done = 0;
    *got = 0;
    while (done < max && (whole || done == 0)) {
        int ready = WaitFor(fd, POLLIN, deadline);
        if (ready == 0)
            break;
        // A hang-up or error without input fails whatever errno still holds.
        ssize_t n = ready > 0 ? read(fd, p + done, max - done) : -1;
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (ready > 0 && n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        // A hang-up, end of file on a line that reported input, or an error
        // of a device that has gone: no later read can work, and the callers
        // stop at once. Any other error still lasts the read's full time, so
        // that a caller polling byte by byte until its own limit waits
        // instead of spinning.
        if (ready < 0 || n == 0 || ErrnoMeansGone(errno))
            goneFd = fd;
        else
            WaitOutDeadline(deadline);
        *got = done;
        return 0;
    }
    *got = done;
    return 1;
}

static int ReadPosix(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got)
{
    return ReadUntil(handle, buffer, max, got, 1);
}

static int ReadArrivedPosix(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got)
{
    return ReadUntil(handle, buffer, max, got, 0);
}

static uint32_t WaitingPosix(SerialHandle handle)
{
    int count = 0;
    return ioctl(static_cast<int>(handle), FIONREAD, &count) == 0 && count > 0 ? static_cast<uint32_t>(count) : 0;
}

static void ClosePosix(SerialHandle handle)
{
    int fd = static_cast<int>(handle);
    // The exclusive flag belongs to the tty, not to this descriptor, and
    // would outlive the close while anyone else keeps the tty open.
    ioctl(fd, TIOCNXCL);
    close(fd);
}

const SerialDevice SerialPlatformDevice = {
    OpenPosix,  GetStatePosix, GetTimeoutsPosix, ConfigurePosix, SetTimeoutsPosix, RestoreStatePosix,
    RestoreTimeoutsPosix, PurgePosix, WritePosix, ReadPosix, ClosePosix, ReadArrivedPosix, WaitingPosix,
    GonePosix,
};
