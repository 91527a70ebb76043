// The controls of the main window and where they go.
#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/main_window.h"
#include "tests/gui/main_window_fixture.h"

namespace {

struct Place {
    int x, y, width, height;
};

Place PlaceOf(const ControlPlace* places, HWND* control)
{
    for (int i = 0; i < LAYOUT_PLACE_COUNT; i++)
        if (places[i].control == control)
            return {places[i].x, places[i].y, places[i].width, places[i].height};
    ADD_FAILURE() << "control not placed";
    return {};
}

TEST(LayoutArithmetic, SixHundredFortyByFourEightyAtEightBySixteen)
{
    RECT client = {0, 0, 640, 480};
    ControlPlace places[LAYOUT_PLACE_COUNT];
    ComputeLayout(8, 16, &client, places);
    // h = 24, y = 12, y2 = 48, B = 454, W = 128, P = 403.
    auto expect = [&](HWND* control, Place want) {
        Place got = PlaceOf(places, control);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.width, want.width);
        EXPECT_EQ(got.height, want.height);
    };
    expect(&PortLabel, {40, 15, 80, 24});
    expect(&PortEdit, {120, 12, 80, 24});
    expect(&BaudLabel, {200, 15, 80, 24});
    expect(&BaudBox, {280, 12, 80, 144});
    expect(&ConnectButton, {400, 12, 112, 24});
    expect(&ParamsButton, {0, 454, 128, 24});
    expect(&ToolListButton, {128, 454, 128, 24});
    expect(&DeleteButton, {256, 454, 128, 24});
    expect(&UploadButton, {384, 454, 128, 24});
    expect(&ReReadButton, {512, 454, 128, 24});
    expect(&TreeView, {0, 48, 200, 403});
    expect(&Separator, {200, 48, 5, 403});
    expect(&FreeSpaceText, {205, 48, 435, 16});
    expect(&PathBox, {205, 64, 435, 152});
    expect(&FileView, {205, 88, 435, 363});
}

TEST(LayoutArithmetic, PlacesEveryControlOnceInTheFixedOrder)
{
    RECT client = {0, 0, 643, 300};
    ControlPlace places[LAYOUT_PLACE_COUNT];
    ComputeLayout(7, 15, &client, places);
    HWND* order[] = {&PortLabel, &PortEdit, &BaudLabel, &BaudBox, &ConnectButton, &ParamsButton, &ToolListButton,
                     &DeleteButton, &UploadButton, &ReReadButton, &TreeView, &Separator, &FreeSpaceText, &PathBox,
                     &FileView};
    for (int i = 0; i < LAYOUT_PLACE_COUNT; i++)
        EXPECT_EQ(places[i].control, order[i]) << i;
    // 643 / 5 = 128: the 3 pixels left over stay empty at the right.
    EXPECT_EQ(places[9].x + places[9].width, 640);
    // Integer steps: h = 22, y2 = 45, y = 11.
    EXPECT_EQ(places[1].y, 11);
    EXPECT_EQ(places[10].y, 45);
    EXPECT_EQ(places[5].height, 22);
}

TEST(LayoutArithmetic, TinyClientAreasGiveNegativeSizesAsComputed)
{
    RECT client = {0, 0, 100, 20};
    ControlPlace places[LAYOUT_PLACE_COUNT];
    ComputeLayout(8, 16, &client, places);
    EXPECT_EQ(PlaceOf(places, &TreeView).height, 20 - 24 - 48 - 5);
    EXPECT_EQ(PlaceOf(places, &FileView).width, 100 - 205);
}

using MainWindowLayout = MainWindowTest;

// Combo boxes size themselves to their edit height, so their height is not compared.
void ExpectPlacedAsComputed(const RECT& client)
{
    ControlPlace places[LAYOUT_PLACE_COUNT];
    ComputeLayout(BaseUnitX, BaseUnitY, &client, places);
    for (const ControlPlace& place : places) {
        RECT rect = gui::ChildRect(*place.control);
        EXPECT_EQ(rect.left, place.x) << gui::WindowText(*place.control);
        EXPECT_EQ(rect.top, place.y) << gui::WindowText(*place.control);
        EXPECT_EQ(rect.right - rect.left, place.width) << gui::WindowText(*place.control);
        if (*place.control != PathBox && *place.control != BaudBox) {
            EXPECT_EQ(rect.bottom - rect.top, place.height) << gui::WindowText(*place.control);
        }
    }
}

