// Bytes that two threads share without a lock (the port's busy flag, the
// job's cancel request and result, the log switch). Atomic access keeps them
// free of data races while the fields stay plain bytes in their records; a
// store releases and a load acquires, so that what one thread did before it
// let the port go is done for the thread that finds the port free.
#pragma once

#include <atomic>
#include <cstdint>

inline unsigned char ZemLoadByte(const unsigned char* byte)
{
    return std::atomic_ref<unsigned char>(*const_cast<unsigned char*>(byte)).load(std::memory_order_acquire);
}
inline void ZemStoreByte(unsigned char* byte, unsigned char value)
{
    std::atomic_ref<unsigned char>(*byte).store(value, std::memory_order_release);
}
// A result is published once before the notice that announces it.
inline int32_t ZemLoadResult(const int32_t* value)
{
    return std::atomic_ref<int32_t>(*const_cast<int32_t*>(value)).load(std::memory_order_acquire);
}
inline void ZemStoreResult(int32_t* value, int32_t result)
{
    std::atomic_ref<int32_t>(*value).store(result, std::memory_order_release);
}
