// The platform side of the serial port: one implementation per backend
// (serial_device_win32.cpp, serial_device_posix.cpp) behind this table.
// Tests install a scripted device with SerialSetDevice.
#pragma once

#include <cstdint>

using SerialHandle = intptr_t;
constexpr SerialHandle SERIAL_INVALID_HANDLE = -1;

// Opaque room for the platform's settings records (DCB / termios and
// COMMTIMEOUTS / the read and write limits).
struct SerialSavedState { alignas(8) unsigned char bytes[128]; };
struct SerialSavedTimeouts { alignas(8) unsigned char bytes[32]; };

// How long one read waits: it ends at its count or this long after it began.
constexpr uint32_t SERIAL_READ_TIME_MS = 990;

struct SerialDevice {
    // Opens the device for exclusive, synchronous use; 1 and the handle, or 0.
    int (*open)(const char* name, SerialHandle* handle);
    int (*getState)(SerialHandle handle, SerialSavedState* state);
    int (*getTimeouts)(SerialHandle handle, SerialSavedTimeouts* timeouts);
    // 8N1 at the given speed with the DTR/RTS receive handshake.
    int (*configure)(SerialHandle handle, uint32_t baud);
    // A read ends at the count or about 990 ms after it began; a write within 10 s.
    int (*setTimeouts)(SerialHandle handle);
    void (*restoreState)(SerialHandle handle, const SerialSavedState* state);
    void (*restoreTimeouts)(SerialHandle handle, const SerialSavedTimeouts* timeouts);
    // Discards pending input and output.
    void (*purge)(SerialHandle handle);
    // 1 when the platform call succeeded (the count may still be short), else 0.
    int (*write)(SerialHandle handle, const void* bytes, uint32_t length, uint32_t* written);
    int (*read)(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got);
    void (*close)(SerialHandle handle);
    // Like read, but returns as soon as bytes are there, with what has arrived
    // (at most max): the wait for the first byte is the same read time.
    int (*readArrived)(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got);
    // How many bytes the driver holds that nobody has read yet, without
    // waiting. Null counts as none.
    uint32_t (*waiting)(SerialHandle handle);
    // 1 when the last failed transfer on the handle said that the device has
    // gone (a USB adapter unplugged, a line hung up): no later one can work.
    int (*gone)(SerialHandle handle);
};

extern const SerialDevice SerialPlatformDevice;

// Why the platform device's last configure refused its speed, in words
// ("the driver cannot make 56000 bit/s (it offers 57600 bit/s)"); "" when
// it did not, or when the platform leaves that to the system's error words.
const char* SerialSpeedProblem();

// Null restores the platform device.
void SerialSetDevice(const SerialDevice* device);
const SerialDevice* SerialGetDevice();
