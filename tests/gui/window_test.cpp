// The main window with a scripted controller on the line: its controls and
// options, browsing, the remote-file commands and their guards, the drop, and
// memory over many reads.
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "app/settings.h"
#include "serial/serial_port.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"
#include "tests/gui/support/gui_harness.h"
#include "tree/device_tree.h"

namespace {

using Window = MainWindowTest;

// One user action and, when want is set, the State() after it.
struct Step {
    const char* act;
    const char* arg;
    const char* want;
};

const char* const RemoteListing =
    "(dir) ram\r\n (dir) cncprg\r\n  (dir) fixtures\r\n  10 a.nc\r\n  20 b.nc\r\n  30 c.nc\r\n\r\n";

// Names of 40 characters nest past the 199 characters a path may have.
const std::string DeepListing = [] {
    std::string deep = "(dir) top\r\n";
    for (int level = 1; level <= 6; level++)
        deep += std::string(level, ' ') + "(dir) " + std::string(40, 'd') + std::to_string(level) + "\r\n";
    return deep + std::string(7, ' ') + "12 deep.nc\r\n\r\n";
}();

// A scenario of browsing and deleting, each step on what the one before left.
// The argument of connect and reread, when given, is the listing from then on;
// that of delete, the answers to its questions.
const Step Browse[] = {
    {"delete", "", " [] !You must first connect to a Vantorix."},
    // The port and speed entered are kept when the port text is empty or cannot be opened.
    {"baudsel", "6", nullptr}, {"connect", "", " [] !Please enter a Port."}, {"settings", "", " 115200"},
    {"port", "  COM9 text", nullptr}, {"failopen", "1", nullptr}, {"baudsel", "0", nullptr},
    {"connect", "", " [] !Can't open Serial Port."}, {"settings", "", "  COM9 text 9600"},
    {"info", "", " [] !Vantorix-Browser V1.03"},   // the version box belongs to the window
    {"port", "COM3", nullptr}, {"failopen", "0", nullptr},
    {"connect", "", "/ [/] ram ROM >l"},
    {"tree", "/|ROM", "/ROM/ [ROM] .. setup.dat huge.bin"},
    {"tree", "/|ram|empty", "/ram/empty/ [empty] .."},
    {"pathbox", "2", "/ram/cncprg/ [cncprg] .. part1.nc part b.nc"},
    {"click", "0", "/ram/ [ram] .. cncprg empty notes.txt"},   // the parent row
    {"return", "1", "/ram/cncprg/ [cncprg] .. part1.nc part b.nc"},
    {"click", "1", "/ram/cncprg/ [cncprg] .. part1.nc part b.nc"},   // a file: nothing happens
    {"return", "0", "/ram/ [ram] .. cncprg empty notes.txt"},
    {"click", "0", "/ [/] ram ROM"},   // the root has no parent row
    {"click", "0", "/ram/ [ram] .. cncprg empty notes.txt"},
    // A baud box choice also runs the path box handler: the tree follows the path box.
    {"pathsel", "4", nullptr}, {"baud", "6", "/ROM/ [ROM] .. setup.dat huge.bin"},
    // A re-read returns to the directory shown before, else to the file's directory or the root.
    {"tree", "/|ram|cncprg", nullptr},
    {"reread", "(dir) ram\r\n (dir) cncprg\r\n  1 part1.nc\r\n  7 new.nc\r\n(dir) ROM\r\n\r\n",
     "/ram/cncprg/ [cncprg] .. part1.nc new.nc >l"},
    {"return", "0", "/ram/ [ram] .. cncprg"},   // the tree followed the directory shown
    {"tree", "/|ram|cncprg", nullptr},
    {"reread", "(dir) ram\r\n 5 cncprg\r\n (dir) cncprg\r\n  6 in.nc\r\n\r\n",   // a file of that name first
     "/ram/cncprg/ [cncprg] .. in.nc >l"},
    {"reread", "(dir) ram\r\n 5 cncprg\r\n\r\n", "/ram/ [ram] .. cncprg >l"},
    {"reread", "(dir) top\r\n 1 a\r\n(dir) ROM\r\n\r\n", "/ [/] top ROM >l"},
    // Names that differ only in case, repeat, or read "..".
    {"reread", "(dir) ram\r\n (dir) Data\r\n  1 upper.nc\r\n (dir) data\r\n  2 lower.nc\r\n (dir) ..\r\n"
               "  3 inside.nc\r\n (dir) x\r\n  4 first.nc\r\n (dir) x\r\n  5 second.nc\r\n\r\n", "/ [/] ram >l"},
    {"tree", "/|ram|data", "/ram/data/ [data] .. lower.nc"},
    {"tree", "/|ram", nullptr}, {"click", "3", "/ram/../ [..] .. inside.nc"},
    {"tree", "/|ram", nullptr}, {"click", "5", "/ram/x/ [x] .. second.nc"},
    // Directories too deep for a path stay in the tree only; their files are never handed to a command.
    {"reread", DeepListing.c_str(), "/ [/] top >l"},
    {"click", "0", nullptr}, {"click", "1", nullptr}, {"click", "1", nullptr}, {"click", "1", nullptr},
    {"click", "1", nullptr}, {"click", "1", nullptr}, {"click", "1", nullptr}, {"select", "1", nullptr},
    {"delete", "", " [dddddddddddddddddddddddddddddddddddddddd6] .. deep.nc"},
    {"reread", "", "/ [/] top >l"},
    // Disconnect empties the views; a failed listing stays connected, and then notifications do nothing.
    {"connect", "", " []"},
    {"connect", "no directories here\r\n\r\n", " [] !The Vantorix-answer was not correct. Please try to update "
                                               "again. >l >l"},
    {"return", "0", " []"}, {"pathbox", "0", " []"},
    // Delete asks for each selected file and sends only the yeses, then reads again.
    {"reread", RemoteListing, "/ [/] ram >l"},
    {"tree", "/|ram|cncprg", nullptr}, {"select", "01234", nullptr},
    {"delete", "YNY", "/ram/cncprg/ [cncprg] .. fixtures a.nc b.nc c.nc !/ram/cncprg/a.nc !/ram/cncprg/b.nc "
                      "!/ram/cncprg/c.nc >d /ram/cncprg/a.nc >d /ram/cncprg/c.nc >l"},
    {"select", "23", nullptr},
    {"delete", "", "/ram/cncprg/ [cncprg] .. fixtures a.nc b.nc c.nc !/ram/cncprg/a.nc !/ram/cncprg/b.nc"},
    {"select", "01", nullptr},   // directories only
    {"delete", "", "/ram/cncprg/ [cncprg] .. fixtures a.nc b.nc c.nc"},
    // It stops at the first command that cannot be sent.
    {"select", "234", nullptr}, {"failwrite", "", nullptr},
    {"delete", "Y", "/ram/cncprg/ [cncprg] .. fixtures a.nc b.nc c.nc !/ram/cncprg/a.nc "
                    "!Can't send Command. Please check if Vantorix is connected."},
    // Typed text that names another directory.
    {"pathtext", "/ram/", nullptr},
    {"delete", "", "/ram/ [cncprg] .. fixtures a.nc b.nc c.nc !The path box does not name the directory shown in "
                   "the file list."},
    // Commands chosen during the question run inside it; the loop goes on only
    // with the listing its path and rows came from.
    {"pathbox", "2", nullptr}, {"select", "23", nullptr}, {"post", "reread", nullptr},
    {"delete", "Y", "/ram/cncprg/ [cncprg] .. fixtures a.nc b.nc c.nc !/ram/cncprg/a.nc >l"},
    {"select", "23", nullptr}, {"post", "connect", nullptr}, {"post", "connect", nullptr},   // maybe the same address
    {"delete", "Y", "/ [/] ram !/ram/cncprg/a.nc >l"},
    {"tree", "/|ram|cncprg", nullptr}, {"select", "23", nullptr}, {"post", "connect", nullptr},
    {"delete", "Y", " [] !/ram/cncprg/a.nc"},
    // While a failed read's message is open the rows stand for a listing thrown away.
    {"connect", "", nullptr}, {"tree", "/|ram|cncprg", nullptr}, {"select", "2", nullptr},
    {"listing", "", nullptr}, {"post", "delete", nullptr},
    {"reread", "", " [] !No answer from Vantorix. Please check if it is connected. >l >l >l"},
    // A busy port refuses commands; exit asks the upload to cancel and closes when it has ended.
    {"reread", RemoteListing, "/ [/] ram >l"},
    {"busy", "1", nullptr}, {"reread", "", nullptr}, {"connect", "", nullptr}, {"delete", "", nullptr},
    {"params", "", nullptr},
    {"exit", "", "/ [/] ram !Serial Port still busy, Update later. !Serial Port still busy, Disconnect later. "
                 "!Serial Port still busy, Upload later. !Serial Port still busy, Try later."},
    // An exit chosen during the delete question ends the loop.
    {"busy", "0", nullptr}, {"tree", "/|ram|cncprg", nullptr}, {"select", "23", nullptr}, {"post", "exit", nullptr},
    {"delete", "Y", nullptr},
};

// A double click on a file list row, as the list tells its parent.
void DoubleClickRow(int row)
{
    RECT rect = {};
    ListView_GetItemRect(FileView, row, &rect, LVIR_LABEL);
    NMITEMACTIVATE activate = {};
    activate.hdr = {FileView, static_cast<UINT_PTR>(GetDlgCtrlID(FileView)), static_cast<UINT>(NM_DBLCLK)};
    activate.iItem = row;
    activate.ptAction = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    SendMessageA(MainWindow, WM_NOTIFY, activate.hdr.idFrom, reinterpret_cast<LPARAM>(&activate));
}

void SelectRows(const std::string& rows, UINT state)
{
    ListView_SetItemState(FileView, -1, 0, state);
    for (char row : rows)
        ListView_SetItemState(FileView, row - '0', state, state);
}

TEST_F(Window, BrowseAndDeleteScenario)
{
    const struct {
        const char* name;
        unsigned id;
    } commandIds[] = {{"connect", CMD_CONNECT}, {"reread", CMD_REREAD}, {"delete", CMD_DELETE},
                      {"params", CMD_SHOW_PARAMETERS}, {"exit", CMD_EXIT}, {"info", CMD_INFO}};
    UseSettings("", 57600, 0, 0);
    OpenWindow();
    for (const Step& step : Browse) {
        SCOPED_TRACE(std::to_string(&step - Browse) + " " + step.act + " " + step.arg);
        const std::string act = step.act, arg = step.arg;
        const int number = atoi(step.arg);
        if ((act == "connect" || act == "reread") && !arg.empty())
            listing = arg;   // the listing the controller answers with from now on
        for (char answer : act == "delete" ? arg : "")
            boxes.answers.push_back(answer == 'Y' ? IDYES : IDNO);
        for (const auto& command : commandIds) {
            if (act == command.name)
                gui::Command(MainWindow, command.id);
            if (act == "post" && arg == command.name)
                PostMessageA(MainWindow, WM_COMMAND, command.id, 0);
        }
        if (act == "listing") {
            listing = arg;
        } else if (act == "tree") {
            Texts path = {""};
            for (char c : arg)
                c == '|' ? path.push_back("") : path.back().push_back(c);
            SelectDirectory(path);
        } else if (act == "click") {
            DoubleClickRow(number);
        } else if (act == "return") {   // at the row, focused and selected alone
            SelectRows(arg, LVIS_SELECTED | LVIS_FOCUSED);
            NMHDR header = {FileView, static_cast<UINT_PTR>(GetDlgCtrlID(FileView)), static_cast<UINT>(NM_RETURN)};
            SendMessageA(MainWindow, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
        } else if (act == "pathbox" || act == "baud") {
            gui::ChooseComboItem(act == "baud" ? BaudBox : PathBox, number);
        } else if (act == "pathsel" || act == "baudsel") {   // chosen without telling the window
            SendMessageA(act == "baudsel" ? BaudBox : PathBox, CB_SETCURSEL, number, 0);
        } else if (act == "port") {
            SetWindowTextA(PortEdit, step.arg);
        } else if (act == "failopen") {
            line.failOpen = number;
        } else if (act == "pathtext") {
            SetWindowTextA(GetWindow(PathBox, GW_CHILD), step.arg);
        } else if (act == "select") {
            SelectRows(arg, LVIS_SELECTED);
        } else if (act == "failwrite") {
            line.failWrites = 1;
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
        if (step.want) {
            std::string settings = std::string(Settings.Port) + " " + std::to_string(Settings.Baudrate);
            EXPECT_EQ(act == "settings" ? settings : State(), step.want);
        }
    }
    EXPECT_EQ(TheUploadJob.cancelRequested, 1);   // the exit while busy
    EXPECT_FALSE(IsWindow(MainWindow));   // the exit during the question
    EXPECT_TRUE(gui::PumpUntil([] { return gui::quitSeen; }, 2000));
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(line.closes, 4);
}

// The check marks of the log and the two upload options as "LUD" letters, the
// two settings behind them and the baud box's choice.
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
    // Any use-path value but 1 means the default directory; any log value but 0 is on; the baud
    // box selects the first rate that begins with the saved number. The normal place is saved.
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
        EXPECT_EQ(std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right) + "," +
                      std::to_string(r.bottom), "20,20 820,620") << opening.show;
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

// Each fetch as "box text|parameter file|tool list file".
TEST_F(Window, ParametersAndToolListsReachTheirFiles)
{
    std::string dir = gui::ScratchDirectory("lists"), params = dir + "parameters-from-vantorix.txt";
    std::string tools = dir + "ToolList-from-vantorix.txt";
    strcpy(ProgramDir, dir.c_str());
    auto fetch = [&](unsigned id, const char* answer) {
        (id == CMD_SHOW_PARAMETERS ? parameterAnswer : toolAnswer) = answer;
        gui::Command(MainWindow, id);
        std::string texts = boxes.boxes.empty() ? "" : boxes.boxes[0].text;
        boxes.boxes.clear();
        return texts + "|" + gui::FileText(params) + "|" + gui::FileText(tools);
    };
    OpenWindow();
    Connect();
    gui::WriteFileText(tools, "older");
    EXPECT_EQ(fetch(CMD_SHOW_PARAMETERS, "p\r\nX=1\r\n"), "|X=1\r\n\r\n|older");   // 7 bytes
    EXPECT_EQ(fetch(CMD_SHOW_TOOLLIST, "t\r\n"), "The Vantorix sent no tool list.|X=1\r\n\r\n|older");   // 3 bytes
    EXPECT_EQ(fetch(CMD_SHOW_TOOLLIST, "t\r\nX"), "|X=1\r\n\r\n|X");
    EXPECT_EQ(fetch(CMD_SHOW_PARAMETERS, ""),
              "No answer from Vantorix. Please check if it is connected.|X=1\r\n\r\n|X");
    line.failWrites = 1;
    EXPECT_EQ(fetch(CMD_SHOW_TOOLLIST, "t\r\nY"),
              "Can't send Command. Please check if Vantorix is connected.|X=1\r\n\r\n|X");
    // A viewer that lets others write does not stop a fetch; one that does is named, and the old list stays.
    auto hold = [](const std::string& file, DWORD sharing) {
        return CreateFileA(file.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE viewer = hold(tools, FILE_SHARE_READ | FILE_SHARE_WRITE), locker = hold(params, FILE_SHARE_READ);
    EXPECT_EQ(fetch(CMD_SHOW_TOOLLIST, "t\r\nY"), "|X=1\r\n\r\n|Y");
    EXPECT_EQ(fetch(CMD_SHOW_PARAMETERS, "p\r\nX=2\r\n"),
              "Can't write parameters-from-vantorix.txt.|X=1\r\n\r\n|Y");
    CloseHandle(viewer);
    CloseHandle(locker);
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

// The tree's storage is reused from read to read and the port record freed at
// disconnect: once the arrays have grown the bytes in use in the heaps stay flat.
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
    std::string large = "Vantorix directory\r\n(dir) ram\r\n";
    for (int folder = 0; folder < 100; folder++) {
        large += " (dir) prog" + std::to_string(folder) + "\r\n";
        for (int file = 0; file < 12; file++)
            large += "  " + std::to_string(1000 + folder * 12 + file) + " O" + std::to_string(file) + "_part.nc\r\n";
    }
    large += "(dir) ROM\r\n 4096 setup.dat\r\nFree RamDisk: 1048576\r\nFree FlashDisk: 524288\r\n\r\n";
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
