// The Win32 serial device's one seam: tests replace the CreateFileA that
// opens a port, to see the device path a port name becomes.
#pragma once

#include <windows.h>

extern HANDLE(WINAPI* SerialCreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
