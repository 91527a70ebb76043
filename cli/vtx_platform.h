// What vtx needs from the system it runs on, one backend per platform:
// vtx_port_*.cpp (the default port and why a port does not open),
// vtx_console_*.cpp (Ctrl-C, the progress line, binary output, the
// console's letters) and
// vtx_local_file_*.cpp (whether a PC file can be sent).
#pragma once

#include <cstdint>
#include <cstdio>

struct VtxOptions;

// vtx_port_*.cpp: the port without --port and $VTX_PORT / %VTX_PORT%, the
// lines of the usage text that say so, and the usage of `vtx ports`.
extern const char VtxDefaultPort[];
extern const char VtxPortOptionHelp[];
extern const char VtxPortEnvironmentHelp[];
extern const char VtxPortsUsage[];
// Opens the port once more the way the serial port does, to say (on stderr,
// as out) in the system's words which step refuses it, with hints for the user.
void VtxExplainOpenFailure(const VtxOptions* options, FILE* out);

// vtx_console_*.cpp.
// The status of a vtx that Ctrl-C ended, as a shell gives it on Linux.
constexpr int VTX_INTERRUPTED_STATUS = 130;
// Around the whole program (vtx's main): on Windows, the ANSI text that
// vtx writes to stdout or stderr reaches a console in the letters it was
// written in (vtx_console_text_win32.cpp); a file or a pipe gets the bytes
// unchanged. The end shows what is left; VtxEndNow does it as well.
void VtxStartConsoleText();
void VtxEndConsoleText();
// From the start of the program: on Windows, Ctrl-C and Ctrl-Break end vtx
// with VTX_INTERRUPTED_STATUS while nothing catches them.
void VtxWatchConsole();
// Ctrl-C calls onInterrupt (on POSIX in a signal handler, on Windows on a
// thread of its own: it may only store flags and use VtxWriteErrorNow and
// VtxEndNow) until VtxReleaseInterrupts restores what was there before.
// On Windows the console's close, a logoff and a shutdown call onConsoleEnd
// on such a thread; the system ends vtx when it returns, at the latest about
// 5 s after the event.
void VtxCatchInterrupts(void (*onInterrupt)(), void (*onConsoleEnd)());
void VtxReleaseInterrupts();
// Writes a text to stderr at once, without the C library; "\n" ends a line.
void VtxWriteErrorNow(const char* text);
// Ends the process at once with the status, without clean-up.
[[noreturn]] void VtxEndNow(int status);
// 1 when stderr is a terminal (a console) that can redraw a line in place.
int VtxErrorIsTerminal();
// Draws the line over the one stderr shows, clearing what a longer line left.
void VtxRedrawLine(const char* line);
// stdout passes bytes unchanged from here on (no CR added on Windows).
void VtxBinaryStdout();

// vtx_local_file_*.cpp: what the system says of a PC file.
enum { VTX_FILE_REGULAR, VTX_FILE_DIRECTORY, VTX_FILE_OTHER };
struct VtxLocalFile {
    int kind;                  // VTX_FILE_...
    uint64_t size;             // bytes of a regular file
    const char* readProblem;   // why a regular file does not open for reading, else null
};
// 1 with what the path is, else 0 with *why in the system's words. Only a
// regular file is opened, so that a device named by mistake is left alone.
int VtxLookAtLocalFile(const char* path, VtxLocalFile* file, const char** why);
