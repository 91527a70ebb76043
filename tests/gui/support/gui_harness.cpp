// Message boxes are dialogs: the hook sees their WM_INITDIALOG return, when
// text and buttons are in place, and answers by posting the button's command.
#include "tests/gui/support/gui_harness.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "serial/upload_job.h"

namespace gui {

static BoxCapture* activeCapture;
bool quitSeen;
constexpr int MESSAGE_TEXT_ID = 0xFFFF;   // the text control of a system message box

std::string MessageBoxText(HWND box)
{
    HWND text = GetDlgItem(box, MESSAGE_TEXT_ID);
    return ClassName(box) == "#32770" && text ? WindowText(text) : "";
}

static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    BoxCapture* capture = activeCapture;
    if (code != HC_ACTION || !capture || call->message != WM_INITDIALOG)
        return CallNextHookEx(nullptr, code, wParam, lParam);
    HWND dialog = call->hwnd;
    if (!GetDlgItem(dialog, MESSAGE_TEXT_ID)) {
        if (capture->onDialog)
            capture->onDialog(dialog);
    } else {
        // A message box is initialised with the parameters it was called with.
        UINT style = reinterpret_cast<const MSGBOXPARAMSW*>(call->lParam)->dwStyle;
        capture->boxes.push_back({MessageBoxText(dialog), WindowText(dialog), GetWindow(dialog, GW_OWNER), style});
        int answer = (style & MB_TYPEMASK) == MB_OK ? IDOK : IDNO;
        if (!capture->answers.empty()) {
            answer = capture->answers.front();
            capture->answers.erase(capture->answers.begin());
        }
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), (LPARAM)GetDlgItem(dialog, answer));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BoxCapture::BoxCapture() : hook(SetWindowsHookExA(WH_CALLWNDPROCRET, BoxHook, nullptr, GetCurrentThreadId()))
{
    activeCapture = this;
}

BoxCapture::~BoxCapture()
{
    UnhookWindowsHookEx(hook);
    activeCapture = nullptr;
}

Texts BoxCapture::TextList() const
{
    Texts texts;
    for (const CapturedBox& box : boxes)
        texts.push_back(box.text);
    return texts;
}

static void DispatchWaiting()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitSeen = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void PumpPending()
{
    DispatchWaiting();   // twice: what the first round dispatches may post more
    DispatchWaiting();
}

bool PumpUntil(const std::function<bool()>& condition, DWORD ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        DispatchWaiting();
        if (condition())
            return true;
        if (GetTickCount64() >= end)
            return condition();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string ClassName(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

struct TreeItem {
    HTREEITEM item;
    std::string shape;
    int depth;
};

static void ReadTreeLevel(HWND tree, HTREEITEM item, int depth, std::vector<TreeItem>& items)
{
    for (; item; item = TreeView_GetNextSibling(tree, item)) {
        char text[512] = "";
        TVITEMA data = {};
        data.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_CHILDREN | TVIF_STATE;
        data.hItem = item;
        data.stateMask = TVIS_EXPANDED;
        data.pszText = text;
        data.cchTextMax = sizeof(text);
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
        std::string shape = std::string(text) + "@" + std::to_string(depth);
        shape += std::string(data.cChildren && !(data.state & TVIS_EXPANDED) ? "+" : "") +
                 (TreeView_GetSelection(tree) == item ? "*" : "");
        items.push_back({item, shape, depth});
        ReadTreeLevel(tree, TreeView_GetChild(tree, item), depth + 1, items);
    }
}

static std::vector<TreeItem> ReadTree(HWND tree)
{
    std::vector<TreeItem> items;
    ReadTreeLevel(tree, TreeView_GetRoot(tree), 0, items);
    return items;
}

Texts TreeShape(HWND tree)
{
    Texts shape;
    for (const TreeItem& item : ReadTree(tree))
        shape.push_back(item.shape);
    return shape;
}

HTREEITEM FindTreeItem(HWND tree, const Texts& path)
{
    Texts route;
    for (const TreeItem& item : ReadTree(tree)) {
        route.resize(item.depth);
        route.push_back(item.shape.substr(0, item.shape.rfind('@')));
        if (route == path)
            return item.item;
    }
    return nullptr;
}

Texts ComboItems(HWND combo)
{
    Texts items;
    for (LRESULT i = 0; i < SendMessageA(combo, CB_GETCOUNT, 0, 0); i++) {
        std::vector<char> text(SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) + 1);
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        items.push_back(text.data());
    }
    return items;
}

std::string ComboSelected(HWND combo)
{
    LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    return index < 0 ? "" : ComboItems(combo)[index];
}

static Texts ReadRows(HWND list, bool withSize)
{
    Texts rows;
    for (int row = 0; row < ListView_GetItemCount(list); row++) {
        char name[512] = "", size[64] = "";
        ListView_GetItemText(list, row, 0, name, sizeof(name));
        ListView_GetItemText(list, row, 1, size, sizeof(size));
        bool marked = ListView_GetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED) == (LVIS_SELECTED | LVIS_FOCUSED);
        rows.push_back(withSize ? std::string(name) + " " + size + (marked ? "*" : "") : name);
    }
    return rows;
}

