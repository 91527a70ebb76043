// Delete, parameter list, tool list and the file drop in the real main
// window, with a scripted controller on the line.
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "res/resource_ids.h"
#include "app/command_line.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "serial/serial_port.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"
#include "tests/gui/main_window_fixture.h"

namespace {

class RemoteCommands : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        listing = "Vantorix directory\r\n(dir) ram\r\n (dir) cncprg\r\n  (dir) fixtures\r\n  10 a.nc\r\n  20 b.nc\r\n"
                  "  30 c.nc\r\n\r\n";
        programDir = gui::MakeScratchDirectory("remote");
        strcpy(ProgramDir, programDir.c_str());
    }

    // Connected, in /ram/cncprg/ with rows "..", fixtures, a.nc, b.nc, c.nc, these selected.
    void OpenInCncprg(const std::vector<int>& rows)
    {
        OpenWindow();
        Connect();
        SelectDirectory({"/", "ram", "cncprg"});
        ASSERT_EQ(gui::ReadListNames(FileView), (Texts{"..", "fixtures", "a.nc", "b.nc", "c.nc"}));
        gui::SelectListRows(FileView, rows);
        commands.clear();
    }

    // Deletes, answering the questions in order.
    void Delete(std::initializer_list<int> answers)
    {
        for (int answer : answers)
            boxes.QueueAnswer(answer);
        gui::SendCommand(MainWindow, CMD_DELETE);
        gui::PumpPending();
    }

    std::string Fetched(const char* name) { return gui::ReadWholeFile(programDir + name); }

    std::string programDir;
};

TEST_F(RemoteCommands, DeleteAsksForEachFileAndSendsOnlyTheYeses)
{
    OpenInCncprg({0, 1, 2, 3, 4});
    Delete({IDYES, IDNO, IDYES});
    EXPECT_EQ(boxes.Texts(), (Texts{"/ram/cncprg/a.nc", "/ram/cncprg/b.nc", "/ram/cncprg/c.nc"}));
    for (const gui::CapturedBox& box : boxes.Boxes())
        EXPECT_TRUE(box.caption == "Really delete ?" && box.owner == nullptr &&
                    box.style == (MB_YESNO | MB_SETFOREGROUND | MB_TOPMOST));
    // The listing is read again afterwards.
    EXPECT_EQ(commands, (Texts{"d /ram/cncprg/a.nc\r", "d /ram/cncprg/c.nc\r", "l\r\n"}));

    // No to all, or only directories selected: nothing is sent.
    boxes.Clear();
    gui::SelectListRows(FileView, {2, 3});
    commands.clear();
    Delete({IDNO, IDNO});
    EXPECT_EQ(boxes.Boxes().size(), 2u);
    gui::SelectListRows(FileView, {0, 1});
    Delete({});
    EXPECT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_TRUE(commands.empty());
}

TEST_F(RemoteCommands, DeleteStopsAtTheFirstCommandThatCannotBeSent)
{
    OpenInCncprg({2, 3, 4});
    line.failWrites = 1;
    Delete({IDYES});
    EXPECT_EQ(boxes.Texts(), (Texts{"/ram/cncprg/a.nc", "Can't send Command. Please check if Vantorix is connected."}));
    EXPECT_TRUE(commands.empty());
}

// Commands chosen while the question is open run inside it; the loop goes on
// only with the listing that its path and rows came from.
TEST_F(RemoteCommands, DeleteEndsWhenTheListingChangedDuringTheQuestion)
{
    const struct {
        std::vector<unsigned> during;
        Texts sent;
    } rows[] = {
        {{CMD_CONNECT}, {}},                        // disconnect
        {{CMD_CONNECT, CMD_CONNECT}, {"l\r\n"}},    // reconnect, maybe at the same address
        {{CMD_REREAD}, {"l\r\n"}},                  // same port, new listing
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        OpenInCncprg({2, 3});
        for (unsigned id : row.during)
            PostMessageA(MainWindow, WM_COMMAND, id, 0);
        Delete({IDYES});
        EXPECT_EQ(boxes.Texts(), (Texts{"/ram/cncprg/a.nc"}));
        EXPECT_EQ(commands, row.sent);
        CloseWindow();
        UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
        boxes.Clear();
    }
}

