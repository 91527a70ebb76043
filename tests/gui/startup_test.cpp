// VBrowser.exe itself, started as a child process: the early end with "-q",
// the usage message, the settings written and the window rectangle kept from
// one run to the next.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/gui/support/gui_harness.h"

namespace {

constexpr DWORD BOUND_MS = 30000;
const char* const usage = "VBrowser.exe [-q] [-u \"Filename\"] ... .\nSee Readme.txt for more informations.";

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* exe = getenv("VBROWSER_EXE");
        ASSERT_NE(exe, nullptr) << "VBROWSER_EXE names the program to start";
        // A directory of its own, so that the settings file is this run's.
        directory = gui::MakeScratchDirectory("startup");
        ASSERT_TRUE(CopyFileA(gui::WindowsPath(exe).c_str(), (directory + "VBrowser.exe").c_str(), FALSE));
    }
    void TearDown() override { gui::EndProgram(&process); }

    void Start(const std::string& arguments)
    {
        gui::EndProgram(&process);
        ASSERT_TRUE(gui::StartProgram(directory + "VBrowser.exe", arguments, directory, &process));
    }
    HWND MainWindow() { return gui::WaitForProcessWindow(process, "Vantorix1Class", "Vantorix1-Browser", BOUND_MS); }
    // Reads and closes the usage message.
    std::string UsageText()
    {
        HWND box = gui::WaitForProcessWindow(process, nullptr, "Vantorix-Commandline-Problem", BOUND_MS);
        std::string text = gui::MessageBoxText(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return text;
    }
    std::string Ini() { return gui::ReadWholeFile(directory + "Vantorix1.ini"); }

    std::string directory;
    PROCESS_INFORMATION process = {};
};

TEST_F(ProgramRun, QuitAloneOrBeforeABadOptionEndsWithoutSettings)
{
    Start("-q");
    EXPECT_EQ(gui::WaitForExit(process, BOUND_MS), 0);
    Start("-q -x");
    EXPECT_EQ(UsageText(), usage);
    EXPECT_EQ(gui::WaitForExit(process, BOUND_MS), 0);
    EXPECT_EQ(Ini(), "<missing>");
}

TEST_F(ProgramRun, BadOptionShowsUsageThenStartsInteractively)
{
    Start("-x -q");
    EXPECT_EQ(UsageText(), usage);
    HWND window = MainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(gui::WaitForExit(process, BOUND_MS), 0);
    EXPECT_NE(Ini(), "<missing>");
}

TEST_F(ProgramRun, SettingsWrittenAndTheWindowReopensWhereItWas)
{
    Start("");
    HWND window = MainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetWindowPos(window, nullptr, 100, 50, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE));
    Sleep(200);
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(gui::WaitForExit(process, BOUND_MS), 0);
    // A first run writes all nine keys, with the defaults for the options.
    EXPECT_EQ(Ini(), "[Vantorix]\r\nLogFile=0\r\nUsePath=0\r\nPort=COM1\r\nBaudrate=57600\r\nDefUplPath=\r\n"
                     "[VantorixPos]\r\nleft=100\r\ntop=50\r\nright=640\r\nbottom=480\r\n");

    Start("");
    window = MainWindow();
    ASSERT_NE(window, nullptr);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(std::to_string(rect.left) + "," + std::to_string(rect.top) + " " + std::to_string(rect.right) + "," +
                  std::to_string(rect.bottom),
              "100,50 740,530");
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(gui::WaitForExit(process, BOUND_MS), 0);
}

}  // namespace
