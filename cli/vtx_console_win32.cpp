// The console of a Windows program: Ctrl-C, Ctrl-Break and the console's
// end through the console's control handler, a progress line redrawn
// without escape sequences (the console of Windows 7 knows none), stdout
// switched to binary for the fetched lists. Its letters and the end of the
// process: vtx_console_text_win32.cpp.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "cli/vtx_console_win32.h"
#include "cli/vtx_platform.h"

// The C runtime would otherwise expand "*" and "?" in the arguments into the
// names of matching files: vtx takes the names as typed.
extern "C" {
int _dowildcard = 0;
}

static void (*interruptCallback)();
static void (*consoleEndCallback)();
static int drawnLength;   // of the progress line now on the screen

// Runs on a thread of its own that the system starts for each event. The
// console's close, a logoff and a shutdown end the process when this returns
// (or about 5 s after the event, whatever it does): what must reach the
// controller and the port goes first.
BOOL WINAPI VtxConsoleControl(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        if (!interruptCallback)
            VtxEndNow(VTX_INTERRUPTED_STATUS);
        interruptCallback();
        return TRUE;
    }
    if (consoleEndCallback)
        consoleEndCallback();
    return FALSE;
}

void VtxWatchConsole()
{
    SetConsoleCtrlHandler(VtxConsoleControl, TRUE);
}

void VtxCatchInterrupts(void (*onInterrupt)(), void (*onConsoleEnd)())
{
    consoleEndCallback = onConsoleEnd;
    interruptCallback = onInterrupt;
}

void VtxReleaseInterrupts()
{
    interruptCallback = nullptr;
    consoleEndCallback = nullptr;
}

void VtxWriteErrorNow(const char* text)
{
    // The C library writes stderr's lines with CR LF; these lines end the same way.
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written;
    for (const char* p = text; *p;) {
        size_t length = strcspn(p, "\n");
        if (length)
            WriteFile(error, p, static_cast<DWORD>(length), &written, nullptr);
        if (!p[length])
            break;
        WriteFile(error, "\r\n", 2, &written, nullptr);
        p += length + 1;
    }
}

int VtxErrorIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(VtxConsoleOf(STD_ERROR_HANDLE), &mode) != 0;
}

void VtxRedrawLine(const char* line)
{
    // A line as wide as the console wraps, and "\r" then goes back to its
    // last row only: the line is cut to fit.
    CONSOLE_SCREEN_BUFFER_INFO screen;
    int width = GetConsoleScreenBufferInfo(VtxConsoleOf(STD_ERROR_HANDLE), &screen) ? screen.dwSize.X : 80;
    int length = static_cast<int>(strlen(line));
    if (length > width - 1)   // not between the two bytes of a letter (and its two columns)
        length = VtxWholeLetters(GetACP(), line, width > 1 ? width - 1 : 0);
    // Blanks clear what a longer earlier line left behind.
    fprintf(stderr, "\r%.*s%*s", length, line, drawnLength > length ? drawnLength - length : 0, "");
    fflush(stderr);
    drawnLength = length;
}

void VtxBinaryStdout()
{
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}