TEST_F(MainWindowLayout, UsesTheRealBaseUnitsAndFollowsResizing)
{
    OpenWindow();
    LONG units = GetDialogBaseUnits();
    EXPECT_EQ(BaseUnitX, LOWORD(units));
    EXPECT_EQ(BaseUnitY, HIWORD(units));
    RECT client;
    GetClientRect(MainWindow, &client);
    ExpectPlacedAsComputed(client);

    SetWindowPos(MainWindow, nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
    gui::PumpPending();
    GetClientRect(MainWindow, &client);
    ExpectPlacedAsComputed(client);
    RECT tree = gui::ChildRect(TreeView);
    EXPECT_EQ(tree.right - tree.left, 200);
    RECT last = gui::ChildRect(ReReadButton);
    EXPECT_EQ(last.right, client.right / 5 * 5);
}

struct ControlRow {
    HWND* handle;
    const char* className;
    DWORD exStyle;
    DWORD style;
    const char* text;
    int id;
};

TEST_F(MainWindowLayout, CreatesTheFifteenControlsInOrder)
{
    UseSettings("COM7", 57600, 0, 0);
    OpenWindow();
    const ControlRow rows[] = {
        {&TreeView, "SysTreeView32", WS_EX_CLIENTEDGE, 0x50800027, "", 0},
        {&FileView, "SysListView32", WS_EX_CLIENTEDGE, 0x50800101, "", 0},
        {&Separator, "Static", WS_EX_CLIENTEDGE, 0x5080000c, "", 0},
        {&FreeSpaceText, "Static", WS_EX_WINDOWEDGE, 0x5000000c, "  Available RamDisk: 0 Bytes, FlashDisk: 0 Bytes", 0},
        {&PathBox, "ComboBox", WS_EX_CLIENTEDGE, 0x50000002, "", 0},
        {&PortEdit, "Edit", WS_EX_CLIENTEDGE, 0x50000000, "COM7", 0},
        {&BaudBox, "ComboBox", WS_EX_CLIENTEDGE, 0x50000003, nullptr, 0},
        {&ConnectButton, "Button", 0, 0x50000300, "Connect", 500},
        {&BaudLabel, "Static", WS_EX_WINDOWEDGE, 0x50000002, "BaudRate: ", 0},
        {&PortLabel, "Static", WS_EX_WINDOWEDGE, 0x50000002, "Port: ", 0},
        {&ParamsButton, "Button", 0, 0x50000300, "Show Parameters.txt", 501},
        {&ToolListButton, "Button", 0, 0x50000300, "Show ToolList.txt", 510},
        {&DeleteButton, "Button", 0, 0x50000300, "Delete", 502},
        {&UploadButton, "Button", 0, 0x50000300, "Upload", 503},
        {&ReReadButton, "Button", 0, 0x50000300, "ReRead Directories", 504},
    };
    HWND child = GetWindow(MainWindow, GW_CHILD);
    for (const ControlRow& row : rows) {
        ASSERT_NE(*row.handle, nullptr);
        EXPECT_EQ(child, *row.handle) << "creation order at " << row.className;
        child = GetWindow(child, GW_HWNDNEXT);
        EXPECT_STRCASEEQ(gui::ClassName(*row.handle).c_str(), row.className);
        DWORD style = static_cast<DWORD>(GetWindowLongA(*row.handle, GWL_STYLE));
        EXPECT_EQ(style & row.style, row.style) << row.className << " style " << std::hex << style;
        EXPECT_EQ(style & WS_TABSTOP, 0u);
        // Combo boxes draw their own edge and the system drops the window edge
        // of child windows, so only the client edge of the rest is kept to see.
        DWORD exStyle = static_cast<DWORD>(GetWindowLongA(*row.handle, GWL_EXSTYLE));
        if ((row.exStyle & WS_EX_CLIENTEDGE) && *row.handle != PathBox && *row.handle != BaudBox) {
            EXPECT_NE(exStyle & WS_EX_CLIENTEDGE, 0u) << row.className;
        }
        if (row.text) {
            EXPECT_EQ(gui::WindowText(*row.handle), row.text);
        }
        EXPECT_EQ(GetDlgCtrlID(*row.handle), row.id) << row.className;
    }
    EXPECT_EQ(child, nullptr);
    // The path box lists in the order its items are added.
    EXPECT_EQ(GetWindowLongA(PathBox, GWL_STYLE) & CBS_SORT, 0);
    EXPECT_EQ(GetWindowLongA(BaudBox, GWL_STYLE) & CBS_SORT, 0);
    EXPECT_EQ(GetWindowLongA(FileView, GWL_STYLE) & LVS_SINGLESEL, 0);
    EXPECT_EQ(GetWindowLongA(PortEdit, GWL_STYLE) & ES_AUTOHSCROLL, 0);
}

TEST_F(MainWindowLayout, FileViewHasTwoColumnsTheSubclassAndTakesDrops)
{
    OpenWindow();
    const char* titles[] = {"Filename", "Size"};
    const int widths[] = {200, 100};
    for (int i = 0; i < 2; i++) {
        char text[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = text;
        column.cchTextMax = sizeof(text);
        ASSERT_TRUE(SendMessageA(FileView, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(text, titles[i]);
        EXPECT_EQ(column.cx, widths[i]);
        EXPECT_EQ(column.iSubItem, i);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }
    EXPECT_EQ(GetWindowLongPtrA(FileView, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(FileViewSubclassProc));
    EXPECT_NE(SavedListProc, nullptr);
    EXPECT_NE(GetWindowLongA(FileView, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    EXPECT_EQ(GetWindowLongA(MainWindow, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
}

TEST_F(MainWindowLayout, WindowClassTitleAndMenu)
{
    OpenWindow();
    EXPECT_EQ(gui::ClassName(MainWindow), "Vantorix1Class");
    EXPECT_EQ(gui::WindowText(MainWindow), "Vantorix1-Browser");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(MainWindow, GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    RECT outer;
    GetWindowRect(MainWindow, &outer);
    EXPECT_EQ(outer.left, 20);
    EXPECT_EQ(outer.top, 20);
    EXPECT_EQ(outer.right - outer.left, 800);
    EXPECT_EQ(outer.bottom - outer.top, 600);
    HMENU menu = GetMenu(MainWindow);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    char text[64];
    const char* popups[] = {"&File", "&Options", "?"};
    for (int i = 0; i < 3; i++) {
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        EXPECT_STREQ(text, popups[i]);
    }
    HMENU options = GetSubMenu(menu, 1);
    ASSERT_EQ(GetMenuItemCount(options), 4);
    EXPECT_EQ(GetMenuItemID(options, 0), static_cast<UINT>(CMD_UPLOAD_TO_ACTUAL_PATH));
    EXPECT_EQ(GetMenuItemID(options, 1), static_cast<UINT>(CMD_ALWAYS_UPLOAD_DEFAULT));
    EXPECT_EQ(GetMenuState(options, 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(GetMenuItemID(options, 3), static_cast<UINT>(CMD_WRITE_LOGFILE));
    GetMenuStringA(menu, CMD_ALWAYS_UPLOAD_DEFAULT, text, sizeof(text), MF_BYCOMMAND);
    EXPECT_STREQ(text, "&Always upload to /ram/cncprg/");
    GetMenuStringA(menu, CMD_EXIT, text, sizeof(text), MF_BYCOMMAND);
    EXPECT_STREQ(text, "E&xit");
    GetMenuStringA(menu, CMD_INFO, text, sizeof(text), MF_BYCOMMAND);
    EXPECT_STREQ(text, "&Info");
}

struct BaudCase {
    int saved;
    const char* shown;
};

class BaudBoxRule : public MainWindowTest, public ::testing::WithParamInterface<BaudCase> {
};

TEST_P(BaudBoxRule, SelectsTheFirstRateBeginningWithTheSavedNumber)
{
    UseSettings("COM1", GetParam().saved, 0, 0);
    OpenWindow();
    EXPECT_EQ(gui::ReadComboItems(BaudBox),
              (std::vector<std::string>{"9600", "14400", "19200", "38400", "56000", "57600", "115200"}));
    EXPECT_EQ(gui::ComboSelectedText(BaudBox), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Rates, BaudBoxRule,
                         ::testing::Values(BaudCase{115200, "115200"}, BaudCase{4800, "57600"}, BaudCase{1, "14400"},
                                           BaudCase{5, "56000"}, BaudCase{0, "57600"}, BaudCase{9600, "9600"}));

bool Checked(unsigned id)
{
    return (GetMenuState(GetMenu(MainWindow), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

TEST_F(MainWindowLayout, CheckMarksFollowTheSettingsAtStart)
{
    UseSettings("COM1", 57600, 1, 1);
    OpenWindow();
    EXPECT_TRUE(Checked(CMD_UPLOAD_TO_ACTUAL_PATH));
    EXPECT_FALSE(Checked(CMD_ALWAYS_UPLOAD_DEFAULT));
    EXPECT_TRUE(Checked(CMD_WRITE_LOGFILE));
    CloseWindow();
    UnregisterClassA("Vantorix1Class", GetModuleHandleA(nullptr));

    // Any value but 1 means the default directory.
    UseSettings("COM1", 57600, 2, 0);
    OpenWindow();
    EXPECT_FALSE(Checked(CMD_UPLOAD_TO_ACTUAL_PATH));
    EXPECT_TRUE(Checked(CMD_ALWAYS_UPLOAD_DEFAULT));
    EXPECT_FALSE(Checked(CMD_WRITE_LOGFILE));
}

}  // namespace
