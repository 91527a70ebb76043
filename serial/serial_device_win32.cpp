// The serial device on the Win32 communications interface: a COM port opened
// for exclusive, synchronous use, with its DCB and timeouts saved at open.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "serial/serial_device.h"
#include "serial/serial_device_win32.h"

static_assert(sizeof(DCB) <= sizeof(SerialSavedState), "the DCB must fit the saved state");
static_assert(sizeof(COMMTIMEOUTS) <= sizeof(SerialSavedTimeouts), "COMMTIMEOUTS must fit the saved timeouts");

static const SerialWin32Calls systemCalls = {GetCommState, SetCommState, ClearCommError, ReadFile, WriteFile,
                                                CreateFileA};
static const SerialWin32Calls* calls = &systemCalls;

void SerialWin32SetCalls(const SerialWin32Calls* replacement)
{
    calls = replacement ? replacement : &systemCalls;
}

static HANDLE AsHandle(SerialHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// The handle whose last failed transfer said that its device has gone.
static HANDLE goneHandle;

int SerialWin32ErrorMeansGone(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
    case 433:   // ERROR_NO_SUCH_DEVICE, which the headers here lack
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return 1;
    default:
        return 0;
    }
}

// Taken at once after the failed call, before anything else can change it.
static void NoteFailedTransfer(SerialHandle handle)
{
    if (SerialWin32ErrorMeansGone(GetLastError()))
        goneHandle = AsHandle(handle);
    else if (goneHandle == AsHandle(handle))
        goneHandle = nullptr;
}

static int GoneWin32(SerialHandle handle)
{
    return goneHandle && AsHandle(handle) == goneHandle;
}

// With fAbortOnError every transfer fails after one framing or overrun error
// until the error is cleared; clearing after each failure keeps one bad byte
// from failing all later ones.
static void ClearLineError(SerialHandle handle)
{
    DWORD errors = 0;
    calls->clearCommError(AsHandle(handle), &errors, NULL);
}

// COM10 and above open only by their device path "\\.\COMn", which serves
// COM1 to COM9 as well; every other name, a device path included, is used as
// typed.
static const char* DevicePath(const char* name, char* path, size_t room)
{
    size_t length = strlen(name);
    if (length < 4 || _strnicmp(name, "COM", 3) != 0 || strspn(name + 3, "0123456789") != length - 3 ||
        length + 5 > room)
        return name;
    snprintf(path, room, "\\\\.\\%s", name);
    return path;
}

