// What vtx.exe says when a COM port does not open, for each error the open can meet; the driver's open is
// scripted, since Wine lets a second program open a port that another holds.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <string>

#include "cli/vtx_commands.h"
#include "cli/vtx_console_win32.h"
#include "cli/vtx_platform.h"
#include "serial/serial_device.h"
#include "serial/serial_device_win32.h"
#include "tests/support/rows.h"
#include "tests/support/scratch_dir.h"

namespace {

DWORD openError;   // 0: the open succeeds

// On 32-bit Windows the driver calls are __stdcall (WINAPI), which lambdas are not.
BOOL WINAPI GetNoState(HANDLE, LPDCB)
{
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}
BOOL WINAPI SetNoState(HANDLE, LPDCB)
{
    return FALSE;
}
BOOL WINAPI ClearNoError(HANDLE, LPDWORD, LPCOMSTAT)
{
    return FALSE;
}
BOOL WINAPI ReadNothing(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED)
{
    return FALSE;
}
BOOL WINAPI WriteNothing(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED)
{
    return FALSE;
}
HANDLE WINAPI OpenScripted(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    if (openError == 0)
        return CreateEventA(nullptr, FALSE, FALSE, nullptr);   // a handle that closes
    SetLastError(openError);
    return INVALID_HANDLE_VALUE;
}
const SerialWin32Calls Driver = {GetNoState, SetNoState, ClearNoError, ReadNothing, WriteNothing, OpenScripted};

// The explanation's lines joined by ';'.
std::string Explain(const char* port, int defaultPort)
{
    ScratchDir dir;
    std::string path = dir.File("explained.txt");
    FILE* out = fopen(path.c_str(), "wb");
    VtxOptions options = {port, 57600, 2, defaultPort, nullptr, 0};
    VtxExplainOpenFailure(&options, out);
    fclose(out);
    std::string text = ReadBytes(path);
    std::replace(text.begin(), text.end(), '\n', ';');
    return text.substr(0, text.size() - 1);
}

TEST(VtxOpenFailure, SaysWhyInWindowsWordsWithHints)
{
    SerialWin32SetCalls(&Driver);
    for (const Row& c : ReadRows("remote/open_errors.rows", {{"", 4, 4}})) {
        SCOPED_TRACE(c.Where());
        openError = std::stoul(c[0]);
        EXPECT_EQ(Explain(c[1].c_str(), std::stoi(c[2])), c[3]);
    }
    // Other errors in the system's words, with their number.
    openError = ERROR_GEN_FAILURE;
    std::string text = Explain("COM3", 0);
    EXPECT_EQ(text.substr(text.size() - 11), ", error 31)");
    SerialWin32SetCalls(nullptr);
}

int interruptCalls, consoleEndCalls;

TEST(VtxConsoleEvents, InterruptOrEndAsTheUploadNeeds)
{
    for (const Row& c : ReadRows("remote/console_events.rows", {{"", 5, 5}})) {
        SCOPED_TRACE(c.Where());
        interruptCalls = consoleEndCalls = 0;
        if (c[1] == "1")
            VtxCatchInterrupts([] { interruptCalls++; }, [] { consoleEndCalls++; });
        const BOOL handled = VtxConsoleControl(std::stoul(c[0]));
        VtxReleaseInterrupts();
        EXPECT_EQ(handled, std::stoi(c[2]));
        EXPECT_EQ(interruptCalls, std::stoi(c[3]));
        EXPECT_EQ(consoleEndCalls, std::stoi(c[4]));
    }
}

int Capture(void* to, const wchar_t* text, int length)
{
    static_cast<std::wstring*>(to)->append(text, length);
    return 1;
}

std::wstring Wide(const std::string& utf8)
{
    std::wstring wide(utf8.size(), L' ');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8.size(), &wide[0], utf8.size()));
    return wide;
}