Texts ListRows(HWND list) { return ReadRows(list, true); }
Texts ListNames(HWND list) { return ReadRows(list, false); }

static void Notify(HWND control, NMHDR* header, UINT code)
{
    header->hwndFrom = control;
    header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
    header->code = code;
    SendMessageA(GetParent(control), WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

void DoubleClickRow(HWND list, int row)
{
    RECT rect = {};
    rect.left = LVIR_LABEL;
    SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    NMITEMACTIVATE activate = {};
    activate.iItem = row;
    activate.ptAction = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    Notify(list, &activate.hdr, static_cast<UINT>(NM_DBLCLK));
    PumpPending();
}

void ReturnAtRow(HWND list, int row)
{
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    NMHDR header = {};
    Notify(list, &header, static_cast<UINT>(NM_RETURN));
    PumpPending();
}

void SelectRows(HWND list, const std::vector<int>& rows)
{
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    for (int row : rows)
        ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
}

void ChooseComboItem(HWND combo, int index)
{
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), (LPARAM)combo);
    PumpPending();
}

void Command(HWND window, unsigned id)
{
    SendMessageA(window, WM_COMMAND, id, 0);
    PumpPending();
}

std::string WindowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ScratchDirectory(const char* tag)
{
    static int serial;
    char temp[MAX_PATH], path[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    snprintf(path, sizeof(path), "%svbrowser-%s-%lu-%d\\", temp, tag, GetCurrentProcessId(), ++serial);
    CreateDirectoryA(path, nullptr);
    return path;
}

std::string FileText(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return "<missing>";
    std::string bytes;
    char piece[4096];
    for (size_t got; (got = fread(piece, 1, sizeof(piece), file)) > 0;)
        bytes.append(piece, got);
    fclose(file);
    return bytes;
}

void WriteFileText(const std::string& path, const std::string& bytes)
{
    if (FILE* file = fopen(path.c_str(), "wb")) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
}

WPARAM MakeDrop(const Texts& names)
{
    std::string list;
    for (const std::string& name : names)
        list += name + '\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() + 1);
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(drop + 1, list.data(), list.size());
    GlobalUnlock(memory);
    return reinterpret_cast<WPARAM>(memory);
}

int StartProgram(const std::string& exe, const std::string& arguments, const std::string& directory,
                 PROCESS_INFORMATION* process)
{
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                          &startup, process) != 0;
}

HWND WaitForProcessWindow(const PROCESS_INFORMATION& process, const char* className, const char* title, DWORD ms)
{
    struct Search {
        DWORD processId;
        const char *className, *title;
        HWND found;
    } search = {process.dwProcessId, className, title, nullptr};
    auto match = [](HWND window, LPARAM context) -> BOOL {
        Search* s = reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != s->processId || !IsWindowVisible(window) || WindowText(window) != s->title ||
            (s->className && ClassName(window) != s->className))
            return TRUE;
        s->found = window;
        return FALSE;
    };
    PumpUntil([&] {
        EnumWindows(match, reinterpret_cast<LPARAM>(&search));
        return search.found || WaitForSingleObject(process.hProcess, 0) != WAIT_TIMEOUT;
    }, ms);
    return search.found;
}

