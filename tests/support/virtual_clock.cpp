#include "tests/support/virtual_clock.h"

#include "lib/zem_time.h"

static uint32_t Tick(void* context)
{
    return static_cast<VirtualClock*>(context)->now;
}

static void Sleep(void* context, uint32_t ms)
{
    auto* clock = static_cast<VirtualClock*>(context);
    clock->now += ms;
    clock->slept += ms;
}

void InstallVirtualClock(VirtualClock* clock)
{
    static ZemClock installed;
    if (!clock) {
        ZemSetClock(nullptr);
        return;
    }
    installed = ZemClock{Tick, Sleep, clock};
    ZemSetClock(&installed);
}
