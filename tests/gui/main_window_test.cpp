// The main window's controls, where they go, the options and the commands'
// guards and messages.
#include <cstring>

#include "app/app_state.h"
#include "res/resource_ids.h"
#include "app/main_window.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "tests/gui/main_window_fixture.h"

namespace {

using MainWindowControls = MainWindowTest;
using Commands = MainWindowTest;

TEST(LayoutArithmetic, SixHundredFortyByFourEightyAtEightBySixteen)
{
    RECT client = {0, 0, 640, 480};
    ControlPlace places[LAYOUT_PLACE_COUNT];
    ComputeLayout(8, 16, &client, places);
    // h = 24, y = 12, y2 = 48, B = 454, W = 128, P = 403.
    const ControlPlace expected[] = {
        {&PortLabel, 40, 15, 80, 24},       {&PortEdit, 120, 12, 80, 24},        {&BaudLabel, 200, 15, 80, 24},
        {&BaudBox, 280, 12, 80, 144},       {&ConnectButton, 400, 12, 112, 24},  {&ParamsButton, 0, 454, 128, 24},
        {&ToolListButton, 128, 454, 128, 24}, {&DeleteButton, 256, 454, 128, 24}, {&UploadButton, 384, 454, 128, 24},
        {&ReReadButton, 512, 454, 128, 24}, {&TreeView, 0, 48, 200, 403},        {&Separator, 200, 48, 5, 403},
        {&FreeSpaceText, 205, 48, 435, 16}, {&PathBox, 205, 64, 435, 152},       {&FileView, 205, 88, 435, 363},
    };
    for (int i = 0; i < LAYOUT_PLACE_COUNT; i++) {
        const ControlPlace& got = places[i];
        const ControlPlace& want = expected[i];
        EXPECT_TRUE(got.control == want.control && got.x == want.x && got.y == want.y && got.width == want.width &&
                    got.height == want.height)
            << "place " << i << ": " << got.x << "," << got.y << " " << got.width << "x" << got.height;
    }
}

// Combo boxes size themselves to their edit height, so their height is not compared.
void ExpectPlacedAsComputed()
{
    RECT client;
    GetClientRect(MainWindow, &client);
    ControlPlace places[LAYOUT_PLACE_COUNT];
    ComputeLayout(BaseUnitX, BaseUnitY, &client, places);
    for (const ControlPlace& place : places) {
        RECT rect = gui::ChildRect(*place.control);
        bool combo = *place.control == PathBox || *place.control == BaudBox;
        EXPECT_TRUE(rect.left == place.x && rect.top == place.y && rect.right - rect.left == place.width &&
                    (combo || rect.bottom - rect.top == place.height))
            << gui::ClassName(*place.control) << " " << gui::WindowText(*place.control);
    }
}

TEST_F(MainWindowControls, FifteenControlsPlacedWithTheRealBaseUnitsAndOnResize)
{
    UseSettings("COM7", 57600, 0, 0);
    OpenWindow();
    const struct {
        HWND* handle;
        const char* className;
        DWORD style;
        const char* text;   // null: not compared
        int id;
    } rows[] = {
        {&TreeView, "SysTreeView32", 0x50800027, "", 0},
        {&FileView, "SysListView32", 0x50800101, "", 0},
        {&Separator, "Static", 0x5080000c, "", 0},
        {&FreeSpaceText, "Static", 0x5000000c, "  Available RamDisk: 0 Bytes, FlashDisk: 0 Bytes", 0},
        {&PathBox, "ComboBox", 0x50000002, "", 0},
        {&PortEdit, "Edit", 0x50000000, "COM7", 0},
        {&BaudBox, "ComboBox", 0x50000003, nullptr, 0},
        {&ConnectButton, "Button", 0x50000300, "Connect", CMD_CONNECT},
        {&BaudLabel, "Static", 0x50000002, "BaudRate: ", 0},
        {&PortLabel, "Static", 0x50000002, "Port: ", 0},
        {&ParamsButton, "Button", 0x50000300, "Show Parameters.txt", CMD_SHOW_PARAMETERS},
        {&ToolListButton, "Button", 0x50000300, "Show ToolList.txt", CMD_SHOW_TOOLLIST},
        {&DeleteButton, "Button", 0x50000300, "Delete", CMD_DELETE},
        {&UploadButton, "Button", 0x50000300, "Upload", CMD_UPLOAD},
        {&ReReadButton, "Button", 0x50000300, "ReRead Directories", CMD_REREAD},
    };
    HWND child = GetWindow(MainWindow, GW_CHILD);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.className);
        EXPECT_EQ(child, *row.handle) << "creation order";
        child = GetWindow(child, GW_HWNDNEXT);
        EXPECT_STRCASEEQ(gui::ClassName(*row.handle).c_str(), row.className);
        DWORD style = static_cast<DWORD>(GetWindowLongA(*row.handle, GWL_STYLE));
        // No tab stops, no sorting, several rows may be selected, the port text does not scroll.
        EXPECT_EQ(style & (row.style | WS_TABSTOP | CBS_SORT * (row.className[0] == 'C')), row.style) << std::hex << style;
        if (row.text) {
            EXPECT_EQ(gui::WindowText(*row.handle), row.text);
        }
        EXPECT_EQ(GetDlgCtrlID(*row.handle), row.id);
    }
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(GetWindowLongA(FileView, GWL_STYLE) & LVS_SINGLESEL, 0);
    EXPECT_EQ(GetWindowLongA(PortEdit, GWL_STYLE) & ES_AUTOHSCROLL, 0);
    EXPECT_NE(GetWindowLongA(FileView, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    EXPECT_NE(GetWindowLongA(TreeView, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(GetWindowLongPtrA(FileView, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(FileViewSubclassProc));
    char title[64] = "";
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = sizeof(title);
    ASSERT_TRUE(SendMessageA(FileView, LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(std::string(title) + " " + std::to_string(column.cx), "Size 100");

    LONG units = GetDialogBaseUnits();
    EXPECT_EQ(BaseUnitX, LOWORD(units));
    EXPECT_EQ(BaseUnitY, HIWORD(units));
    ExpectPlacedAsComputed();
    SetWindowPos(MainWindow, nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
    gui::PumpPending();
    ExpectPlacedAsComputed();
}

TEST_F(MainWindowControls, BaudBoxSelectsTheFirstRateBeginningWithTheSavedNumber)
{
    const struct {
        int saved;
        const char* shown;
    } cases[] = {{115200, "115200"}, {4800, "57600"}, {1, "14400"}, {5, "56000"}, {0, "57600"}, {9600, "9600"}};
    for (const auto& c : cases) {
        UseSettings("COM1", c.saved, 0, 0);
        OpenWindow();
        EXPECT_EQ(gui::ReadComboItems(BaudBox), (Texts{"9600", "14400", "19200", "38400", "56000", "57600", "115200"}));
        EXPECT_EQ(gui::ComboSelectedText(BaudBox), c.shown) << c.saved;
        CloseWindow();
        UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
    }
}

std::string Edges(const WindowRectangle& rect)
{
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " + std::to_string(rect.right) + "," +
           std::to_string(rect.bottom);
}

// The saved place is the normal one; a place on no monitor opens on screen.
TEST_F(MainWindowControls, ClosedMinimisedOrMaximisedKeepsTheNormalPlace)
{
    for (int show : {SW_MINIMIZE, SW_MAXIMIZE}) {
        UseSettings("COM1", 57600, 0, 0);   // 20, 20, 800 x 600
        OpenWindow();
        ShowWindow(MainWindow, show);
        gui::PumpPending();
        CloseWindow();
        UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
        EXPECT_EQ(Edges(Settings.WindowRect), "20,20 820,620") << show;
    }
    Settings.WindowRect = {-32000, -32000, 160, 24};
    OpenWindow();
    EXPECT_NE(MonitorFromWindow(MainWindow, MONITOR_DEFAULTTONULL), nullptr);
}

// The check marks of the two upload options and the log, as "LUD" letters.
std::string Checks()
{
    std::string marks;
    for (unsigned id : {CMD_WRITE_LOGFILE, CMD_UPLOAD_TO_ACTUAL_PATH, CMD_ALWAYS_UPLOAD_DEFAULT})
        marks += (GetMenuState(GetMenu(MainWindow), id, MF_BYCOMMAND) & MF_CHECKED) ? "LUD"[marks.size()] : '-';
    return marks;
}

TEST_F(MainWindowControls, CheckMarksFollowTheSettingsAndTheOptions)
{
    UseSettings("COM1", 57600, 1, 1);
    OpenWindow();
    EXPECT_EQ(Checks(), "LU-");
    CloseWindow();
    UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));

    // Any value but 1 means the default directory; any log value but 0 is on, and toggles to 0.
    UseSettings("COM1", 57600, 2, -56);
    OpenWindow();
    EXPECT_EQ(Checks(), "L-D");
    gui::SendCommand(MainWindow, CMD_WRITE_LOGFILE);
    EXPECT_EQ(Settings.LogFile, 0);
    gui::SendCommand(MainWindow, CMD_UPLOAD_TO_ACTUAL_PATH);
    EXPECT_EQ(Settings.UsePath, 1);
    EXPECT_EQ(Checks(), "-U-");
    gui::SendCommand(MainWindow, CMD_WRITE_LOGFILE);
    gui::SendCommand(MainWindow, CMD_ALWAYS_UPLOAD_DEFAULT);
    EXPECT_EQ(Settings.LogFile, 1);
    EXPECT_EQ(Settings.UsePath, 0);
    EXPECT_EQ(Checks(), "L-D");
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(Commands, GuardsWhileDisconnected)
{
    UseSettings("", 57600, 0, 0);
    OpenWindow();
    ReRead();
    SendMessageA(BaudBox, CB_SETCURSEL, 6, 0);
    Connect();
    EXPECT_EQ(boxes.Texts(), (Texts{"You must first connect to a Vantorix.", "Please enter a Port."}));
    const gui::CapturedBox& box = boxes.Boxes()[0];
    EXPECT_EQ(box.caption, "Problem");
    EXPECT_EQ(box.buttonIds, (std::vector<int>{IDOK}));
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.style, static_cast<UINT>(MB_OK | MB_SETFOREGROUND | MB_TOPMOST));   // in front of other programs
    EXPECT_EQ(Settings.Baudrate, 115200);   // kept although the port text was empty
    EXPECT_EQ(line.opens, 0);

    // A port that cannot be opened keeps what was entered, up to 99 characters.
    boxes.Clear();
    line.failOpen = 1;
    SetWindowTextA(PortEdit, "  COM9 text");
    SendMessageA(BaudBox, CB_SETCURSEL, 0, 0);
    Connect();
    EXPECT_EQ(boxes.Texts(), (Texts{"Can't open Serial Port."}));
    EXPECT_STREQ(Settings.Port, "  COM9 text");
    EXPECT_EQ(Settings.Baudrate, 9600);
    EXPECT_EQ(gui::WindowText(ConnectButton), "Connect");
    SendMessageA(PortEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::string(150, 'P').c_str()));
    Connect();
    EXPECT_EQ(strlen(Settings.Port), 99u);
    EXPECT_EQ(ConnectedPort, nullptr);

    // Unknown ids do nothing; the version box belongs to the window.
    boxes.Clear();
    for (unsigned id : {0, 499, 514, static_cast<int>(CMD_INFO)})
        gui::SendCommand(MainWindow, id);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Vantorix-Browser V1.03");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Vantorix Browser Info");
    EXPECT_EQ(boxes.Boxes()[0].owner, MainWindow);
}

TEST_F(Commands, BusyPortRefusesReReadAndDisconnectAndExitWaitsForTheUpload)
{
    OpenWindow();
    Connect();
    ASSERT_NE(ConnectedPort, nullptr);
    ZemSerComSetBusy(ConnectedPort, 1);
    ReRead();
    Connect();
    gui::SendCommand(MainWindow, CMD_EXIT);   // asks the upload to cancel, closes when it has ended
    EXPECT_EQ(boxes.Texts(),
              (Texts{"Serial Port still busy, Update later.", "Serial Port still busy, Disconnect later."}));
    EXPECT_TRUE(IsWindow(MainWindow));
    EXPECT_EQ(TheUploadJob.cancelRequested, 1);
    EXPECT_EQ(listingRequests, 1);
    ZemSerComSetBusy(ConnectedPort, 0);
    gui::SendCommand(MainWindow, CMD_EXIT);
    EXPECT_FALSE(IsWindow(MainWindow));
    EXPECT_TRUE(gui::PumpUntil([] { return gui::QuitSeen(); }, 2000));
    EXPECT_EQ(ConnectedPort, nullptr);
    EXPECT_EQ(line.closes, 1);
    EXPECT_EQ(boxes.Boxes().size(), 2u);
}

}  // namespace
