// The fifteen child controls of the main window, created in a fixed order at
// 0, 0 with size 0, 0; the layout places them at once.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/settings.h"

int BaseUnitX, BaseUnitY;
WNDPROC SavedListProc;

struct ControlSpec {
    HWND* handle;
    DWORD exStyle;
    const char* className;
    DWORD style;
    const char* text;
    int id;
};

constexpr DWORD BUTTON_STYLE = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_CENTER;

// Rows 1-2: the two views, set up before the rest.
static const ControlSpec viewSpecs[] = {
    {&TreeView, WS_EX_CLIENTEDGE, WC_TREEVIEWA,
     WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, "", 0},
    {&FileView, WS_EX_CLIENTEDGE, WC_LISTVIEWA, WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_AUTOARRANGE, "", 0},
};

// Rows 3-7; the port edit gets its text from the settings when created.
static const ControlSpec paneSpecs[] = {
    {&Separator, WS_EX_CLIENTEDGE, "STATIC", WS_CHILD | WS_VISIBLE | WS_BORDER | SS_LEFTNOWORDWRAP, "", 0},
    {&FreeSpaceText, WS_EX_WINDOWEDGE, "STATIC", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP,
     "  Available RamDisk: 0 Bytes, FlashDisk: 0 Bytes", 0},
    {&PathBox, WS_EX_CLIENTEDGE, "COMBOBOX", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, "", 0},
    // No ES_AUTOHSCROLL: the port name cannot grow past the box.
    {&PortEdit, WS_EX_CLIENTEDGE, "EDIT", WS_CHILD | WS_VISIBLE, nullptr, 0},
    {&BaudBox, WS_EX_CLIENTEDGE, "COMBOBOX", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, "", 0},
};

// Rows 8-15: the connect button, the two captions and the bottom row.
static const ControlSpec buttonSpecs[] = {
    {&ConnectButton, 0, "BUTTON", BUTTON_STYLE, "Connect", 500},
    {&BaudLabel, WS_EX_WINDOWEDGE, "STATIC", WS_CHILD | WS_VISIBLE | SS_RIGHT, "BaudRate: ", 0},
    {&PortLabel, WS_EX_WINDOWEDGE, "STATIC", WS_CHILD | WS_VISIBLE | SS_RIGHT, "Port: ", 0},
    {&ParamsButton, 0, "BUTTON", BUTTON_STYLE, "Show Parameters.txt", 501},
    {&ToolListButton, 0, "BUTTON", BUTTON_STYLE, "Show ToolList.txt", 510},
    {&DeleteButton, 0, "BUTTON", BUTTON_STYLE, "Delete", 502},
    {&UploadButton, 0, "BUTTON", BUTTON_STYLE, "Upload", 503},
    {&ReReadButton, 0, "BUTTON", BUTTON_STYLE, "ReRead Directories", 504},
};

static const char* const baudRates[] = {"9600", "14400", "19200", "38400", "56000", "57600", "115200"};
constexpr int DEFAULT_BAUD_INDEX = 5;   // "57600"

// Returns the number of controls that could not be created.
template <size_t N> static int CreateControlRows(HWND window, const ControlSpec (&specs)[N])
{
    int failed = 0;
    for (const ControlSpec& control : specs) {
        const char* text = control.text ? control.text : Settings.Port;
        *control.handle = CreateWindowExA(control.exStyle, control.className, text, control.style, 0, 0, 0, 0, window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), ProgramInstance,
                                       nullptr);
        if (!*control.handle)
            failed++;
    }
    return failed;
}

static void InsertFileViewColumn(int index, const char* title, int width)
{
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<char*>(title);
    column.iSubItem = index;
    SendMessageA(FileView, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

static void SetUpFileView()
{
    if (!FileView)
        return;
    InsertFileViewColumn(0, "Filename", 200);
    InsertFileViewColumn(1, "Size", 100);
    SavedListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(FileView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FileViewSubclassProc)));
    // Only the file list takes dropped files; the window itself does not.
    DragAcceptFiles(FileView, TRUE);
}

// Selects the first rate that begins with the saved number, else "57600".
static void FillBaudBox()
{
    for (const char* rate : baudRates)
        SendMessageA(BaudBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rate));
    SendMessageA(BaudBox, CB_SETCURSEL, DEFAULT_BAUD_INDEX, 0);
    char text[20];
    snprintf(text, sizeof(text), "%d", static_cast<int>(Settings.Baudrate));
    SendMessageA(BaudBox, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
}

int CreateControls(HWND window)
{
    LONG units = GetDialogBaseUnits();
    BaseUnitY = HIWORD(units);
    BaseUnitX = LOWORD(units);
    int failed = CreateControlRows(window, viewSpecs);
    SetUpFileView();
    failed += CreateControlRows(window, paneSpecs);
    if (BaudBox)
        FillBaudBox();
    failed += CreateControlRows(window, buttonSpecs);
    RECT client;
    GetClientRect(window, &client);
    LayoutControls(&client);
    return failed == 0;
}
