// Monotonic time and the optional trace on stderr.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "sim/sim.h"

volatile int SimStopRequested = 0;

uint64_t SimNowUs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void SimSleepUntilUs(uint64_t when)
{
    for (;;) {
        uint64_t now = SimNowUs();
        if (now >= when || SimStopRequested)
            return;
        uint64_t left = when - now;
        timespec pause{static_cast<time_t>(left / 1000000u), static_cast<long>((left % 1000000u) * 1000u)};
        nanosleep(&pause, nullptr);
    }
}

void SimSleepMs(uint32_t ms)
{
    SimSleepUntilUs(SimNowUs() + static_cast<uint64_t>(ms) * 1000u);
}

void SimTrace(const char* format, ...)
{
    if (!Options.verbose)
        return;
    int saved = errno;
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "vantorix-sim: ");
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    errno = saved;
}
