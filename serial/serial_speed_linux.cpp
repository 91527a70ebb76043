// Any line speed through termios2: BOTHER in the flags and the rate as a
// number in c_ispeed and c_ospeed. The driver rounds to what its clock can
// make and reports that back.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cstring>

#include "serial/serial_speed.h"

// <sys/ioctl.h> would bring the C library's terminal records, which clash
// with the kernel's of <asm/termbits.h>.
extern "C" int ioctl(int fd, unsigned long request, ...);

static_assert(sizeof(termios2) <= sizeof(SerialLineRecord), "termios2 must fit the line record");

// A UART receives cleanly while the two ends differ by no more than about 2 %.
constexpr uint64_t SPEED_TOLERANCE_PERCENT = 2;

int SetLineSpeed(int fd, uint32_t baud, uint32_t* made)
{
    *made = 0;
    termios2 line;
    if (ioctl(fd, TCGETS2, &line) != 0)
        return 0;
    line.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    line.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    line.c_ispeed = baud;
    line.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &line) != 0 || ioctl(fd, TCGETS2, &line) != 0)
        return 0;
    *made = line.c_ospeed;
    uint64_t difference = line.c_ospeed > baud ? line.c_ospeed - baud : baud - line.c_ospeed;
    return difference * 100 <= baud * SPEED_TOLERANCE_PERCENT;
}

int SaveLineRecord(int fd, SerialLineRecord* record)
{
    termios2 line;
    if (ioctl(fd, TCGETS2, &line) != 0)
        return 0;
    memcpy(record->bytes, &line, sizeof(line));
    return 1;
}

void RestoreLineRecord(int fd, const SerialLineRecord* record)
{
    termios2 line;
    memcpy(&line, record->bytes, sizeof(line));
    ioctl(fd, TCSETS2, &line);
}
