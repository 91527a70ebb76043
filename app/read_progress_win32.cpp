// A long answer is read on the user-interface thread: meanwhile the free-space
// line tells how far the read has come, and the window stays alive for the
// system, which takes a window whose thread has not looked at its queue for
// a few seconds as hung and offers to end the program.
#include <cstdio>

#include "app/app_state.h"
#include "app/main_window.h"

BOOL(WINAPI* LookAtQueue)(LPMSG, HWND, UINT, UINT, UINT) = PeekMessageA;

int ShowReadProgress(int listing, uint32_t bytesSoFar)
{
    char text[64];
    snprintf(text, sizeof(text), listing ? "Reading directories: %lu bytes" : "Reading list: %lu bytes",
             static_cast<unsigned long>(bytesSoFar));
    SetWindowTextA(FreeSpaceText, text);
    // Only paint is taken from the queue: input waits there, so no command
    // can start in the middle of the read. The count bounds a window that
    // would never validate itself.
    MSG message;
    for (int i = 0; i < 16 && LookAtQueue(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); i++)
        DispatchMessageA(&message);
    return 1;
}
