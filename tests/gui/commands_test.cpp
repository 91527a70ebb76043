// Connect, re-read, exit, the options and the version box, with their guards
// and messages.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/settings.h"
#include "serial/serial_port.h"
#include "tests/gui/main_window_fixture.h"

namespace {

using Commands = MainWindowTest;
using Texts = std::vector<std::string>;

TEST_F(Commands, ReReadNeedsAConnection)
{
    OpenWindow();
    ReRead();
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    const gui::CapturedBox& box = boxes.Boxes()[0];
    EXPECT_EQ(box.text, "You must first connect to a Vantorix.");
    EXPECT_EQ(box.caption, "Problem");
    EXPECT_EQ(box.buttonIds, (std::vector<int>{IDOK}));
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(listingRequests, 0);
}

TEST_F(Commands, EmptyPortTextStopsButKeepsTheNewBaudRate)
{
    UseSettings("", 57600, 0, 0);
    OpenWindow();
    SendMessageA(BaudBox, CB_SETCURSEL, 6, 0);
    Connect();
    EXPECT_EQ(boxes.Texts(), (Texts{"Please enter a Port."}));
    EXPECT_EQ(Settings.Baudrate, 115200);
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(line.opens, 0);
}

TEST_F(Commands, PortThatCannotBeOpenedKeepsWhatWasEntered)
{
    OpenWindow();
    line.failOpen = 1;
    SetWindowTextA(PortEdit, "  COM9 text");
    SendMessageA(BaudBox, CB_SETCURSEL, 0, 0);
    Connect();
    EXPECT_EQ(boxes.Texts(), (Texts{"Can't open Serial Port."}));
    EXPECT_STREQ(Settings.Port, "  COM9 text");
    EXPECT_EQ(Settings.Baudrate, 9600);
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(gui::WindowText(ConnectButton), "Connect");
}

TEST_F(Commands, PortTextIsTakenUpToNinetyNineCharacters)
{
    OpenWindow();
    std::string longName(150, 'P');
    // Without a horizontal scroll the edit holds what fits; set it directly.
    SendMessageA(PortEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longName.c_str()));
    line.failOpen = 1;
    Connect();
    EXPECT_EQ(strlen(Settings.Port), 99u);
}

TEST_F(Commands, BusyPortRefusesReReadDisconnectAndExit)
{
    OpenWindow();
    Connect();
    ASSERT_NE(ConnectedPort, nullptr);
    ZemSerComSetBusy(ConnectedPort, 1);
    ReRead();
    Connect();
    gui::SendCommand(MainWindow, CMD_EXIT);
    gui::PumpPending();
    EXPECT_EQ(boxes.Texts(), (Texts{"Serial Port still busy, Update later.", "Serial Port still busy, Disconnect later.",
                                    "Serial Port still busy, Exit later."}));
    EXPECT_TRUE(IsWindow(MainWindow));
    EXPECT_NE(ConnectedPort, nullptr);
    EXPECT_EQ(listingRequests, 1);
    // Options and the version box still work while busy.
    gui::SendCommand(MainWindow, CMD_UPLOAD_TO_ACTUAL_PATH);
    EXPECT_EQ(Settings.UsePath, 1);
    ZemSerComSetBusy(ConnectedPort, 0);
}

TEST_F(Commands, ExitClosesAtOnceWhenNotBusy)
{
    OpenWindow();
    Connect();
    SetWindowPos(MainWindow, nullptr, 30, 40, 700, 500, SWP_NOZORDER);
    gui::PumpPending();
    gui::SendCommand(MainWindow, CMD_EXIT);
    EXPECT_FALSE(IsWindow(MainWindow));
    EXPECT_TRUE(gui::PumpUntil([] { return gui::QuitSeen(); }, 2000));
    EXPECT_TRUE(boxes.Boxes().empty());
    // The window's closing closed the port and kept its outer rectangle.
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(line.closes, 1);
    EXPECT_EQ(Settings.WindowRect.left, 30);
    EXPECT_EQ(Settings.WindowRect.top, 40);
    EXPECT_EQ(Settings.WindowRect.right, 730);
    EXPECT_EQ(Settings.WindowRect.bottom, 540);
}

