// The driver calls of the Win32 serial device, in one table so that a test
// can see the device path a port name becomes, the settings it writes and the
// error clearing that Wine ignores.
#pragma once

#include <windows.h>

struct SerialWin32Calls {
    BOOL(WINAPI* getCommState)(HANDLE, LPDCB);
    BOOL(WINAPI* setCommState)(HANDLE, LPDCB);
    BOOL(WINAPI* clearCommError)(HANDLE, LPDWORD, LPCOMSTAT);
    BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    HANDLE(WINAPI* createFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
};

// 1 for the errors with which a driver fails a transfer once its device has
// gone (unplugged, or not back from sleep), which no retry can mend.
int SerialWin32ErrorMeansGone(DWORD error);

// Null restores the system's calls.
void SerialWin32SetCalls(const SerialWin32Calls* calls);
