// Message boxes are dialogs: the hook sees their WM_INITDIALOG return, when
// text and buttons are in place, and answers by posting the button's command.
#include "tests/gui/support/gui_harness.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gui {

static thread_local BoxCapture* activeCapture;
static bool quitSeen;

// The text control of a system message box carries this id.
constexpr int MESSAGE_TEXT_ID = 0xFFFF;

std::string MessageBoxText(HWND box)
{
    HWND text = GetDlgItem(box, MESSAGE_TEXT_ID);
    return ClassName(box) == "#32770" && text ? WindowText(text) : "";
}

BoxCapture::BoxCapture()
{
    activeCapture = this;
    hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, HookProc, nullptr, GetCurrentThreadId());
}

BoxCapture::~BoxCapture()
{
    UnhookWindowsHookEx(hook_);
    activeCapture = nullptr;
}

std::vector<std::string> BoxCapture::Texts() const
{
    std::vector<std::string> texts;
    for (const CapturedBox& box : boxes_)
        texts.push_back(box.text);
    return texts;
}

LRESULT CALLBACK BoxCapture::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && activeCapture && call->message == WM_INITDIALOG)
        activeCapture->OnDialogReady(call->hwnd, call->lParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void BoxCapture::OnDialogReady(HWND dialog, LPARAM init)
{
    if (!GetDlgItem(dialog, MESSAGE_TEXT_ID)) {
        if (onDialog)
            onDialog(dialog);
        return;
    }
    CapturedBox box;
    box.text = MessageBoxText(dialog);
    box.caption = WindowText(dialog);
    box.owner = GetWindow(dialog, GW_OWNER);
    // A message box is initialised with the parameters it was called with.
    box.style = reinterpret_cast<const MSGBOXPARAMSW*>(init)->dwStyle;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        // Not yet shown at this point: the style tells which buttons will be.
        if (ClassName(child) == "Button" && (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE))
            box.buttonIds.push_back(GetDlgCtrlID(child));
    auto has = [&](int id) { return std::count(box.buttonIds.begin(), box.buttonIds.end(), id) > 0; };
    if (!answers_.empty()) {
        box.answer = answers_.front();
        answers_.erase(answers_.begin());
    } else {
        box.answer = has(IDOK) ? IDOK : has(IDNO) ? IDNO : IDCANCEL;
    }
    boxes_.push_back(box);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(box.answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, box.answer)));
}

// ---- pumping ------------------------------------------------------------

bool QuitSeen() { return quitSeen; }
void ResetQuitSeen() { quitSeen = false; }

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
    // Twice: what the first round dispatches may post more.
    DispatchWaiting();
    DispatchWaiting();
}

bool PumpUntil(const std::function<bool()>& condition, DWORD ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        DispatchWaiting();
        if (condition())
            return true;
        ULONGLONG now = GetTickCount64();
        if (now >= end)
            return condition();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)),
                                  QS_ALLINPUT);
    }
}

// ---- reading controls ---------------------------------------------------

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

RECT ChildRect(HWND child)
{
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

static HTREEITEM NextTreeItem(HWND tree, UINT relation, HTREEITEM item)
{
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

static void ReadTreeLevel(HWND tree, HTREEITEM first, int depth, std::vector<TreeItem>& items)
{
    for (HTREEITEM item = first; item; item = NextTreeItem(tree, TVGN_NEXT, item)) {
        char text[512] = "";
        TVITEMA data = {};
        data.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_CHILDREN | TVIF_STATE;
        data.hItem = item;
        data.pszText = text;
        data.cchTextMax = sizeof(text);
        data.stateMask = TVIS_EXPANDED;
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
        items.push_back({item, text, depth, data.cChildren, (data.state & TVIS_EXPANDED) != 0,
                         NextTreeItem(tree, TVGN_CARET, nullptr) == item});
        ReadTreeLevel(tree, NextTreeItem(tree, TVGN_CHILD, item), depth + 1, items);
    }
}

std::vector<TreeItem> ReadTreeItems(HWND tree)
{
    std::vector<TreeItem> items;
    ReadTreeLevel(tree, NextTreeItem(tree, TVGN_ROOT, nullptr), 0, items);
    return items;
}

std::string SelectedTreeText(HWND tree)
{
    for (const TreeItem& item : ReadTreeItems(tree))
        if (item.selected)
            return item.text;
    return "";
}

HTREEITEM FindTreeItem(HWND tree, const std::vector<std::string>& path)
{
    std::vector<std::string> route;
    for (const TreeItem& item : ReadTreeItems(tree)) {
        route.resize(item.depth);
        route.push_back(item.text);
        if (route == path)
            return item.item;
    }
    return nullptr;
}

std::vector<std::string> ReadComboItems(HWND combo)
{
    std::vector<std::string> items;
    for (LRESULT i = 0; i < SendMessageA(combo, CB_GETCOUNT, 0, 0); i++) {
        std::vector<char> text(SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) + 1);
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        items.push_back(text.data());
    }
    return items;
}

std::string ComboSelectedText(HWND combo)
{
    LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    return index < 0 ? "" : ReadComboItems(combo)[index];
}

std::vector<ListRow> ReadListRows(HWND list)
{
    std::vector<ListRow> rows;
    for (int row = 0; row < SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); row++) {
        ListRow read;
        for (int column = 0; column < 2; column++) {
            char text[512] = "";
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof(text);
            SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            read.columns.push_back(text);
        }
        UINT state = static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_SELECTED | LVIS_FOCUSED));
        read.selected = (state & LVIS_SELECTED) != 0;
        read.focused = (state & LVIS_FOCUSED) != 0;
        rows.push_back(read);
    }
    return rows;
}

