// EntryArray: a growable array of fixed-size elements on the heap wrappers.
#include <cstring>

#include "lib/zem_lib.h"

EntryArray* ZemArrayCreate(uint32_t elementSize, uint32_t initialCount)
{
    EntryArray* array = nullptr;
    if (!ZemMemAllocAs(&array, sizeof(EntryArray), 0))
        return nullptr;
    if (!ZemArrayInit(array, elementSize, initialCount)) {
        ZemMemFreeAs(&array);
        return nullptr;
    }
    return array;
}

int ZemArrayInit(EntryArray* array, uint32_t elementSize, uint32_t initialCount)
{
    if (elementSize == 0)
        return 0;
    if (initialCount == 0)
        initialCount = 4;
    uint64_t bytes = static_cast<uint64_t>(elementSize) * initialCount;
    if (bytes > 0xFFFFFFFFu)
        return 0;
    array->data = nullptr;
    if (!ZemMemAllocAs(&array->data, static_cast<size_t>(bytes), 0))
        return 0;
    array->elementSize = elementSize;
    array->capacityBytes = static_cast<uint32_t>(bytes);
    array->growthBytes = 4 * elementSize;
    array->count = 0;
    return 1;
}

int ZemArrayReserve(EntryArray* array, uint32_t n)
{
    // 64-bit arithmetic: a count near the 32-bit limit must fail, not wrap.
    uint64_t needed = (static_cast<uint64_t>(array->count) + n) * array->elementSize;
    if (needed <= array->capacityBytes)
        return 1;
    uint64_t wanted = needed + array->growthBytes;
    if (wanted > 0xFFFFFFFFu)
        return 0;
    if (!ZemMemReAlloc(reinterpret_cast<void**>(&array->data), static_cast<size_t>(wanted), 0))
        return 0;
    size_t real = ZemMemSize(array->data);
    array->capacityBytes = real > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(real);
    return 1;
}

int ZemArrayInsert(EntryArray* array, const void* source, uint32_t position, uint32_t n)
{
    if (n == 0)
        return 1;
    if (!ZemArrayReserve(array, n))
        return 0;
    size_t size = array->elementSize;
    if (position < array->count) {
        memmove(array->data + (static_cast<size_t>(position) + n) * size,
                array->data + static_cast<size_t>(position) * size,
                static_cast<size_t>(array->count - position) * size);
    } else {
        position = array->count;
    }
    if (source)
        memcpy(array->data + static_cast<size_t>(position) * size, source, static_cast<size_t>(n) * size);
    array->count += n;
    return 1;
}

int ZemArrayClear(EntryArray* array)
{
    array->count = 0;
    return 1;
}

void ZemArrayDestroy(EntryArray* array)
{
    if (!array)
        return;
    ZemMemFreeAs(&array->data);
    ZemMemFreeAs(&array);
}
