// The main window with a scripted controller on the line.
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "app/settings.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"
#include "tests/gui/support/gui_harness.h"
#include "tests/support/scratch_dir.h"
#include "tree/device_tree.h"

namespace {

using Window = MainWindowTest;

TEST_F(Window, BrowseAndDeleteScenario)
{
    const std::pair<std::string, unsigned> commandIds[] = {{"connect", CMD_CONNECT}, {"reread", CMD_REREAD},
        {"delete", CMD_DELETE}, {"params", CMD_SHOW_PARAMETERS}, {"exit", CMD_EXIT}, {"info", CMD_INFO}};
    UseSettings("", 57600, 0, 0);
    OpenWindow();
    for (const Row& step : ReadRows("gui/browse.rows")) {
        SCOPED_TRACE(step[0] + " " + step[1]);
        const std::string &act = step[0], &arg = step[1];
        const int number = atoi(arg.c_str());
        if ((act == "connect" || act == "reread") && !arg.empty())
            listing = arg;   // the listing the controller answers with from now on
        for (char answer : act == "delete" ? arg : "")
            boxes.answers.push_back(answer == 'Y' ? IDYES : IDNO);
        for (const auto& [name, id] : commandIds) {
            if (act == name)
                gui::Command(MainWindow, id);
            if (act == "post" && arg == name)
                PostMessageA(MainWindow, WM_COMMAND, id, 0);
        }
        if (act == "listing") {
            listing = arg;
        } else if (act == "tree") {
            Texts path = {""};
            for (char c : arg)
                c == '|' ? path.push_back("") : path.back().push_back(c);
            SelectDirectory(path);
        } else if (act == "click") {   // a double click on a row, as the list tells its parent
            RECT rect = {};
            ListView_GetItemRect(FileView, number, &rect, LVIR_LABEL);
            NMITEMACTIVATE activate = {{FileView, UINT_PTR(GetDlgCtrlID(FileView)), UINT(NM_DBLCLK)}, number, 0, 0, 0,
                                       0, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, 0, 0};
            SendMessageA(MainWindow, WM_NOTIFY, activate.hdr.idFrom, reinterpret_cast<LPARAM>(&activate));
        } else if (act == "return" || act == "select") {   // a return: at the row, focused and selected alone
            UINT state = act == "return" ? LVIS_SELECTED | LVIS_FOCUSED : LVIS_SELECTED;
            ListView_SetItemState(FileView, -1, 0, state);
            for (char row : arg)
                ListView_SetItemState(FileView, row - '0', state, state);
        }
        if (act == "return") {
            NMHDR header = {FileView, static_cast<UINT_PTR>(GetDlgCtrlID(FileView)), static_cast<UINT>(NM_RETURN)};
            SendMessageA(MainWindow, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
        } else if (act == "pathbox" || act == "baud" || act == "pathsel" || act == "baudsel") {   // *sel: untold
            HWND combo = act[0] == 'b' ? BaudBox : PathBox;
            SendMessageA(combo, CB_SETCURSEL, number, 0);
            if (!act.ends_with("sel"))
                SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                             LPARAM(combo));
        } else if (act == "port" || act == "pathtext") {
            SetWindowTextA(act == "port" ? PortEdit : GetWindow(PathBox, GW_CHILD), arg.c_str());
        } else if (act == "failopen" || act == "failwrite") {
            (act == "failopen" ? line.failOpen : line.failWrites) = number;
        } else if (act == "busy") {
            ZemSerComSetBusy(ConnectedPort, number);
        }
        if (act != "post")   // a posted command waits for the delete question
            gui::PumpPending();
        // Every box comes to the front of other programs, with no owner but the version box.
        for (const gui::CapturedBox& box : boxes.boxes)
            EXPECT_TRUE(box.caption == "Vantorix Browser Info"
                            ? box.owner == MainWindow
                            : !box.owner && (box.style & MB_SETFOREGROUND) && (box.style & MB_TOPMOST)) << box.text;
        if (step.size() > 2) {
            EXPECT_EQ(act == "settings" ? std::string(Settings.Port) + " " + std::to_string(Settings.Baudrate)
                                        : State(), step[2]);
        }
    }
    EXPECT_EQ(TheUploadJob.cancelRequested, 1);   // the exit while busy
    EXPECT_FALSE(IsWindow(MainWindow));   // the exit during the question
    EXPECT_TRUE(gui::PumpUntil([] { return gui::quitSeen; }, 2000));
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(line.closes, 4);
}

// The option check marks as "LUD" letters, the two settings behind them and the baud box.
std::string Options()
{
    std::string marks;
    for (unsigned id : {CMD_WRITE_LOGFILE, CMD_UPLOAD_TO_ACTUAL_PATH, CMD_ALWAYS_UPLOAD_DEFAULT})
        marks += (GetMenuState(GetMenu(MainWindow), id, MF_BYCOMMAND) & MF_CHECKED) ? "LUD"[marks.size()] : '-';
    return marks + " " + std::to_string(Settings.LogFile) + std::to_string(Settings.UsePath) + " " +
           gui::WindowText(BaudBox);
}

TEST_F(Window, OptionsAndPlaceAsOpenedChosenAndClosed)
{
    // Use-path but 1 is off, log but 0 on; the first rate that begins with the number; the normal place saved.
    const struct {
        int usePath, logFile, baud, show;
        const char* want;
    } openings[] = {{1, 1, 57600, SW_SHOWNORMAL, "LU- 11 57600"}, {2, -56, 4800, SW_MINIMIZE, "L-D -562 57600"},
                    {0, 0, 1, SW_MAXIMIZE, "--D 00 14400"}, {0, 0, 5, SW_SHOWNORMAL, "--D 00 56000"},
                    {0, 0, 0, SW_SHOWNORMAL, "--D 00 57600"}};
    for (const auto& opening : openings) {
        UseSettings("COM1", opening.baud, opening.usePath, opening.logFile);   // 20, 20, 800 x 600
        OpenWindow();
        EXPECT_EQ(Options(), opening.want);
        ShowWindow(MainWindow, opening.show);
        CloseWindow();
        const WindowRectangle& r = Settings.WindowRect;
        EXPECT_TRUE(r.left == 20 && r.top == 20 && r.right == 820 && r.bottom == 620) << opening.show;
    }
    UseSettings("COM1", 9600, 0, 0);
    Settings.WindowRect = {-32000, -32000, 160, 24};
    OpenWindow();
    EXPECT_NE(MonitorFromWindow(MainWindow, MONITOR_DEFAULTTONULL), nullptr);   // a place on no monitor
    EXPECT_NE(GetWindowLongA(FileView, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    for (unsigned id : {CMD_WRITE_LOGFILE, CMD_UPLOAD_TO_ACTUAL_PATH})
        gui::Command(MainWindow, id);
    EXPECT_EQ(Options(), "LU- 11 9600");
    gui::Command(MainWindow, CMD_ALWAYS_UPLOAD_DEFAULT);
    EXPECT_EQ(Options(), "L-D 10 9600");
    // A port text that cannot be opened is kept, up to 99 characters.
    line.failOpen = 1;
    SetWindowTextA(PortEdit, std::string(150, 'P').c_str());
    Connect();
    EXPECT_EQ(strlen(Settings.Port), 99u);
}

// A viewer that lets others write does not stop a fetch; one that does is named, and the old list stays.
TEST_F(Window, FetchedListsReachTheirFilesUnlessLocked)
{
    std::string dir = gui::ScratchDirectory("lists"), params = dir + "parameters-from-vantorix.txt";
    std::string tools = dir + "ToolList-from-vantorix.txt";
    strcpy(ProgramDir, dir.c_str());
    gui::WriteFileText(params, "older");
    gui::WriteFileText(tools, "older");
    auto hold = [](const std::string& file, DWORD sharing) {
        return CreateFileA(file.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE viewer = hold(tools, FILE_SHARE_READ | FILE_SHARE_WRITE), locker = hold(params, FILE_SHARE_READ);
    OpenWindow();
    Connect();
    toolAnswer = "t\r\nY";
    gui::Command(MainWindow, CMD_SHOW_TOOLLIST);
    gui::Command(MainWindow, CMD_SHOW_PARAMETERS);
    CloseHandle(viewer);
    CloseHandle(locker);
    EXPECT_EQ(State(), "/ [/] ram ROM !Can't write parameters-from-vantorix.txt. >l >t >p");
    EXPECT_EQ(gui::FileText(params) + "|" + gui::FileText(tools), "older|Y");
    // A list that fills the buffer may have lost its end: it is named, and the last list stays.
    toolAnswer = "t\r\n" + std::string(ANSWER_READ_MAX, 'Z');
    gui::Command(MainWindow, CMD_SHOW_TOOLLIST);
    EXPECT_EQ(State(), "/ [/] ram ROM !The tool list is longer than the 262143 bytes the program can read; "
                       "it was not written. >t");
    EXPECT_EQ(gui::FileText(tools), "Y");
}

int busyAtThreadStart = -1;

TEST_F(Window, UploadsThatCannotGoAheadSendNothing)
{
    std::string dir = gui::ScratchDirectory("drop"), file = dir + "part.nc", deep = dir + std::string(180, 'd');
    gui::WriteFileText(file, "G0 X1\r\n");
    CreateDirectoryA(deep.c_str(), nullptr);
    gui::WriteFileText(deep + "\\part.nc", "G0\r\n");
    OpenWindow();
    SetForegroundWindow(GetDesktopWindow());
    SendMessageA(FileView, WM_DROPFILES, gui::MakeDrop({file}), 0);
    EXPECT_EQ(GetForegroundWindow(), MainWindow);   // a drop brings the window forward
    Connect();
    SendMessageA(FileView, WM_DROPFILES, gui::MakeDrop({file, deep}), 0);
    SendMessageA(FileView, WM_DROPFILES, gui::MakeDrop({file, dir + "missing.nc"}), 0);
    // The files of an automatic upload wait for their listing and stay.
    AutoMode = 1;
    strcpy(TheUploadJob.fileList, "auto.nc");
    SendMessageA(FileView, WM_DROPFILES, gui::MakeDrop({file}), 0);
    AutoMode = 0;
    EXPECT_STREQ(TheUploadJob.fileList, "auto.nc");
    // A path longer than the open-file dialog's buffer.
    boxes.onDialog = [&](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, (deep + "\\part.nc").c_str());
        SetDlgItemTextA(dialog, 0x480, (deep + "\\part.nc").c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    };
    gui::Command(MainWindow, CMD_UPLOAD);
    // A worker that cannot be started: the port, already taken for it, is given back.
    auto startThread = StartUploadThread;
    StartUploadThread = [](UploadJob* job) -> HANDLE {
        return busyAtThreadStart = ZemSerComIsBusy(job->port), nullptr;
    };
    SendMessageA(FileView, WM_DROPFILES, gui::MakeDrop({file}), 0);
    gui::PumpPending();
    StartUploadThread = startThread;
    EXPECT_EQ(busyAtThreadStart, 1);
    EXPECT_EQ(ZemSerComIsBusy(ConnectedPort), 0);
    // Only the reads of the connect and after the failed upload.
    EXPECT_EQ(State(), "/ [/] ram ROM !You must first connect to a Vantorix. !No Folders, only Files please. "
                       "!No valid File. !The automatic upload is still waiting, Upload later. "
                       "!Filename is too long !There was an error trying to upload. >l >l");
}

// Tree storage reused from read to read, the port record freed at disconnect: the heaps stay flat.
SIZE_T HeapBytesInUse()
{
    HANDLE heaps[64];
    SIZE_T total = 0;
    for (DWORD i = 0, count = GetProcessHeaps(64, heaps); i < count && i < 64; i++) {
        PROCESS_HEAP_ENTRY entry = {};
        for (HeapLock(heaps[i]); HeapWalk(heaps[i], &entry);)
            total += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? entry.cbData : 0;
        HeapUnlock(heaps[i]);
    }
    return total;
}

TEST_F(Window, MemoryStaysFlatOverFiftyConnectReReadDisconnectCycles)
{
    // A hundred directories and twelve hundred files: a tree or view leak per read would show at once.
    std::string large = "(dir) ram\r\n";
    for (int n = 0; n < 1200; n++)
        large += (n % 12 ? "" : " (dir) p" + std::to_string(n / 12) + "\r\n") + "  9 f" + std::to_string(n) + "\r\n";
    large += "(dir) ROM\r\n 4096 setup.dat\r\nFree RamDisk: 1048576\r\n\r\n";
    OpenWindow();
    SIZE_T warm = 0;
    for (int i = 0; i < 60; i++) {
        warm = i == 10 ? HeapBytesInUse() : warm;
        listing = large;
        Connect();
        ASSERT_EQ(TheDeviceTree->arraysInUse, 103u);
        listing = SampleListing;
        ReRead();
        Connect();
        line.written.clear();   // the test's own records of the line keep their room
        commands.clear();
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(line.closes, 60);
    // A port record left behind per disconnect would add about 10 KB, one large tree about 350 KB a cycle.
    EXPECT_LT(HeapBytesInUse(), warm + 4096);
}

}  // namespace
