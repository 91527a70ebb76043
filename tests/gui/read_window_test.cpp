// The main window while a long listing is read: what other programs send it meanwhile waits for the read or ends
// it.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/settings.h"
#include "tests/gui/support/gui_harness.h"
#include "tree/device_tree.h"

namespace {

using ReadWindow = MainWindowTest;

// Tree lines 400 ms apart, past one read time after the third; without an end it is "not correct" when read whole.
const char* const EndlessListing = "Vantorix directory\r\n(dir) ram\r\n{8*}{400} 12 a.nc\r\n{*}";
const char* const LongListing =
    "Vantorix directory\r\n(dir) ram\r\n{8*}{400} 12 a.nc\r\n{*}Free RamDisk: 100\r\nFree FlashDisk: 200\r\n\r\n";

// One message sent to the main window from another thread, as a launcher or the system sends it, delivered at the
// read's first look at its queue. After every look the test notes whether the window or the port had gone.
struct SentDuringRead {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    const char* what;
};
SentDuringRead toSend;
std::thread sender;
LRESULT sentResult;
bool answeredAtOnce;
int looks, windowGoneUnderRead, portClosedUnderRead, closesAtStart;
ScriptedLine* watched;

BOOL WINAPI LookAndSend(LPMSG message, HWND window, UINT first, UINT last, UINT how)
{
    if (looks++ == 0) {
        sender = std::thread([] {
            DWORD_PTR result = 0;
            answeredAtOnce = SendMessageTimeoutA(MainWindow, toSend.message, toSend.wParam, toSend.lParam, SMTO_NORMAL,
                                                 5000, &result);
            sentResult = LRESULT(result);
            if (!answeredAtOnce)   // a loop of the window's own under the read: let go of it
                for (int i = 0; i < 3; i++)
                    PostMessageA(MainWindow, WM_KEYDOWN, VK_ESCAPE, 1);
        });
        // Delivered by the look below, once it waits in the queue.
        gui::WaitUntil([] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; }, 5000);
    }
    BOOL found = PeekMessageA(message, window, first, last, how);
    windowGoneUnderRead += !IsWindow(MainWindow);
    portClosedUnderRead += watched->closes != closesAtStart;
    return found;
}

// Sent during a re-read; the read goes on until the message has been delivered.
void SendDuringReRead(MainWindowTest* test, ScriptedLine* line, const SentDuringRead& sent)
{
    toSend = sent;
    looks = windowGoneUnderRead = portClosedUnderRead = 0;
    answeredAtOnce = false;
    watched = line;
    closesAtStart = line->closes;
    LookAtQueue = LookAndSend;
    gui::Command(MainWindow, CMD_REREAD);
    LookAtQueue = PeekMessageA;
    if (sender.joinable())
        sender.join();
}

// Every kind of close: the window and the port stay until the read has returned, which the close ends at once (one
// attempt, no box); then the one close path runs, and the place is kept for the settings.
TEST_F(ReadWindow, ClosesSentDuringALongListingWaitForTheReadToReturn)
{
    const SentDuringRead closes[] = {{WM_CLOSE, 0, 0, "WM_CLOSE"},
                                     {WM_SYSCOMMAND, SC_CLOSE, 0, "SC_CLOSE"},
                                     {WM_COMMAND, CMD_EXIT, 0, "Exit"},
                                     {WM_QUERYENDSESSION, 0, LPARAM(ENDSESSION_LOGOFF), "WM_QUERYENDSESSION"}};
    for (const SentDuringRead& close : closes) {
        SCOPED_TRACE(close.what);
        gui::quitSeen = false;
        UseSettings("COM3", 57600, 0, 0);   // 20, 20, 800 x 600
        OpenWindow();
        Connect();
        TakeSent();
        listing = EndlessListing;
        SendDuringReRead(this, &line, close);
        EXPECT_GT(looks, 0);
        EXPECT_TRUE(answeredAtOnce);
        EXPECT_EQ(windowGoneUnderRead, 0) << "the window went while the read was under way";
        EXPECT_EQ(portClosedUnderRead, 0) << "the port was closed while the read was under way";
        EXPECT_EQ(TakeSent(), Texts{"l"});
        EXPECT_EQ(TakeBoxes(), Texts{});
        EXPECT_FALSE(IsWindow(MainWindow));
        EXPECT_TRUE(gui::PumpUntil([] { return gui::quitSeen; }, 2000));
        EXPECT_EQ(Settings.WindowRect.right, 820);
        CloseWindow();
        listing = SampleListing;
    }
    EXPECT_EQ(sentResult, TRUE);   // the session may end
}

// A command sent meanwhile runs once the read has returned: a disconnect does not close the port under it. The
// menu, moving and sizing, which would run loops of their own under the read, are refused.
TEST_F(ReadWindow, CommandsSentDuringALongListingWaitForIt)
{
    OpenWindow();
    Connect();
    TakeSent();
    listing = LongListing;
    SendDuringReRead(this, &line, {WM_SYSCOMMAND, SC_KEYMENU, 'f', "the File menu"});
    EXPECT_TRUE(answeredAtOnce);
    EXPECT_EQ(TakeSent(), Texts{"l"});
    EXPECT_EQ(ReadViews().files, Texts{"ram"});   // read whole
    SendDuringReRead(this, &line, {WM_COMMAND, CMD_CONNECT, 0, "Disconnect"});
    EXPECT_TRUE(answeredAtOnce);
    EXPECT_GT(looks, 0);
    EXPECT_EQ(portClosedUnderRead, 0) << "the port was closed while the read was under way";
    gui::PumpPending();
    EXPECT_EQ(TakeSent(), Texts{"l"});
    EXPECT_EQ(TakeBoxes(), Texts{});
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(line.closes, 1);
}

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