// Typed text clears the path box selection or moves it to another directory.
TEST_F(RemoteCommands, DeleteRefusesWhenThePathBoxNamesAnotherDirectory)
{
    OpenInCncprg({2});
    SetWindowTextA(GetWindow(PathBox, GW_CHILD), "/ram/");
    Delete({});
    EXPECT_EQ(boxes.Texts(), (Texts{"The path box does not name the directory shown in the file list."}));
    EXPECT_TRUE(commands.empty());
}

// While a failed read's message is open the rows still stand for the
// listing that was thrown away.
TEST_F(RemoteCommands, DeleteFindsNothingWhileAFailedReadIsReported)
{
    OpenInCncprg({2});
    listing = "";
    PostMessageA(MainWindow, WM_COMMAND, CMD_DELETE, 0);
    ReRead();
    EXPECT_EQ(boxes.Texts(), (Texts{"No answer from Vantorix. Please check if it is connected."}));
}

TEST_F(RemoteCommands, DeleteEndsWhenTheWindowWasDestroyedDuringTheQuestion)
{
    OpenInCncprg({2, 3});
    PostMessageA(MainWindow, WM_COMMAND, CMD_EXIT, 0);
    Delete({IDYES});
    EXPECT_FALSE(IsWindow(MainWindow));
    EXPECT_TRUE(commands.empty());
    EXPECT_LE(boxes.Boxes().size(), 1u);
}

