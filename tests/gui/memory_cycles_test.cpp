// The browser's memory over many connect, re-read and disconnect cycles: the
// tree's storage is reused from read to read and the port record is freed at
// disconnect, so once the arrays have grown to the largest listing the bytes
// in use in the process's heaps stay flat.
#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "tests/gui/main_window_fixture.h"
#include "tree/device_tree.h"

namespace {

using MemoryCycles = MainWindowTest;

// The bytes in use in every heap of the process: what private bytes grow
// with, counted exactly (Wine reports no private bytes).
SIZE_T HeapBytesInUse()
{
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < 64; i++) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

TEST_F(MemoryCycles, MemoryStaysFlatOverFiftyConnectReReadDisconnectCycles)
{
    // A hundred directories and twelve hundred files, about 30 KB: a tree or
    // view leak per read would show at once.
    std::string large = "Vantorix directory\r\n(dir) ram\r\n";
    for (int folder = 0; folder < 100; folder++) {
        large += " (dir) prog" + std::to_string(folder) + "\r\n";
        for (int file = 0; file < 12; file++)
            large += "  " + std::to_string(1000 + folder * 12 + file) + " O" + std::to_string(file) + "_part.nc\r\n";
    }
    large += "(dir) ROM\r\n 4096 setup.dat\r\nFree RamDisk: 1048576\r\nFree FlashDisk: 524288\r\n\r\n";
    OpenWindow();
    // Connect with the small listing, re-read the large one and the small one
    // again, disconnect (which reads into an empty tree).
    auto cycle = [&] {
        listing = SampleListing;
        Connect();
        ASSERT_NE(ConnectedPort, nullptr);
        listing = large;
        ReRead();
        ASSERT_EQ(TheDeviceTree->arraysInUse, 103u);
        listing = SampleListing;
        ReRead();
        Connect();
        ASSERT_EQ(ConnectedPort, nullptr);
        line.written.clear();   // the test's own records of the line keep their room
        commands.clear();
    };
    for (int i = 0; i < 10; i++)
        cycle();
    SIZE_T warm = HeapBytesInUse();
    for (int i = 0; i < 50; i++)
        cycle();
    printf("heap bytes in use after warm-up %zu, after 50 more cycles %zu\n", warm, HeapBytesInUse());
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(line.opens, 60);
    EXPECT_EQ(line.closes, 60);
    // A port record left behind at each disconnect would add about 10 KB
    // over 50 cycles, one tree of the large listing about 350 KB a cycle.
    EXPECT_LT(HeapBytesInUse(), warm + 4096);
}

}  // namespace
