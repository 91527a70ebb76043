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
// DBCS lead byte, or the start of a UTF-8 letter, at the end.
int VtxWholeLetters(UINT codePage, const char* bytes, int count);
// The most bytes the forwarder reads at once, and the UTF-16 units they and
// a carry can make.
constexpr int VTX_TEXT_CHUNK = 4096;
constexpr int VTX_TEXT_WIDE = VTX_TEXT_CHUNK + 3;
// The start of a letter that the last read cut off.
struct VtxTextCarry {
    char bytes[3];
    int count;
};
// Turns count (at most VTX_TEXT_CHUNK) bytes of the code page, after what
// the carry holds, into UTF-16 at wide (room for VTX_TEXT_WIDE units);
// returns the units made. The start of a letter that ends the bytes waits
// in the carry for the next call.
int VtxAnsiToWide(UINT codePage, const char* bytes, int count, VtxTextCarry* carry, wchar_t* wide);

// Where the forwarder hands the text: write(to, text, units).
struct VtxTextWriter {
    int (*write)(void* to, const wchar_t* text, int length);
    void* to;
};
// Reads text of the code page from the pipe until every writer has closed
// it, and hands it on as UTF-16.
void VtxForwardText(HANDLE from, UINT codePage, const VtxTextWriter* writer);
