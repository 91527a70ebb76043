// What vtx.exe says when a COM port does not open, for each error the open can meet; the driver's open is
// scripted, since Wine lets a second program open a port that another holds.
#include <windows.h>

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
    VtxOptions options = {port, 57600, 2, defaultPort};
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

TEST(VtxConsoleText, TheBytesReachTheConsoleAsTheirLettersWhereverAReadEnds)
{
    for (const Row& c : ReadRows("remote/console_text.rows", {{"", 3, 3}})) {
        SCOPED_TRACE(c.Where());
        const UINT codePage = std::stoul(c[0]);
        const std::string& bytes = c[1];
        std::wstring expected(c[2].size(), L' ');
        expected.resize(MultiByteToWideChar(CP_UTF8, 0, c[2].data(), c[2].size(), &expected[0], c[2].size()));
        for (size_t cut = 0; cut <= bytes.size(); cut++) {
            SCOPED_TRACE(cut);
            wchar_t wide[VTX_TEXT_CHUNK + 1];
            char carry = 0;
            std::wstring shown(wide, VtxAnsiToWide(codePage, bytes.data(), cut, &carry, wide));
            shown.append(wide, VtxAnsiToWide(codePage, bytes.data() + cut, bytes.size() - cut, &carry, wide));
            EXPECT_EQ(shown, expected);
            EXPECT_EQ(carry, 0);
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

}  // namespace
