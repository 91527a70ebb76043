// VBrowser.exe itself, started as a child process: the early end with "-q",
// the usage message, and the window rectangle kept from one run to the next.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/gui/support/gui_harness.h"

namespace {

constexpr DWORD START_BOUND_MS = 30000;

std::string WindowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

struct FoundWindow {
    DWORD processId;
    const char* className;
    const char* title;
    HWND window;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    auto* found = reinterpret_cast<FoundWindow*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != found->processId || !IsWindowVisible(window))
        return TRUE;
    if (found->className && gui::ClassName(window) != found->className)
        return TRUE;
    if (found->title && gui::WindowText(window) != found->title)
        return TRUE;
    found->window = window;
    return FALSE;
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* exe = getenv("VBROWSER_EXE");
        ASSERT_NE(exe, nullptr) << "VBROWSER_EXE names the program to start";
        // A directory of its own, so that the settings file is this run's.
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        directory = std::string("startup-") + test->name() + "\\";
        CreateDirectoryA(directory.c_str(), nullptr);
        DeleteFileA(IniPath().c_str());
        ASSERT_TRUE(CopyFileA(WindowsPath(exe).c_str(), (directory + "VBrowser.exe").c_str(), FALSE));
    }

    void TearDown() override
    {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    std::string IniPath() const
    {
        char full[MAX_PATH];
        GetFullPathNameA((directory + "Vantorix1.ini").c_str(), sizeof(full), full, nullptr);
        return full;
    }

    void Start(const std::string& arguments)
    {
        if (process.hProcess) {
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
            process = {};
        }
        char full[MAX_PATH];
        GetFullPathNameA((directory + "VBrowser.exe").c_str(), sizeof(full), full, nullptr);
        std::string commandLine = "\"" + std::string(full) + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(CreateProcessA(full, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
    }

    HWND WaitForWindow(const char* className, const char* title)
    {
        FoundWindow found = {process.dwProcessId, className, title, nullptr};
        const ULONGLONG end = GetTickCount64() + START_BOUND_MS;
        while (GetTickCount64() < end && WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&found));
            if (found.window)
                return found.window;
        }
        return nullptr;
    }

    // The exit code, or -1 when the program did not end in time.
    long WaitForExit()
    {
        if (WaitForSingleObject(process.hProcess, START_BOUND_MS) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return static_cast<long>(code);
    }

    std::string IniValue(const char* section, const char* key)
    {
        char value[256];
        GetPrivateProfileStringA(section, key, "<none>", value, sizeof(value), IniPath().c_str());
        return value;
    }

    int IniKeyCount(const char* section)
    {
        char keys[4096];
        DWORD length = GetPrivateProfileStringA(section, nullptr, "", keys, sizeof(keys), IniPath().c_str());
        int count = 0;
        for (DWORD i = 0; i < length; i += static_cast<DWORD>(strlen(keys + i)) + 1)
            count++;
        return count;
    }

    bool IniExists() { return GetFileAttributesA(IniPath().c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string directory;
    PROCESS_INFORMATION process = {};
};

TEST_F(ProgramRun, QuitOptionAloneEndsAtOnceWithoutSettings)
{
    Start("-q");
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_FALSE(IniExists());
}

// The usage message, read and closed from here; returns its text.
std::string CloseUsageMessage(HWND box)
{
    std::string text = gui::WindowText(GetDlgItem(box, 0xFFFF));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
}

const char* const usage = "VBrowser.exe [-q] [-u \"Filename\"] ... .\nSee Readme.txt for more informations.";

TEST_F(ProgramRun, QuitBeforeABadOptionShowsUsageThenEnds)
{
    Start("-q -x");
    HWND box = WaitForWindow(nullptr, "Vantorix-Commandline-Problem");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(CloseUsageMessage(box), usage);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_FALSE(IniExists());
}

TEST_F(ProgramRun, BadOptionShowsUsageThenStartsInteractively)
{
    Start("-x -q");
    HWND box = WaitForWindow(nullptr, "Vantorix-Commandline-Problem");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(CloseUsageMessage(box), usage);
    HWND window = WaitForWindow("Vantorix1Class", "Vantorix1-Browser");
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_TRUE(IniExists());
}

TEST_F(ProgramRun, WindowReopensAtTheRectangleSavedAtClose)
{
    Start("");
    HWND window = WaitForWindow("Vantorix1Class", "Vantorix1-Browser");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetWindowPos(window, nullptr, 100, 50, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE));
    Sleep(200);
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForExit(), 0);

    // A first run writes all nine keys, with the defaults for the options.
    EXPECT_EQ(IniKeyCount("Vantorix"), 5);
    EXPECT_EQ(IniKeyCount("VantorixPos"), 4);
    EXPECT_EQ(IniValue("Vantorix", "LogFile"), "0");
    EXPECT_EQ(IniValue("Vantorix", "UsePath"), "0");
    EXPECT_EQ(IniValue("Vantorix", "Port"), "COM1");
    EXPECT_EQ(IniValue("Vantorix", "Baudrate"), "57600");
    EXPECT_EQ(IniValue("Vantorix", "DefUplPath"), "");
    EXPECT_EQ(IniValue("VantorixPos", "left"), "100");
    EXPECT_EQ(IniValue("VantorixPos", "top"), "50");
    EXPECT_EQ(IniValue("VantorixPos", "right"), "640");
    EXPECT_EQ(IniValue("VantorixPos", "bottom"), "480");

    Start("");
    window = WaitForWindow("Vantorix1Class", "Vantorix1-Browser");
    ASSERT_NE(window, nullptr);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 50);
    EXPECT_EQ(rect.right, 740);
    EXPECT_EQ(rect.bottom, 530);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(), 0);
}

}  // namespace