static int OpenWin32(const char* name, SerialHandle* handle)
{
    char path[MAX_PATH];
    HANDLE h = calls->createFileA(DevicePath(name, path, sizeof(path)), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                 OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    if (h == goneHandle)
        goneHandle = nullptr;   // a new device under a handle value used before
    *handle = reinterpret_cast<SerialHandle>(h);
    return 1;
}

static int GetStateWin32(SerialHandle handle, SerialSavedState* state)
{
    DCB dcb;
    memset(&dcb, 0, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    if (!calls->getCommState(AsHandle(handle), &dcb))
        return 0;
    memcpy(state->bytes, &dcb, sizeof(dcb));
    return 1;
}

static int GetTimeoutsWin32(SerialHandle handle, SerialSavedTimeouts* timeouts)
{
    COMMTIMEOUTS t;
    if (!GetCommTimeouts(AsHandle(handle), &t))
        return 0;
    memcpy(timeouts->bytes, &t, sizeof(t));
    return 1;
}

// The speed goes to the driver as a number; SetCommState refuses one it
// cannot make, and the caller explains the failed open in the system's words.
const char* SerialSpeedProblem()
{
    return "";
}

// 8N1 with the DTR and RTS receive handshake; on the packed flag word this
// is AND 0xFFFFEFA7, OR 0x2020. The members that would alter binary data are
// set for it too, since the port's last user may have left anything there:
// XON/XOFF would take 0x11 and 0x13 as flow control (and insert them),
// fNull would drop every 0x00, and equal XON and XOFF characters make
// SetCommState fail. Output waits neither for DSR nor for CTS: the cable
// needs no wire to either, and with CTS flow left on by a terminal program
// every write would stall on a line that never comes. Every other member
// keeps the driver's value.
static int ConfigureWin32(SerialHandle handle, uint32_t baud)
{
    DCB dcb;
    memset(&dcb, 0, sizeof(dcb));
    dcb.DCBlength = sizeof(dcb);
    calls->getCommState(AsHandle(handle), &dcb);
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxDsrFlow = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 0;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fErrorChar = 0;
    dcb.fAbortOnError = 0;
    if (dcb.XonChar == dcb.XoffChar) {
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
    }
    if (!calls->setCommState(AsHandle(handle), &dcb))
        return 0;
    ClearLineError(handle);   // an error the last user left would fail the first transfer
    return 1;
}

// A read ends at the count or 990 ms after it began; a write within 10 s.
static int SetTimeoutsWin32(SerialHandle handle)
{
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = SERIAL_READ_TIME_MS;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = SERIAL_READ_TIME_MS;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 10000;
    return SetCommTimeouts(AsHandle(handle), &t) != 0;
}

static void RestoreStateWin32(SerialHandle handle, const SerialSavedState* state)
{
    DCB dcb;
    memcpy(&dcb, state->bytes, sizeof(dcb));
    calls->setCommState(AsHandle(handle), &dcb);
}

static void RestoreTimeoutsWin32(SerialHandle handle, const SerialSavedTimeouts* timeouts)
{
    COMMTIMEOUTS t;
    memcpy(&t, timeouts->bytes, sizeof(t));
    SetCommTimeouts(AsHandle(handle), &t);
}

static void PurgeWin32(SerialHandle handle)
{
    PurgeComm(AsHandle(handle), PURGE_TXCLEAR | PURGE_RXCLEAR);
}

static int WriteWin32(SerialHandle handle, const void* bytes, uint32_t length, uint32_t* written)
{
    DWORD count = 0;
    BOOL ok = calls->writeFile(AsHandle(handle), bytes, length, &count, NULL);
    if (!ok) {
        NoteFailedTransfer(handle);
        ClearLineError(handle);
    }
    *written = count;
    return ok != 0;
}

static int ReadWin32(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got)
{
    DWORD count = 0;
    BOOL ok = calls->readFile(AsHandle(handle), buffer, max, &count, NULL);
    if (!ok) {
        NoteFailedTransfer(handle);
        ClearLineError(handle);
    }
    *got = count;
    return ok != 0;
}

// ClearCommError also reports how many bytes the driver holds.
static DWORD QueuedBytes(SerialHandle handle)
{
    DWORD errors = 0;
    COMSTAT status = {};
    return calls->clearCommError(AsHandle(handle), &errors, &status) ? status.cbInQue : 0;
}

// What the driver already holds is taken at once; with nothing there, a read
// of one byte waits for the first one within the port's read time, which
// keeps the time-outs of the open as they are.
static int ReadArrivedWin32(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got)
{
    unsigned char* p = static_cast<unsigned char*>(buffer);
    uint32_t count = 0;
    *got = 0;
    if (max == 0)
        return 1;
    if (QueuedBytes(handle) == 0) {
        if (!ReadWin32(handle, p, 1, &count))
            return 0;
        *got = count;
        if (count == 0)
            return 1;
    }
    DWORD queued = QueuedBytes(handle);
    uint32_t want = queued < max - *got ? queued : max - *got;
    if (want == 0)
        return 1;
    count = 0;
    int ok = ReadWin32(handle, p + *got, want, &count);
    *got += count;
    return ok;
}

static uint32_t WaitingWin32(SerialHandle handle)
{
    return QueuedBytes(handle);
}

static void CloseWin32(SerialHandle handle)
{
    CloseHandle(AsHandle(handle));
}

const SerialDevice SerialPlatformDevice = {
    OpenWin32,  GetStateWin32, GetTimeoutsWin32, ConfigureWin32, SetTimeoutsWin32, RestoreStateWin32,
    RestoreTimeoutsWin32, PurgeWin32, WriteWin32, ReadWin32, CloseWin32, ReadArrivedWin32, WaitingWin32,
    GoneWin32,
};
