// The console's control handler of vtx.exe, which the system calls on a
// thread of its own for each event; tests call it with each event.
#pragma once

#include <windows.h>

BOOL WINAPI VtxConsoleControl(DWORD event);
