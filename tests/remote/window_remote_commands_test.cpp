// Delete, parameter list, tool list and the file drop in the real main
// window, with a scripted controller on the line.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/settings.h"
#include "lib/zem_lib.h"
#include "serial/serial_port.h"
#include "tests/remote/window_test_files.h"
#include "tests/gui/main_window_fixture.h"

namespace {

using Texts = std::vector<std::string>;

const char* const ThreeFileListing =
    "Vantorix directory\r\n"
    "(dir) ram\r\n"
    " (dir) cncprg\r\n"
    "  (dir) fixtures\r\n"
    "  10 a.nc\r\n"
    "  20 b.nc\r\n"
    "  30 c.nc\r\n"
    "Free RamDisk: 1048576\r\n"
    "Free FlashDisk: 524288\r\n"
    "\r\n";

class RemoteCommands : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        listing = ThreeFileListing;
        programDir = MakeScratchDirectory("remote");
        strcpy(ProgramDir, programDir.c_str());
        // Besides the listing, the scripted controller answers every other command.
        line.onWrite = [this](ScriptedLine& scripted, const unsigned char* bytes, uint32_t count) {
            std::string text(reinterpret_cast<const char*>(bytes), count);
            commands.push_back(text);
            if (text == "l\r\n") {
                listingRequests++;
                scripted.Queue(listing.c_str());
            } else if (text == "p\r\n") {
                scripted.Queue(std::vector<unsigned char>(parameterAnswer.begin(), parameterAnswer.end()));
            } else if (text == "t\r\n") {
                scripted.Queue(std::vector<unsigned char>(toolAnswer.begin(), toolAnswer.end()));
            } else if (text.rfind("d ", 0) == 0) {
                scripted.Queue("OK\r\n");
            }
        };
    }

    void OpenInCncprg(const std::vector<int>& rows)
    {
        OpenWindow();
        Connect();
        SelectDirectory({"/", "ram", "cncprg"});
        // Rows: "..", fixtures, a.nc, b.nc, c.nc.
        ASSERT_EQ(gui::ReadListNames(FileView), (Texts{"..", "fixtures", "a.nc", "b.nc", "c.nc"}));
        gui::SelectListRows(FileView, rows);
        commands.clear();
        listingRequests = 0;
    }

    Texts DeletesSent() const
    {
        Texts deletes;
        for (const std::string& command : commands)
            if (command.rfind("d ", 0) == 0)
                deletes.push_back(command);
        return deletes;
    }

    std::string FetchedFile(const char* name) { return ReadWholeFile(programDir + name); }

    std::string programDir;
    std::string parameterAnswer = "p\r\nX=1\r\n";
    std::string toolAnswer = "t\r\n";
    Texts commands;
};

TEST_F(RemoteCommands, DeleteAsksForEachFileAndSendsOnlyTheYeses)
{
    OpenInCncprg({0, 1, 2, 3, 4});
    boxes.QueueAnswer(IDYES);
    boxes.QueueAnswer(IDNO);
    boxes.QueueAnswer(IDYES);
    gui::SendCommand(MainWindow, CMD_DELETE);
    gui::PumpPending();

    EXPECT_EQ(boxes.Texts(), (Texts{"/ram/cncprg/a.nc", "/ram/cncprg/b.nc", "/ram/cncprg/c.nc"}));
    for (const gui::CapturedBox& box : boxes.Boxes()) {
        EXPECT_EQ(box.caption, "Really delete ?");
        EXPECT_EQ(box.owner, nullptr);
    }
    EXPECT_EQ(DeletesSent(), (Texts{"d /ram/cncprg/a.nc\r", "d /ram/cncprg/c.nc\r"}));
    EXPECT_EQ(listingRequests, 1);
}

TEST_F(RemoteCommands, DeleteAnsweredNoOrWithOnlyDirectoriesSendsNothing)
{
    OpenInCncprg({2, 3});
    boxes.QueueAnswer(IDNO);
    boxes.QueueAnswer(IDNO);
    gui::SendCommand(MainWindow, CMD_DELETE);
    gui::PumpPending();
    EXPECT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(listingRequests, 0);

    boxes.Clear();
    gui::SelectListRows(FileView, {0, 1});   // the parent row and a directory
    gui::SendCommand(MainWindow, CMD_DELETE);
    gui::PumpPending();
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(commands.empty());
}

TEST_F(RemoteCommands, DeleteStopsAtTheFirstCommandThatCannotBeSent)
{
    OpenInCncprg({2, 3, 4});
    line.failWrites = 1;
    boxes.QueueAnswer(IDYES);
    gui::SendCommand(MainWindow, CMD_DELETE);
    gui::PumpPending();
    EXPECT_EQ(boxes.Texts(), (Texts{"/ram/cncprg/a.nc", "Can't send Command. Please check if Vantorix is connected."}));
    EXPECT_EQ(listingRequests, 0);
}

