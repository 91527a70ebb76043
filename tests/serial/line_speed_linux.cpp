// The kernel's own record of a terminal's speed, read and set as a number
// (termios2); its header clashes with <termios.h>, hence a file of its own.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cstdint>

extern "C" int ioctl(int fd, unsigned long request, ...);

uint32_t LineSpeedOf(int fd)
{
    termios2 line;
    return ioctl(fd, TCGETS2, &line) == 0 ? line.c_ospeed : 0;
}

int SetLineSpeedOf(int fd, uint32_t baud)
{
    termios2 line;
    if (ioctl(fd, TCGETS2, &line) != 0)
        return 0;
    line.c_cflag = (line.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | BOTHER;
    line.c_ospeed = line.c_ispeed = baud;
    return ioctl(fd, TCSETS2, &line) == 0;
}