TEST_F(Commands, ClosingByTheFrameSkipsTheBusyTest)
{
    OpenWindow();
    Connect();
    ZemSerComSetBusy(ConnectedPort, 1);
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(MainWindow));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(line.closes, 1);
}

bool Checked(unsigned id)
{
    return (GetMenuState(GetMenu(MainWindow), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

TEST_F(Commands, OptionsSetTheFlagsAndTheirCheckMarks)
{
    OpenWindow();
    gui::SendCommand(MainWindow, CMD_UPLOAD_TO_ACTUAL_PATH);
    EXPECT_EQ(Settings.UsePath, 1);
    EXPECT_TRUE(Checked(CMD_UPLOAD_TO_ACTUAL_PATH));
    EXPECT_FALSE(Checked(CMD_ALWAYS_UPLOAD_DEFAULT));
    gui::SendCommand(MainWindow, CMD_ALWAYS_UPLOAD_DEFAULT);
    EXPECT_EQ(Settings.UsePath, 0);
    EXPECT_FALSE(Checked(CMD_UPLOAD_TO_ACTUAL_PATH));
    EXPECT_TRUE(Checked(CMD_ALWAYS_UPLOAD_DEFAULT));

    gui::SendCommand(MainWindow, CMD_WRITE_LOGFILE);
    EXPECT_EQ(Settings.LogFile, 1);
    EXPECT_TRUE(Checked(CMD_WRITE_LOGFILE));
    gui::SendCommand(MainWindow, CMD_WRITE_LOGFILE);
    EXPECT_EQ(Settings.LogFile, 0);
    EXPECT_FALSE(Checked(CMD_WRITE_LOGFILE));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(Commands, LogFileValueOtherThanOneTogglesToZero)
{
    UseSettings("COM3", 57600, 0, -56);
    OpenWindow();
    EXPECT_TRUE(Checked(CMD_WRITE_LOGFILE));
    gui::SendCommand(MainWindow, CMD_WRITE_LOGFILE);
    EXPECT_EQ(Settings.LogFile, 0);
    EXPECT_FALSE(Checked(CMD_WRITE_LOGFILE));
}

TEST_F(Commands, InfoBoxIsOwnedByTheMainWindow)
{
    OpenWindow();
    gui::SendCommand(MainWindow, CMD_INFO);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    const gui::CapturedBox& box = boxes.Boxes()[0];
    EXPECT_EQ(box.text, "Vantorix-Browser V1.03");
    EXPECT_EQ(box.caption, "Vantorix Browser Info");
    EXPECT_EQ(box.owner, MainWindow);
    EXPECT_EQ(box.buttonIds, (std::vector<int>{IDOK}));
}

TEST_F(Commands, UnknownIdsAndTheButtonsNotificationsAreHarmless)
{
    OpenWindow();
    gui::SendCommand(MainWindow, 0);
    gui::SendCommand(MainWindow, 499);
    gui::SendCommand(MainWindow, 514);
    gui::PumpPending();
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(IsWindow(MainWindow));
}

// A drop handle as the shell would make it, for one name.
HDROP MakeDrop(const char* name)
{
    size_t length = strlen(name);
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + length + 2);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), name, length + 1);
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST_F(Commands, FilesDroppedOnTheListBecomeTheDropCommand)
{
    OpenWindow();
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop("C:\\part.nc")), 0);
    // The drop command's guard answers while disconnected; the handle is released afterwards.
    EXPECT_EQ(boxes.Texts(), (Texts{"You must first connect to a Vantorix."}));
}

TEST_F(Commands, ConnectPassesTheChosenRateAndTheListingRequest)
{
    OpenWindow();
    SendMessageA(BaudBox, CB_SETCURSEL, 1, 0);
    Connect();
    EXPECT_EQ(line.baud, 14400u);
    EXPECT_EQ(Settings.Baudrate, 14400);
    EXPECT_EQ(listingRequests, 1);
    EXPECT_TRUE(boxes.Boxes().empty());
    ReRead();
    EXPECT_EQ(listingRequests, 2);
}

}  // namespace