// A disconnect chosen while the question is open runs inside the question;
// the loop must not send through the closed port afterwards.
TEST_F(RemoteCommands, DeleteEndsWhenThePortWasClosedDuringTheQuestion)
{
    OpenInCncprg({2, 3});
    PostMessageA(MainWindow, WM_COMMAND, CMD_CONNECT, 0);   // handled inside the first question
    boxes.QueueAnswer(IDYES);
    gui::SendCommand(MainWindow, CMD_DELETE);
    gui::PumpPending();
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(boxes.Texts(), (Texts{"/ram/cncprg/a.nc"}));
    EXPECT_TRUE(DeletesSent().empty());
    EXPECT_EQ(line.closes, 1);
}

TEST_F(RemoteCommands, DeleteEndsWhenTheWindowWasDestroyedDuringTheQuestion)
{
    OpenInCncprg({2, 3});
    PostMessageA(MainWindow, WM_COMMAND, CMD_EXIT, 0);
    boxes.QueueAnswer(IDYES);
    gui::SendCommand(MainWindow, CMD_DELETE);
    EXPECT_FALSE(IsWindow(MainWindow));
    EXPECT_TRUE(DeletesSent().empty());
    EXPECT_LE(boxes.Boxes().size(), 1u);
}

TEST_F(RemoteCommands, DeleteNeedsAnIdlePort)
{
    OpenWindow();
    gui::SendCommand(MainWindow, CMD_DELETE);
    Connect();
    ZemSerComSetBusy(ConnectedPort, 1);
    gui::SendCommand(MainWindow, CMD_DELETE);
    ZemSerComSetBusy(ConnectedPort, 0);
    EXPECT_EQ(boxes.Texts(), (Texts{"You must first connect to a Vantorix.", "Serial Port still busy, Upload later."}));
}

TEST_F(RemoteCommands, ParametersLoseTheFirstLineAndGainALineEnd)
{
    OpenWindow();
    Connect();
    gui::SendCommand(MainWindow, CMD_SHOW_PARAMETERS);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(FetchedFile("parameters-from-vantorix.txt"), "X=1\r\n\r\n");
}

TEST_F(RemoteCommands, ToolListOfThreeBytesLeavesTheOlderFile)
{
    OpenWindow();
    Connect();
    WriteWholeFile(programDir + "ToolList-from-vantorix.txt", "older");
    gui::SendCommand(MainWindow, CMD_SHOW_TOOLLIST);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "The Vantorix sent no tool list.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Problem");
    EXPECT_EQ(FetchedFile("ToolList-from-vantorix.txt"), "older");

    boxes.Clear();
    toolAnswer = "t\r\nX";
    gui::SendCommand(MainWindow, CMD_SHOW_TOOLLIST);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(FetchedFile("ToolList-from-vantorix.txt"), "X");
}

TEST_F(RemoteCommands, FetchFailuresAreReportedAndWriteNothing)
{
    OpenWindow();
    Connect();
    ZemSerComSetBusy(ConnectedPort, 1);
    gui::SendCommand(MainWindow, CMD_SHOW_PARAMETERS);
    ZemSerComSetBusy(ConnectedPort, 0);
    parameterAnswer = "";
    gui::SendCommand(MainWindow, CMD_SHOW_PARAMETERS);
    line.failWrites = 1;
    gui::SendCommand(MainWindow, CMD_SHOW_TOOLLIST);
    EXPECT_EQ(boxes.Texts(), (Texts{"Serial Port still busy, Try later.",
                                    "No answer from Vantorix. Please check if it is connected.",
                                    "Can't send Command. Please check if Vantorix is connected."}));
    EXPECT_EQ(FetchedFile("parameters-from-vantorix.txt"), "<missing>");
}

TEST_F(RemoteCommands, DropOfAFileAndAFolderUploadsNothing)
{
    OpenWindow();
    Connect();
    std::string file = programDir + "part.nc";
    WriteWholeFile(file, "G0 X1\r\n");
    std::string folder = programDir + "folder";
    CreateDirectoryA(folder.c_str(), nullptr);
    commands.clear();
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({file, folder})), 0);
    gui::PumpPending();
    EXPECT_EQ(boxes.Texts(), (Texts{"No Folders, only Files please."}));
    EXPECT_TRUE(commands.empty());

    boxes.Clear();
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({file, programDir + "missing.nc"})), 0);
    EXPECT_EQ(boxes.Texts(), (Texts{"No valid File."}));
    EXPECT_TRUE(commands.empty());
}

// The window in front when the next dialog is created.
HWND foregroundAtDialog;

LRESULT CALLBACK NoteForeground(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && gui::ClassName(reinterpret_cast<HWND>(wParam)) == "#32770" && !foregroundAtDialog)
        foregroundAtDialog = GetForegroundWindow();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(RemoteCommands, DropWhileDisconnectedBringsTheWindowForward)
{
    OpenWindow();
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);
    gui::PumpPending();
    ASSERT_NE(GetForegroundWindow(), MainWindow);
    foregroundAtDialog = nullptr;
    HHOOK hook = SetWindowsHookExA(WH_CBT, NoteForeground, nullptr, GetCurrentThreadId());
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({programDir})), 0);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(boxes.Texts(), (Texts{"You must first connect to a Vantorix."}));
    EXPECT_EQ(foregroundAtDialog, MainWindow);
    DestroyWindow(other);
}

}  // namespace
