// A long answer is read on the user-interface thread: meanwhile the free-space
// line tells how far the read has come, and the window stays alive for the
// system, which takes a window whose thread has not looked at its queue for
// a few seconds as hung and offers to end the program. Esc ends the read, and
// so does a close, which waits for the read to return.
#include <cstdio>

#include "app/app_state.h"
#include "app/commands.h"
#include "app/main_window.h"

BOOL(WINAPI* LookAtQueue)(LPMSG, HWND, UINT, UINT, UINT) = PeekMessageA;
int ReadLooksAtQueue;

// The count bounds a window that would never validate itself.
static void Paint()
{
    MSG message;
    for (int i = 0; i < 16 && LookAtQueue(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); i++)
        DispatchMessageA(&message);
}

// "End task" and the taskbar post WM_CLOSE or SC_CLOSE; both reach CloseMainWindow.
static void TakePostedClose()
{
    MSG message;
    if (LookAtQueue(&message, MainWindow, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        DispatchMessageA(&message);
    const UINT command = WM_SYSCOMMAND;
    if (LookAtQueue(&message, MainWindow, command, command, PM_NOREMOVE) && (message.wParam & 0xFFF0) == SC_CLOSE &&
        LookAtQueue(&message, MainWindow, command, command, PM_REMOVE))
        DispatchMessageA(&message);
}

// Alt+F4 at the head of the keys held with Alt. Alt itself does nothing
// before it is let go, so it is taken to see the key behind it.
static void TakeAltF4()
{
    MSG message;
    for (int i = 0; i < 8 && LookAtQueue(&message, nullptr, WM_SYSKEYDOWN, WM_SYSKEYDOWN, PM_NOREMOVE); i++) {
        if (message.wParam != VK_MENU && message.wParam != VK_F4)
            return;
        LookAtQueue(&message, nullptr, WM_SYSKEYDOWN, WM_SYSKEYDOWN, PM_REMOVE);
        if (message.wParam == VK_F4) {
            CloseMainWindow();
            return;
        }
    }
}

// Esc when it is the first key pressed; a key before it waits, and Esc with it.
static int TakeEscape()
{
    MSG message;
    return LookAtQueue(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE) && message.wParam == VK_ESCAPE &&
           LookAtQueue(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE);
}

int ShowReadProgress(int listing, uint32_t bytesSoFar)
{
    char text[64];
    snprintf(text, sizeof(text), listing ? "Reading directories: %lu bytes" : "Reading list: %lu bytes",
             static_cast<unsigned long>(bytesSoFar));
    SetWindowTextA(FreeSpaceText, text);
    // Messages sent by other programs arrive at every look, whatever it asks for.
    ReadLooksAtQueue++;
    Paint();
    TakePostedClose();
    TakeAltF4();
    const int escape = TakeEscape();
    ReadLooksAtQueue--;
    return !escape && !CloseAsked();
}
