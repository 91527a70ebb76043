// The port logic shared by every platform: the busy rule, purge before a
// command, the traffic log and the clean-up path of an open.
#include <cstdio>
#include <cstring>

#include "lib/zem_lib.h"
#include "lib/zem_shared.h"
#include "serial/serial_port.h"

char TrafficLogPath[512];
const signed char* TrafficLogSwitch;

static const SerialDevice* currentDevice = &SerialPlatformDevice;

void SerialSetDevice(const SerialDevice* device)
{
    currentDevice = device ? device : &SerialPlatformDevice;
}

const SerialDevice* SerialGetDevice()
{
    return currentDevice;
}

// The log switch is read live, so a toggle while connected applies at once.
static int LogOn()
{
    return TrafficLogSwitch && ZemLoadByte(reinterpret_cast<const unsigned char*>(TrafficLogSwitch)) != 0;
}

void SetTrafficLogFolder(const char* folder)
{
    // A cut-off path would name some other file: then there is no log at all.
    int length = snprintf(TrafficLogPath, sizeof(TrafficLogPath), "%sVantorixLog.txt", folder);
    if (length < 0 || length >= static_cast<int>(sizeof(TrafficLogPath)))
        TrafficLogPath[0] = 0;
}

static void AppendLog(const char* header, const void* bytes, uint32_t count)
{
    if (!TrafficLogPath[0])
        return;
    ZemFileWrite(TrafficLogPath, header, static_cast<uint32_t>(strlen(header)), ZEM_FILE_APPEND);
    if (count)
        ZemFileWrite(TrafficLogPath, bytes, count, ZEM_FILE_APPEND);
}

// A failed transfer on a device that has gone marks the port for good: the
// reads and waits that would go on until their limit end at once.
static void NoteFailure(SerialPort* port)
{
    const SerialDevice* device = currentDevice;
    if (device->gone && device->gone(port->handle))
        ZemStoreByte(&port->gone, 1);
}

static int BusyRefuses(const SerialPort* port, int override)
{
    return !override && ZemLoadByte(&port->busy);
}

SerialPort* ZemSerComOpen(const char* name, uint32_t baud)
{
    SerialPort* port = nullptr;
    if (!ZemMemAllocAs(&port, sizeof(SerialPort), ZEM_ZERO_MEMORY))
        return nullptr;
    port->handle = SERIAL_INVALID_HANDLE;
    port->baud = baud;
    snprintf(port->name, sizeof(port->name), "%s", name);

    const SerialDevice* device = currentDevice;
    if (!device->open(name, &port->handle))
        goto cleanup;
    if (!device->getState(port->handle, &port->savedState))
        goto cleanup;
    port->stateSaved = 1;
    if (!device->getTimeouts(port->handle, &port->savedTimeouts))
        goto cleanup;
    port->timeoutsSaved = 1;
    if (!device->configure(port->handle, baud))
        goto cleanup;
    if (!device->setTimeouts(port->handle))
        goto cleanup;

    if (LogOn() && TrafficLogPath[0]) {
        static const char title[] = "Vantorix Log File\r\n";
        ZemFileWrite(TrafficLogPath, title, sizeof(title) - 1, ZEM_FILE_CREATE);
    }
    device->purge(port->handle);
    return port;

cleanup:
    ZemSerComClose(port);
    return nullptr;
}

void ZemSerComRestoreSettings(SerialPort* port)
{
    if (!port || port->handle == SERIAL_INVALID_HANDLE)
        return;
    const SerialDevice* device = currentDevice;
    if (port->stateSaved)
        device->restoreState(port->handle, &port->savedState);
    if (port->timeoutsSaved)
        device->restoreTimeouts(port->handle, &port->savedTimeouts);
}

int ZemSerComClose(SerialPort* port)
{
    if (!port)
        return 1;
    ZemSerComRestoreSettings(port);
    if (port->handle != SERIAL_INVALID_HANDLE)
        currentDevice->close(port->handle);
    ZemMemFreeAs(&port);
    return 1;
}

int ZemSerComIsBusy(const SerialPort* port)
{
    return port ? ZemLoadByte(&port->busy) : 0;
}

void ZemSerComSetBusy(SerialPort* port, int busy)
{
    ZemStoreByte(&port->busy, busy ? 1 : 0);
}

int ZemSerComWrite(SerialPort* port, const void* bytes, uint32_t length, int override)
{
    if (BusyRefuses(port, override))
        return SERCOM_BUSY;
    uint32_t written = 0;
    if (!currentDevice->write(port->handle, bytes, length, &written)) {
        NoteFailure(port);
        return SERCOM_FAILED;
    }
    if (LogOn())
        AppendLog("Vantorix Send:\r\n", bytes, written);
    return written == length ? SERCOM_DONE : SERCOM_FAILED;
}

int ZemSerComSendCmd(SerialPort* port, const char* text, int override)
{
    if (BusyRefuses(port, override))
        return SERCOM_BUSY;
    // A stale answer still waiting in the driver would be read as the reply.
    currentDevice->purge(port->handle);
    return ZemSerComWrite(port, text, static_cast<uint32_t>(strlen(text)), override);
}

static uint32_t ReadBy(int (*read)(SerialHandle, void*, uint32_t, uint32_t*), SerialPort* port, void* buffer,
                       uint32_t max, int override)
{
    if (BusyRefuses(port, override))
        return 0;
    uint32_t got = 0;
    int ok = read(port->handle, buffer, max, &got);
    if (!ok)
        NoteFailure(port);
    if (got > max)
        got = max;
    if (LogOn())
        AppendLog(ok ? "Vantorix Read:\r\n" : "Vantorix Read failed:\r\n", buffer, got);
    static_cast<char*>(buffer)[got] = 0;
    return got;
}

uint32_t ZemSerComRead(SerialPort* port, void* buffer, uint32_t max, int override)
{
    return ReadBy(currentDevice->read, port, buffer, max, override);
}

uint32_t ZemSerComReadArrived(SerialPort* port, void* buffer, uint32_t max, int override)
{
    return ReadBy(currentDevice->readArrived, port, buffer, max, override);
}

uint32_t ZemSerComWaiting(const SerialPort* port)
{
    return currentDevice->waiting ? currentDevice->waiting(port->handle) : 0;
}
