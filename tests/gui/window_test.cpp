// The main window with a scripted controller on the line: options and place, memory, the ports a failed connect
// names, the looks at the queue during a long listing. (What the user does step by step is in the cases.)
#include <algorithm>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "serial/serial_ports.h"
#include "tests/gui/support/gui_harness.h"
#include "tree/device_tree.h"

namespace {

using Window = MainWindowTest;

bool Checked(unsigned id)
{
    return (GetMenuState(GetMenu(MainWindow), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

TEST_F(Window, OptionsAndPlaceAsOpenedChosenAndClosed)
{
    // Use-path but 1 is off, log but 0 on; the first rate that begins with the number; the normal place saved.
    const struct {
        int usePath, logFile, baud, show;
        bool logChecked, pathChecked, defaultChecked;
        const char* baudShown;
    } openings[] = {{1, 1, 57600, SW_SHOWNORMAL, true, true, false, "57600"},
                    {2, -56, 4800, SW_MINIMIZE, true, false, true, "57600"},
                    {0, 0, 1, SW_MAXIMIZE, false, false, true, "14400"},
                    {0, 0, 5, SW_SHOWNORMAL, false, false, true, "56000"},
                    {0, 0, 0, SW_SHOWNORMAL, false, false, true, "57600"}};
    for (const auto& opening : openings) {
        SCOPED_TRACE(opening.baud);
        UseSettings("COM1", opening.baud, opening.usePath, opening.logFile);   // 20, 20, 800 x 600
        OpenWindow();
        EXPECT_EQ(Checked(CMD_WRITE_LOGFILE), opening.logChecked);
        EXPECT_EQ(Checked(CMD_UPLOAD_TO_ACTUAL_PATH), opening.pathChecked);
        EXPECT_EQ(Checked(CMD_ALWAYS_UPLOAD_DEFAULT), opening.defaultChecked);
        EXPECT_EQ(Settings.LogFile, opening.logFile);
        EXPECT_EQ(Settings.UsePath, opening.usePath);
        EXPECT_EQ(gui::WindowText(BaudBox), opening.baudShown);
        ShowWindow(MainWindow, opening.show);
        CloseWindow();
        const WindowRectangle& r = Settings.WindowRect;
        EXPECT_EQ(r.left, 20);
        EXPECT_EQ(r.top, 20);
        EXPECT_EQ(r.right, 820);
        EXPECT_EQ(r.bottom, 620);
    }
    UseSettings("COM1", 9600, 0, 0);
    Settings.WindowRect = {-32000, -32000, 160, 24};
    OpenWindow();
    EXPECT_NE(MonitorFromWindow(MainWindow, MONITOR_DEFAULTTONULL), nullptr);   // a place on no monitor
    EXPECT_NE(GetWindowLongA(FileView, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    for (unsigned id : {CMD_WRITE_LOGFILE, CMD_UPLOAD_TO_ACTUAL_PATH})
        gui::Command(MainWindow, id);
    EXPECT_TRUE(Checked(CMD_WRITE_LOGFILE));
    EXPECT_TRUE(Checked(CMD_UPLOAD_TO_ACTUAL_PATH));
    EXPECT_FALSE(Checked(CMD_ALWAYS_UPLOAD_DEFAULT));
    EXPECT_EQ(Settings.LogFile, 1);
    EXPECT_EQ(Settings.UsePath, 1);
    gui::Command(MainWindow, CMD_ALWAYS_UPLOAD_DEFAULT);
    EXPECT_TRUE(Checked(CMD_WRITE_LOGFILE));
    EXPECT_FALSE(Checked(CMD_UPLOAD_TO_ACTUAL_PATH));
    EXPECT_TRUE(Checked(CMD_ALWAYS_UPLOAD_DEFAULT));
    EXPECT_EQ(Settings.UsePath, 0);
    EXPECT_EQ(gui::WindowText(BaudBox), "9600");
}

// Tree storage reused from read to read, the port record freed at disconnect: the heaps stay flat.
SIZE_T HeapBytesInUse()
{
    HANDLE heaps[64];
    SIZE_T total = 0;
    for (DWORD i = 0, count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64); i < count; i++) {
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
    const long long growth = static_cast<long long>(HeapBytesInUse()) - static_cast<long long>(warm);
    EXPECT_LT(growth, 4096);
}

// The ports of the Wine prefix as Windows keeps them (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM): COM1 to COM9 and COM12
// mapped by scripts/wine-prefix.sh, maybe more of the host's. The registry lists COM12 before COM3.
TEST_F(Window, FailedConnectNamesTheSerialPortsOfThisPc)
{
    ListPcSerialPorts = ListSerialPorts;
    OpenWindow();
    line.failOpen = 1;
    Connect();
    Texts shown = TakeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    const std::string prefix = "Can't open Serial Port.\nSerial ports on this PC: COM1, COM2, COM3, COM4, COM5, COM6, "
                               "COM7, COM8, COM9, ";
    EXPECT_EQ(shown[0].substr(0, prefix.size()), prefix);
    EXPECT_NE(shown[0].find(", COM12"), std::string::npos) << shown[0];
    EXPECT_EQ(shown[0].back(), '.') << shown[0];
}

// Tree lines 400 ms apart, past one read time after the third.
const char* const LongListing =
    "Vantorix directory\r\n(dir) ram\r\n{8*}{400} 12 a.nc\r\n{*}Free RamDisk: 100\r\nFree FlashDisk: 200\r\n\r\n";
const ScriptedLine* watched;
std::vector<uint32_t> lookTimes;   // on the line's clock
std::string freeSpaceAtLook;

BOOL WINAPI NoteLook(LPMSG message, HWND window, UINT first, UINT last, UINT how)
{
    lookTimes.push_back(watched->clock.now);
    freeSpaceAtLook = gui::WindowText(FreeSpaceText);
    return PeekMessageA(message, window, first, last, how);
}

// Windows takes a window as hung after 5 seconds without a look at its queue: a long listing looks at least every
// second and says how far it has come.
TEST_F(Window, LongListingLooksAtTheQueueEverySecondAndSaysSo)
{
    OpenWindow();
    Connect();
    watched = &line;
    listing = LongListing;
    LookAtQueue = NoteLook;
    ReRead();
    LookAtQueue = PeekMessageA;
    ASSERT_GE(lookTimes.size(), 2u);
    for (size_t i = 1; i < lookTimes.size(); i++)
        EXPECT_LE(lookTimes[i] - lookTimes[i - 1], 1000u) << "look " << i;
    // The last look comes before the last tree line: the first two lines and seven of the eight, 31 + 7 x 10.
    EXPECT_EQ(freeSpaceAtLook, "Reading directories: 101 bytes");
    EXPECT_EQ(gui::WindowText(FreeSpaceText), "  Available RamDisk: 100 Bytes, FlashDisk: 200 Bytes");
    EXPECT_EQ(ReadViews().files, Texts{"ram"});
}

}  // namespace
