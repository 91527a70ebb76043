// Heap wrappers on the C allocator.
#include <cstdlib>
#include <cstring>
#include <malloc.h>

#include "lib/zem_lib.h"

static int libraryUp;

int ZemLibInit()
{
    libraryUp = 1;
    return 1;
}

void ZemLibExit()
{
    libraryUp = 0;
}

void* ZemMemAlloc(void** block, size_t size, unsigned flags)
{
    if (size == 0)
        size = 32;
    void* p = (flags & ZEM_ZERO_MEMORY) ? calloc(1, size) : malloc(size);
    if (p)
        *block = p;
    return p;
}

int ZemMemFree(void** block)
{
    if (*block) {
        free(*block);
        *block = nullptr;
    }
    return 1;
}

void* ZemMemReAlloc(void** block, size_t size, unsigned flags)
{
    if (size == 0)
        size = 32;
    size_t old = *block ? malloc_usable_size(*block) : 0;
    void* p = realloc(*block, size);
    if (!p)
        return nullptr;
    if ((flags & ZEM_ZERO_MEMORY) && size > old)
        memset(static_cast<char*>(p) + old, 0, size - old);
    *block = p;
    return p;
}

size_t ZemMemSize(const void* block)
{
    return malloc_usable_size(const_cast<void*>(block));
}
