// The main window with a scripted controller on the line: memory, the ports a failed connect names. (What the user
// does step by step is in the cases.)
#include <algorithm>
#include <string>

#include "app/commands.h"
#include "serial/serial_ports.h"
#include "tests/gui/support/gui_harness.h"
#include "tree/device_tree.h"

namespace {

using Window = MainWindowTest;

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

}  // namespace
