// The console of vtx.exe: its control handler, which the system calls on a
// thread of its own for each event (tests call it with each event), and the
// way its text reaches the console (vtx_console_text_win32.cpp).
#pragma once

#include <windows.h>

BOOL WINAPI VtxConsoleControl(DWORD event);

// The console stdout or stderr wrote to when vtx started, also while their
// text goes through the pipe; else the standard handle as it is now.
HANDLE VtxConsoleOf(DWORD stdHandle);

// How many of count bytes of the code page make whole letters: all but a
// DBCS lead byte at the end.
int VtxWholeLetters(UINT codePage, const char* bytes, int count);
// The most bytes the forwarder reads at once.
constexpr int VTX_TEXT_CHUNK = 4096;
// Turns count (at most VTX_TEXT_CHUNK) bytes of the code page into UTF-16 at
// wide, which has room for VTX_TEXT_CHUNK + 1 units; returns the units made.
// A DBCS lead byte that ends the bytes waits in *carry (0: none) for the
// first byte of the next call.
int VtxAnsiToWide(UINT codePage, const char* bytes, int count, char* carry, wchar_t* wide);

// Where the forwarder hands the text: write(to, text, units).
struct VtxTextWriter {
    int (*write)(void* to, const wchar_t* text, int length);
    void* to;
};
// Reads text of the code page from the pipe until every writer has closed
// it, and hands it on as UTF-16.
void VtxForwardText(HANDLE from, UINT codePage, const VtxTextWriter* writer);
