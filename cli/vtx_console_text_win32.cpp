// The letters of vtx.exe on a console. vtx writes text of the ANSI code page
// (Windows' own messages, the PC's file names) through the C library, and a
// console shows bytes in its OEM code page: "Gerät" would come out as
// "Ger„t". So while stdout or stderr is a console, its descriptor is a pipe
// whose other end a thread reads, turns into UTF-16 and hands to
// WriteConsoleW; output to a file or a pipe is left as it is, byte for byte.
// The console's own code page stays: the raster font of Windows 7 has no
// other.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "cli/vtx_console_win32.h"
#include "cli/vtx_platform.h"

static const DWORD streamIds[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
static FILE* const streams[2] = {stdout, stderr};

static struct {
    HANDLE consoles[2];   // stdout's and stderr's console, null when not forwarded
    int savedFds[2];      // descriptors of those consoles, to put back at the end
    HANDLE pipeEnds[2];   // what the descriptors 1 and 2 write to meanwhile
    HANDLE forwarder;     // the thread; null while nothing is forwarded
    HANDLE shownOn;       // the forwarder's own handle of the console
    LONG ending;          // 1 once the pipe is being closed
} text;

int VtxWholeLetters(UINT codePage, const char* bytes, int count)
{
    if (codePage == CP_UTF8) {
        // A Windows set to UTF-8 as its ANSI code page: a letter takes up to four bytes.
        int lead = count - 1;
        while (lead >= 0 && count - lead < 4 && (static_cast<BYTE>(bytes[lead]) & 0xC0) == 0x80)
            lead--;
        if (lead < 0)
            return count;
        BYTE first = static_cast<BYTE>(bytes[lead]);
        int size = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
        return count - lead < size ? lead : count;
    }
    // A trail byte may look like a lead byte: the pairs are counted from the start.
    int whole = 0;
    while (whole < count) {
        int size = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[whole])) ? 2 : 1;
        if (whole + size > count)
            break;
        whole += size;
    }
    return whole;
}

int VtxAnsiToWide(UINT codePage, const char* bytes, int count, VtxTextCarry* carry, wchar_t* wide)
{
    char joined[VTX_TEXT_CHUNK + sizeof carry->bytes];
    int length = 0;
    for (int i = 0; i < carry->count; i++)
        joined[length++] = carry->bytes[i];
    for (int i = 0; i < count; i++)
        joined[length++] = bytes[i];
    int whole = VtxWholeLetters(codePage, joined, length);
    carry->count = length - whole;
    for (int i = 0; i < carry->count; i++)
        carry->bytes[i] = joined[whole + i];
    if (whole == 0)
        return 0;
    return MultiByteToWideChar(codePage, 0, joined, whole, wide, VTX_TEXT_WIDE);
}

void VtxForwardText(HANDLE from, UINT codePage, const VtxTextWriter* writer)
{
    char bytes[VTX_TEXT_CHUNK];
    wchar_t wide[VTX_TEXT_WIDE];
    VtxTextCarry carry = {};
    DWORD got;
    // ReadFile fails once every writer has closed its end.
    while (ReadFile(from, bytes, sizeof bytes, &got, nullptr)) {
        int length = VtxAnsiToWide(codePage, bytes, static_cast<int>(got), &carry, wide);
        if (length > 0)
            writer->write(writer->to, wide, length);
    }
}

static int WriteToConsole(void* console, const wchar_t* wide, int length)
{
    DWORD written;
    return WriteConsoleW(static_cast<HANDLE>(console), wide, static_cast<DWORD>(length), &written, nullptr);
}

static DWORD WINAPI ForwardToConsole(void* from)
{
    // A text that cannot be shown is dropped, so that no writer waits on a full pipe.
    VtxTextWriter writer = {WriteToConsole, text.shownOn};
    VtxForwardText(from, GetACP(), &writer);
    CloseHandle(from);
    CloseHandle(text.shownOn);
    return 0;
}

// Points the descriptor at the pipe; 0 leaves it as it was.
static int ForwardStream(int index, HANDLE pipe)
{
    int fd = index + 1;
    HANDLE end;
    if (!DuplicateHandle(GetCurrentProcess(), pipe, GetCurrentProcess(), &end, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return 0;
    int pipeFd = _open_osfhandle(reinterpret_cast<intptr_t>(end), _O_TEXT);
    if (pipeFd < 0) {
        CloseHandle(end);
        return 0;
    }
    text.savedFds[index] = _dup(fd);
    int moved = text.savedFds[index] >= 0 && _dup2(pipeFd, fd) == 0;
    _close(pipeFd);
    if (!moved) {
        if (text.savedFds[index] >= 0)
            _close(text.savedFds[index]);
        return 0;
    }
    // The descriptor's own handle closed with the move; the saved one is the console now.
    text.consoles[index] = reinterpret_cast<HANDLE>(_get_osfhandle(text.savedFds[index]));
    text.pipeEnds[index] = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    SetStdHandle(streamIds[index], text.pipeEnds[index]);
    // As on the console itself, each write goes out at once, in the order of both streams.
    setvbuf(streams[index], nullptr, _IONBF, 0);
    return 1;
}

void VtxStartConsoleText()
{
    int isConsole[2];
    DWORD mode;
    for (int i = 0; i < 2; i++)
        isConsole[i] = GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(i + 1)), &mode) != 0;
    if (!(isConsole[0] || isConsole[1]))
        return;
    HANDLE self = GetCurrentProcess();
    HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(isConsole[0] ? 1 : 2));
    if (!DuplicateHandle(self, console, self, &text.shownOn, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
        CloseHandle(text.shownOn);
        return;
    }
    text.forwarder = CreateThread(nullptr, 0, ForwardToConsole, readEnd, 0, nullptr);
    // Both streams share one pipe and one console, so that their lines keep their order.
    for (int i = 0; i < 2 && text.forwarder; i++)
        if (isConsole[i])
            ForwardStream(i, writeEnd);
    CloseHandle(writeEnd);
    if (!text.forwarder) {
        CloseHandle(readEnd);
        CloseHandle(text.shownOn);
    }
}

// Puts the consoles back (or closes the pipe's ends, when the descriptors
// must not be waited for) and lets the forwarder show what is left.
static void CloseConsoleText(int putBack, DWORD waitMs)
{
    if (!text.forwarder)
        return;
    if (InterlockedExchange(&text.ending, 1) == 0)
        for (int i = 0; i < 2; i++) {
            if (!text.consoles[i])
                continue;
            if (!putBack) {
                CloseHandle(text.pipeEnds[i]);
                continue;
            }
            fflush(streams[i]);
            _dup2(text.savedFds[i], i + 1);
            _close(text.savedFds[i]);
            SetStdHandle(streamIds[i], reinterpret_cast<HANDLE>(_get_osfhandle(i + 1)));
        }
    WaitForSingleObject(text.forwarder, waitMs);
}

void VtxEndConsoleText()
{
    CloseConsoleText(1, INFINITE);
    if (text.forwarder)
        CloseHandle(text.forwarder);
    text = {};
}

void VtxEndNow(int status)
{
    // Ends every thread where it stands, as _exit does: nothing is flushed or
    // run, but what was written reaches the console. A console whose output
    // the user holds (a selection) would keep the text for ever: Ctrl-C still
    // ends vtx after a second.
    CloseConsoleText(0, 1000);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    ExitProcess(static_cast<UINT>(status));
}

HANDLE VtxConsoleOf(DWORD stdHandle)
{
    HANDLE console = text.consoles[stdHandle == STD_ERROR_HANDLE];
    return console ? console : GetStdHandle(stdHandle);
}