TEST_F(RemoteCommands, ParametersAndToolListsReachTheirFiles)
{
    OpenWindow();
    gui::SendCommand(MainWindow, CMD_DELETE);
    Connect();
    ZemSerComSetBusy(ConnectedPort, 1);
    gui::SendCommand(MainWindow, CMD_DELETE);
    gui::SendCommand(MainWindow, CMD_SHOW_PARAMETERS);
    ZemSerComSetBusy(ConnectedPort, 0);
    gui::SendCommand(MainWindow, CMD_SHOW_PARAMETERS);
    EXPECT_EQ(Fetched("parameters-from-vantorix.txt"), "X=1\r\n\r\n");   // 7 bytes

    gui::WriteWholeFile(programDir + "ToolList-from-vantorix.txt", "older");
    gui::SendCommand(MainWindow, CMD_SHOW_TOOLLIST);   // 3 bytes: no tool list
    EXPECT_EQ(Fetched("ToolList-from-vantorix.txt"), "older");
    toolAnswer = "t\r\nX";
    gui::SendCommand(MainWindow, CMD_SHOW_TOOLLIST);
    EXPECT_EQ(Fetched("ToolList-from-vantorix.txt"), "X");

    parameterAnswer = "";
    gui::SendCommand(MainWindow, CMD_SHOW_PARAMETERS);
    line.failWrites = 1;
    gui::SendCommand(MainWindow, CMD_SHOW_TOOLLIST);
    EXPECT_EQ(boxes.Texts(), (Texts{"You must first connect to a Vantorix.", "Serial Port still busy, Upload later.",
                                    "Serial Port still busy, Try later.", "The Vantorix sent no tool list.",
                                    "No answer from Vantorix. Please check if it is connected.",
                                    "Can't send Command. Please check if Vantorix is connected."}));
    EXPECT_EQ(Fetched("parameters-from-vantorix.txt"), "X=1\r\n\r\n");
    EXPECT_EQ(Fetched("ToolList-from-vantorix.txt"), "X");

    // A viewer that lets others write does not stop a fetch; one that does is named, and the old list stays.
    boxes.Clear();
    auto hold = [&](const char* name, DWORD sharing) {
        return CreateFileA((programDir + name).c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE viewer = hold("ToolList-from-vantorix.txt", FILE_SHARE_READ | FILE_SHARE_WRITE);
    HANDLE locker = hold("parameters-from-vantorix.txt", FILE_SHARE_READ);
    toolAnswer = "t\r\nY";
    parameterAnswer = "p\r\nX=2\r\n";
    gui::SendCommand(MainWindow, CMD_SHOW_TOOLLIST);
    gui::SendCommand(MainWindow, CMD_SHOW_PARAMETERS);
    CloseHandle(viewer);
    CloseHandle(locker);
    EXPECT_EQ(boxes.Texts(), (Texts{"Can't write parameters-from-vantorix.txt."}));
    EXPECT_EQ(Fetched("ToolList-from-vantorix.txt"), "Y");
    EXPECT_EQ(Fetched("parameters-from-vantorix.txt"), "X=1\r\n\r\n");
}

int busyAtThreadStart = -1;

TEST_F(RemoteCommands, UploadsThatCannotGoAheadSendNothing)
{
    OpenWindow();
    Connect();
    std::string file = programDir + "part.nc", folder = programDir + "folder";
    gui::WriteWholeFile(file, "G0 X1\r\n");
    CreateDirectoryA(folder.c_str(), nullptr);
    commands.clear();
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(gui::MakeDrop({file, folder})), 0);
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(gui::MakeDrop({file, programDir + "missing.nc"})), 0);
    // The files of an automatic upload wait for their listing and stay.
    AutoMode = 1;
    strcpy(TheUploadJob.fileList, "auto.nc");
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(gui::MakeDrop({file})), 0);
    AutoMode = 0;
    EXPECT_STREQ(TheUploadJob.fileList, "auto.nc");
    // A path longer than the open-file dialog's buffer.
    std::string deep = programDir + std::string(180, 'd');
    CreateDirectoryA(deep.c_str(), nullptr);
    gui::WriteWholeFile(deep + "\\part.nc", "G0\r\n");
    boxes.onDialog = [&](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, (deep + "\\part.nc").c_str());
        SetDlgItemTextA(dialog, 0x480, (deep + "\\part.nc").c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    };
    gui::SendCommand(MainWindow, CMD_UPLOAD);
    gui::PumpPending();
    boxes.onDialog = nullptr;
    EXPECT_TRUE(commands.empty());
    // A worker that cannot be started: the port, already taken for it, is given back.
    auto startThread = StartUploadThread;
    StartUploadThread = [](UploadJob* job) -> HANDLE {
        busyAtThreadStart = ZemSerComIsBusy(job->port);
        return nullptr;
    };
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(gui::MakeDrop({file})), 0);
    gui::PumpPending();
    StartUploadThread = startThread;
    EXPECT_EQ(busyAtThreadStart, 1);
    EXPECT_EQ(ZemSerComIsBusy(ConnectedPort), 0);
    EXPECT_EQ(commands, (Texts{"l\r\n"}));   // only the read after the upload
    EXPECT_EQ(boxes.Texts(), (Texts{"No Folders, only Files please.", "No valid File.",
                                    "The automatic upload is still waiting, Upload later.", "Filename is too long",
                                    "There was an error trying to upload."}));
}

// The window in front when the next dialog is created.
HWND foregroundAtDialog;

TEST_F(RemoteCommands, DropWhileDisconnectedBringsTheWindowForward)
{
    OpenWindow();
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);
    gui::PumpPending();
    ASSERT_NE(GetForegroundWindow(), MainWindow);
    foregroundAtDialog = nullptr;
    HHOOK hook = SetWindowsHookExA(
        WH_CBT,
        [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (code == HCBT_CREATEWND && gui::ClassName(reinterpret_cast<HWND>(wParam)) == "#32770" &&
                !foregroundAtDialog)
                foregroundAtDialog = GetForegroundWindow();
            return CallNextHookEx(nullptr, code, wParam, lParam);
        },
        nullptr, GetCurrentThreadId());
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(gui::MakeDrop({programDir})), 0);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(boxes.Texts(), (Texts{"You must first connect to a Vantorix."}));
    EXPECT_EQ(foregroundAtDialog, MainWindow);
    DestroyWindow(other);
}

}  // namespace
