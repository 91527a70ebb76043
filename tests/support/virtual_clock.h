// A clock that moves only when the code under test sleeps or a scripted
// device lets a read time out, so protocol limits cost no real time.
#pragma once

#include <cstdint>

struct VirtualClock {
    uint32_t now = 0;
    uint64_t slept = 0;   // total ms passed to ZemSleep
};

// Installs the clock for ZemTickCount and ZemSleep; null restores the real one.
void InstallVirtualClock(VirtualClock* clock);
