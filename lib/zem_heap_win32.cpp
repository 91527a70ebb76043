// Heap wrappers on the process heap.
#include <windows.h>

#include "lib/zem_lib.h"

static HANDLE processHeap;

int ZemLibInit()
{
    processHeap = GetProcessHeap();
    if (!processHeap) {
        ZemLibExit();
        return 0;
    }
    return 1;
}

void ZemLibExit()
{
    processHeap = nullptr;
}

void* ZemMemAlloc(void** block, size_t size, unsigned flags)
{
    void* p = HeapAlloc(processHeap, flags, size ? size : 32);
    if (p)
        *block = p;
    return p;
}

int ZemMemFree(void** block)
{
    if (!*block)
        return 1;
    if (!HeapFree(processHeap, 0, *block))
        return 0;
    *block = nullptr;
    return 1;
}

void* ZemMemReAlloc(void** block, size_t size, unsigned flags)
{
    void* p = *block ? HeapReAlloc(processHeap, flags, *block, size ? size : 32)
                     : HeapAlloc(processHeap, flags, size ? size : 32);
    if (p)
        *block = p;
    return p;
}

size_t ZemMemSize(const void* block)
{
    return HeapSize(processHeap, 0, block);
}
