// The speed the client set on its end of the terminal, as the kernel's
// termios2 record holds it: a speed set as a number (14400, 56000) has no
// termios constant. Its header clashes with <termios.h>, hence a file of its own.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include "sim/sim.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

uint32_t TerminalSpeed(int fd)
{
    termios2 line;
    return ioctl(fd, TCGETS2, &line) == 0 ? line.c_ospeed : 0;
}
