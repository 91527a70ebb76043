// The main window while a long listing is read: it looks at its queue and says how far it has come. (What other
// programs send it meanwhile is played by the cases sent_*.case.)
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/gui/support/gui_harness.h"

namespace {

using ReadWindow = MainWindowTest;

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
TEST_F(ReadWindow, LongListingLooksAtTheQueueEverySecondAndSaysSo)
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
