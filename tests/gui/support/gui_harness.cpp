// A message box is a dialog: at its WM_INITDIALOG return text and buttons are in place to read and press.
#include "tests/gui/support/gui_harness.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

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
    char name[16] = "";
    GetClassNameA(box, name, sizeof(name));
    return !strcmp(name, "#32770") && text ? WindowText(text) : "";
}

static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    BoxCapture* capture = activeCapture;
    if (code == HC_ACTION && capture && call->message == WM_INITDIALOG && !GetDlgItem(call->hwnd, MESSAGE_TEXT_ID)) {
        if (capture->onDialog)
            capture->onDialog(call->hwnd);
    } else if (code == HC_ACTION && capture && call->message == WM_INITDIALOG) {
        // A message box is initialised with the parameters it was called with.
        UINT style = reinterpret_cast<const MSGBOXPARAMSW*>(call->lParam)->dwStyle;
        capture->boxes.push_back({MessageBoxText(call->hwnd), WindowText(call->hwnd), GetWindow(call->hwnd, GW_OWNER),
                                  style});
        int answer = (style & MB_TYPEMASK) == MB_OK ? IDOK : IDNO;
        if (!capture->answers.empty()) {
            answer = capture->answers.front();
            capture->answers.erase(capture->answers.begin());
        }
        PostMessageA(call->hwnd, WM_COMMAND, answer, (LPARAM)GetDlgItem(call->hwnd, answer));
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

bool PumpUntil(const std::function<bool()>& condition, DWORD ms)
{
    for (const ULONGLONG end = GetTickCount64() + ms;; MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT)) {
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) {
            quitSeen |= message.message == WM_QUIT;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (condition() || GetTickCount64() >= end)
            return condition();
    }
}

void PumpPending()
{
    PumpUntil([] { return false; }, 0);   // twice: what the first round dispatches may post more
    PumpUntil([] { return false; }, 0);
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

void Command(HWND window, unsigned id)
{
    SendMessageA(window, WM_COMMAND, id, 0);
    PumpPending();
}

std::string WindowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path[0] == '\\' ? "Z:" + path : path;
}

std::string ScratchDirectory(const char* tag)
{
    static int serial;
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    std::string path;
    do   // a directory left by an earlier run (Wine reuses process ids) is not taken
        path = temp + std::string("vbrowser-") + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++serial) + "\\";
    while (!CreateDirectoryA(path.c_str(), nullptr));
    return path;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

void WriteFileText(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
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
        scripted.Queue(text == "l\r\n"   ? listing.c_str()
                       : text == "p\r\n" ? parameterAnswer.c_str()
                       : text == "t\r\n" ? toolAnswer.c_str()
                                         : text.rfind("d ", 0) == 0 ? "OK\r\n" : "");
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

// Calls visit(item, its path from the top) for each tree item, depth first.
static void VisitTree(HTREEITEM item, Texts path, const std::function<void(HTREEITEM, const Texts&)>& visit)
{
    for (; item; item = TreeView_GetNextSibling(TreeView, item)) {
        char text[512] = "";
        TVITEMA data = {TVIF_TEXT, item, 0, 0, text, sizeof(text), 0, 0, 0, 0};
        TreeView_GetItem(TreeView, &data);
        path.push_back(text);
        visit(item, path);
        VisitTree(TreeView_GetChild(TreeView, item), path, visit);
        path.pop_back();
    }
}

void MainWindowTest::SelectDirectory(const Texts& path)
{
    HTREEITEM found = nullptr;
    VisitTree(TreeView_GetRoot(TreeView), {}, [&](HTREEITEM item, const Texts& at) {
        found = found ? found : at == path ? item : nullptr;
    });
    ASSERT_NE(found, nullptr);
    TreeView_SelectItem(TreeView, found);   // the tree sends TVN_SELCHANGED itself
    gui::PumpPending();
}

std::string MainWindowTest::State()
{
    std::string state = gui::WindowText(PathBox) + " [";
    VisitTree(TreeView_GetRoot(TreeView), {}, [&](HTREEITEM item, const Texts& at) {
        state += TreeView_GetSelection(TreeView) == item ? at.back() : "";
    });
    state += "]";
    for (int row = 0; row < ListView_GetItemCount(FileView); row++) {
        char name[512] = "";
        ListView_GetItemText(FileView, row, 0, name, sizeof(name));
        state += std::string(" ") + name;
    }
    for (const gui::CapturedBox& box : boxes.boxes)
        state += " !" + box.text;
    for (const std::string& sent : commands)
        state += " >" + sent.substr(0, sent.find('\r'));
    boxes.boxes.clear();
    commands.clear();
    return state;
}