long WaitForExit(const PROCESS_INFORMATION& process, DWORD ms)
{
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, ms) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &code))
        return -1;
    return static_cast<long>(code);
}

void EndProgram(PROCESS_INFORMATION* process)
{
    if (!process->hProcess)
        return;
    TerminateProcess(process->hProcess, 1);   // fails harmlessly when it has ended
    WaitForSingleObject(process->hProcess, 5000);
    CloseHandle(process->hProcess);
    CloseHandle(process->hThread);
    *process = {};
}

}  // namespace gui

const char* const SampleListing =
    "Vantorix directory\r\n(dir) ram\r\n (dir) cncprg\r\n  1234 part1.nc\r\n  5678 part b.nc\r\n (dir) empty\r\n"
    " 99 notes.txt\r\n(dir) ROM\r\n 4096 setup.dat\r\n 4294967295 huge.bin\r\nFree RamDisk: 1048576\r\n"
    "Free FlashDisk: 524288\r\n\r\n";

void MainWindowTest::SetUp()
{
    InstallScriptedLine(&line);
    line.onWrite = [this](ScriptedLine& scripted, const unsigned char* bytes, uint32_t count) {
        std::string text(reinterpret_cast<const char*>(bytes), count);
        commands.push_back(text);
        listingRequests += text == "l\r\n";
        const std::string& answer = text == "l\r\n"   ? listing
                                    : text == "p\r\n" ? parameterAnswer
                                    : text == "t\r\n" ? toolAnswer
                                                      : std::string(text.rfind("d ", 0) == 0 ? "OK\r\n" : "");
        scripted.Queue(std::vector<unsigned char>(answer.begin(), answer.end()));
    };
    AutoMode = AutoConnect = QuitWhenDone = 0;
    ClearUploadJob(&TheUploadJob);
    UseSettings("COM3", 57600, 0, 0);
    gui::quitSeen = false;
}

void MainWindowTest::TearDown()
{
    CloseWindow();
    InstallScriptedLine(nullptr);
}

void MainWindowTest::UseSettings(const char* port, int baud, int usePath, int logFile)
{
    memset(&Settings, 0, sizeof(Settings));
    strcpy(Settings.Port, port);
    Settings.Baudrate = baud;
    Settings.UsePath = static_cast<signed char>(usePath);
    Settings.LogFile = static_cast<signed char>(logFile);
    Settings.WindowRect = {20, 20, 800, 600};
}

void MainWindowTest::OpenWindow()
{
    ASSERT_TRUE(OpenMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL));
    gui::PumpPending();
}

void MainWindowTest::CloseWindow()
{
    if (MainWindow && IsWindow(MainWindow))
        DestroyWindow(MainWindow);
    gui::PumpUntil([] { return gui::quitSeen; }, 2000);
    MainWindow = nullptr;
    UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
}

void MainWindowTest::Connect() { gui::Command(MainWindow, CMD_CONNECT); }
void MainWindowTest::ReRead() { gui::Command(MainWindow, CMD_REREAD); }

void MainWindowTest::SelectDirectory(const Texts& path)
{
    HTREEITEM item = gui::FindTreeItem(TreeView, path);
    ASSERT_NE(item, nullptr);
    TreeView_SelectItem(TreeView, item);   // the tree sends TVN_SELCHANGED itself
    gui::PumpPending();
}

std::string MainWindowTest::State()
{
    std::string state = gui::ComboSelected(PathBox) + " [";
    for (const std::string& item : gui::TreeShape(TreeView))
        if (item.back() == '*')
            state += item.substr(0, item.rfind('@'));
    state += "]";
    for (const std::string& name : gui::ListNames(FileView))
        state += " " + name;
    for (const std::string& text : boxes.TextList())
        state += " !" + text;
    for (std::string sent : commands)
        state += " >" + sent.substr(0, sent.find('\r'));
    boxes.boxes.clear();
    commands.clear();
    return state;
}