std::vector<std::string> ReadListNames(HWND list)
{
    std::vector<std::string> names;
    for (const ListRow& row : ReadListRows(list))
        names.push_back(row.columns[0]);
    return names;
}

// ---- driving controls ---------------------------------------------------

static LRESULT NotifyParent(HWND control, NMHDR* header)
{
    header->hwndFrom = control;
    header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
    return SendMessageA(GetParent(control), WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

LRESULT SendListDoubleClick(HWND list, int row)
{
    RECT rect = {};
    rect.left = LVIR_LABEL;
    SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    NMITEMACTIVATE activate = {};
    activate.hdr.code = static_cast<UINT>(NM_DBLCLK);
    activate.iItem = row;
    activate.ptAction = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return NotifyParent(list, &activate.hdr);
}

LRESULT SendListReturn(HWND list)
{
    NMHDR header = {};
    header.code = static_cast<UINT>(NM_RETURN);
    return NotifyParent(list, &header);
}

static void SetRowState(HWND list, int row, UINT state, UINT mask)
{
    LVITEMA item = {};
    item.state = state;
    item.stateMask = mask;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void FocusListRow(HWND list, int row)
{
    SetRowState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SetRowState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void SelectListRows(HWND list, const std::vector<int>& rows)
{
    SetRowState(list, -1, 0, LVIS_SELECTED);
    for (int row : rows)
        SetRowState(list, row, LVIS_SELECTED, LVIS_SELECTED);
}

void SelectTreeItem(HWND tree, HTREEITEM item)
{
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

void ChooseComboItem(HWND combo, int index)
{
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

LRESULT SendCommand(HWND window, unsigned id)
{
    return SendMessageA(window, WM_COMMAND, id, 0);
}

// ---- files, drops, other processes and pictures ---------------------------

std::string WindowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string MakeScratchDirectory(const char* tag)
{
    static int serial;
    char temp[MAX_PATH], path[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    snprintf(path, sizeof(path), "%svbrowser-%s-%lu-%d\\", temp, tag, GetCurrentProcessId(), ++serial);
    CreateDirectoryA(path, nullptr);
    return path;
}

std::string ReadWholeFile(const std::string& path)
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

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    if (FILE* file = fopen(path.c_str(), "wb")) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
}

HDROP MakeDrop(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names)
        list += name + '\0';
    list += '\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(drop + 1, list.data(), list.size());
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
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
        const char* className;
        const char* title;
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
    if (WaitForSingleObject(process->hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process->hProcess, 1);
        WaitForSingleObject(process->hProcess, 5000);
    }
    CloseHandle(process->hProcess);
    CloseHandle(process->hThread);
    *process = {};
}

bool SaveWindowImage(HWND window, const std::string& name)
{
    const char* configured = getenv("VBROWSER_SCREENSHOTS");
    std::string directory = WindowsPath(configured && configured[0] ? configured : "screenshots") + "\\";
    CreateDirectoryA(directory.c_str(), nullptr);
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;   // bottom-up, as .bmp files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool copied = bitmap && BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    const DWORD imageSize = ((static_cast<DWORD>(width) * 3 + 3) & ~3u) * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(file) + sizeof(info.bmiHeader)};
    file.bfSize = file.bfOffBits + imageSize;
    std::string bytes = std::string(reinterpret_cast<const char*>(&file), sizeof(file)) +
                        std::string(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    if (copied)
        WriteWholeFile(directory + name + ".bmp", bytes.append(static_cast<const char*>(bits), imageSize));
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied && ReadWholeFile(directory + name + ".bmp").size() == bytes.size();
}

}  // namespace gui