TEST(VtxConsoleText, TheBytesReachTheConsoleAsTheirLettersWhereverAReadEnds)
{
    for (const Row& c : ReadRows("remote/console_text.rows", {{"", 3, 3}})) {
        SCOPED_TRACE(c.Where());
        const UINT codePage = std::stoul(c[0]);
        const std::string& bytes = c[1];
        const std::wstring expected = Wide(c[2]);
        for (size_t cut = 0; cut <= bytes.size(); cut++) {
            SCOPED_TRACE(cut);
            wchar_t wide[VTX_TEXT_WIDE];
            VtxTextCarry carry = {};
            std::wstring shown(wide, VtxAnsiToWide(codePage, bytes.data(), cut, &carry, wide));
            shown.append(wide, VtxAnsiToWide(codePage, bytes.data() + cut, bytes.size() - cut, &carry, wide));
            EXPECT_EQ(shown, expected);
            EXPECT_EQ(carry.count, 0);
        }
        // The forwarder: the bytes through a pipe, the text as WriteConsoleW would get it.
        HANDLE readEnd, writeEnd;
        ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
        DWORD written;
        WriteFile(writeEnd, bytes.data(), bytes.size(), &written, nullptr);
        CloseHandle(writeEnd);
        std::wstring forwarded;
        const VtxTextWriter writer = {Capture, &forwarded};
        VtxForwardText(readEnd, codePage, &writer);
        CloseHandle(readEnd);
        EXPECT_EQ(forwarded, expected);
    }
}

// Shares the console of a child that has no window (a window would take the keys of a window test running beside
// this one); the child says "ready" through a pipe once its console is there, and is ended.
HANDLE AttachWindowlessConsole()
{
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE outRead, outWrite, inRead, inWrite;
    CreatePipe(&outRead, &outWrite, &inherited, 0);
    CreatePipe(&inRead, &inWrite, &inherited, 0);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = inRead;
    start.hStdOutput = start.hStdError = outWrite;
    char command[] = "cmd.exe /c echo ready& set /p waits=";
    PROCESS_INFORMATION child;
    if (CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &start, &child)) {
        char ready[5];
        DWORD got;
        ReadFile(outRead, ready, sizeof ready, &got, nullptr);
        FreeConsole();
        AttachConsole(child.dwProcessId);
        TerminateProcess(child.hProcess, 0);
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }
    for (HANDLE end : {outRead, outWrite, inRead, inWrite})
        CloseHandle(end);
    return CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// A console in place of stdout and stderr, as vtx.exe has them when started in a console window; what it shows is
// read back from its screen.
TEST(VtxConsoleText, WhatVtxPrintsShowsItsLettersOnAConsole)
{
    const std::vector<Row> rows = ReadRows("remote/console_lines.rows", {{"", 3, 3}});
    fflush(stdout);
    const int saved[2] = {_dup(1), _dup(2)};
    HANDLE console = AttachWindowlessConsole();
    DWORD mode;
    ASSERT_TRUE(GetConsoleMode(console, &mode));
    for (int fd = 1; fd <= 2; fd++)
        _dup2(_open_osfhandle(reinterpret_cast<intptr_t>(console), _O_TEXT), fd);
    VtxStartConsoleText();
    const int terminal = VtxErrorIsTerminal();
    for (const Row& c : rows)
        if (c[0] == "now")
            VtxWriteErrorNow(c[1].c_str());
        else
            fputs(c[1].c_str(), c[0] == "out" ? stdout : stderr);
    VtxEndConsoleText();
    std::vector<std::wstring> shown;
    for (short line = 0; line < static_cast<short>(rows.size()); line++) {
        wchar_t text[80];
        DWORD got = 0;
        ReadConsoleOutputCharacterW(console, text, 80, COORD{0, line}, &got);
        shown.emplace_back(text, got);
        shown.back().erase(shown.back().find_last_not_of(L' ') + 1);
    }
    _dup2(saved[0], 1);
    _dup2(saved[1], 2);
    EXPECT_EQ(terminal, 1);
    for (size_t i = 0; i < rows.size(); i++)
        EXPECT_EQ(shown[i], Wide(rows[i][2])) << rows[i].Where();
}

}  // namespace
