// The main window while a long answer is read: what other programs send it meanwhile waits for the read or ends
// it, and Esc ends a fetch without a file.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

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
int looks, goneUnderRead, closesAtStart;
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
    goneUnderRead += !IsWindow(MainWindow) || watched->closes != closesAtStart;
    return found;
}

// Sent during a re-read; the read goes on until the message has been delivered.
void SendDuringReRead(MainWindowTest* test, ScriptedLine* line, const SentDuringRead& sent)
{
    toSend = sent;
    looks = goneUnderRead = 0;
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
        EXPECT_EQ(goneUnderRead, 0) << "the window or the port went while the read was under way";
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
    EXPECT_EQ(goneUnderRead, 0) << "the port was closed while the read was under way";
    gui::PumpPending();
    EXPECT_EQ(TakeSent(), Texts{"l"});
    EXPECT_EQ(TakeBoxes(), Texts{});
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(line.closes, 1);
}

// Esc during a long fetch: no file is written or opened, an older one stays, and nothing is said. The rest of that
// answer is waited out before the next command, so the next list is the controller's own.
TEST_F(ReadWindow, EscDuringALongListFetchWritesNothing)
{
    std::string dir = gui::ScratchDirectory("escape"), params = dir + "parameters-from-vantorix.txt";
    strcpy(ProgramDir, dir.c_str());
    gui::WriteFileText(params, "older");
    OpenWindow();
    Connect();
    TakeSent();
    parameterAnswer = "p\r\n{8*}{400}X=1\r\n{*}";
    toolAnswer = "t\r\nT1\r\n";
    PostMessageA(MainWindow, WM_KEYDOWN, VK_ESCAPE, 1);
    gui::Command(MainWindow, CMD_SHOW_PARAMETERS);
    EXPECT_EQ(TakeSent(), Texts{"p"});
    EXPECT_EQ(TakeBoxes(), Texts{});
    EXPECT_EQ(gui::FileText(params), "older");
    EXPECT_EQ(gui::WindowText(FreeSpaceText), "  Available RamDisk: 1048576 Bytes, FlashDisk: 524288 Bytes");
    EXPECT_EQ(ReadViews().files, (Texts{"ram", "ROM"}));   // the listing stays
    const uint32_t escapedAt = line.clock.now;
    gui::Command(MainWindow, CMD_SHOW_TOOLLIST);
    EXPECT_EQ(TakeSent(), Texts{"t"});
    EXPECT_EQ(TakeBoxes(), Texts{});
    EXPECT_EQ(gui::FileText(dir + "ToolList-from-vantorix.txt"), "T1\r\n");
    EXPECT_GE(line.clock.now - escapedAt, 2000u);   // the rest of the parameters came first
}

}  // namespace
