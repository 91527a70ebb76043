#include <windows.h>

#include "lib/zem_time.h"

uint32_t ZemPlatformTickCount()
{
    return GetTickCount();
}

void ZemPlatformSleep(uint32_t ms)
{
    Sleep(ms);
}
