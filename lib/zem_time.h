// Tick count and sleep. Every protocol timeout goes through these two, so a
// test can install a virtual clock and run a 10-second limit in no time.
#pragma once

#include <cstdint>

uint32_t ZemTickCount();           // milliseconds, wraps like GetTickCount
void ZemSleep(uint32_t ms);

// A clock installed by tests; null restores the platform clock.
struct ZemClock {
    uint32_t (*tickCount)(void* context);
    void (*sleep)(void* context, uint32_t ms);
    void* context;
};
void ZemSetClock(const ZemClock* clock);

// The platform clock, one file per backend.
uint32_t ZemPlatformTickCount();
void ZemPlatformSleep(uint32_t ms);
