// The tick count and sleep that protocol timeouts use, with a test clock.
#include "lib/zem_time.h"

static const ZemClock* installedClock;

void ZemSetClock(const ZemClock* clock)
{
    installedClock = clock;
}

uint32_t ZemTickCount()
{
    return installedClock ? installedClock->tickCount(installedClock->context) : ZemPlatformTickCount();
}

void ZemSleep(uint32_t ms)
{
    if (installedClock)
        installedClock->sleep(installedClock->context, ms);
    else
        ZemPlatformSleep(ms);
}
