// A message box is a dialog: at its WM_INITDIALOG return text and buttons are in place to read and press.
#include "tests/gui/support/gui_harness.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/command_line.h"
#include "app/commands.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "serial/serial_ports.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"

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

void ExpectInFront(const CapturedBox& box)
{
    EXPECT_EQ(box.owner, nullptr) << box.text;
    EXPECT_NE(box.style & MB_SETFOREGROUND, 0u) << box.text;
    EXPECT_NE(box.style & MB_TOPMOST, 0u) << box.text;
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
        if (answer == IDNO && !capture->answers.empty()) {
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
            DispatchLoopMessage(&message);   // as the program's loop, keys included
        }
        if (condition() || GetTickCount64() >= end)
            return condition();
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD ms)
{
    for (const ULONGLONG end = GetTickCount64() + ms; !condition() && GetTickCount64() < end;)
        Sleep(1);
    return condition();
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

}  // namespace gui

const char* const SampleListing =
    "Vantorix directory\r\n(dir) ram\r\n (dir) cncprg\r\n  1234 part1.nc\r\n  5678 part b.nc\r\n (dir) empty\r\n"
    " 99 notes.txt\r\n(dir) ROM\r\n 4096 setup.dat\r\n 4294967295 huge.bin\r\nFree RamDisk: 1048576\r\n"
    "Free FlashDisk: 524288\r\n\r\n";

constexpr size_t CRC_FRAME = sizeof(UploadFrame), SUM_FRAME = 3 + 128 + 1;

static bool IsFrame(const std::string& bytes)
{
    return (bytes.size() == CRC_FRAME && bytes[0] == UPL_STX) || (bytes.size() == SUM_FRAME && bytes[0] == UPL_SOH);
}

std::string DescribeWrite(const std::string& bytes)
{
    if (IsFrame(bytes) && bytes[1] == 0)   // block 0 names the file, or nothing at the end of the batch
        return bytes[3] ? "header " + std::string(bytes.c_str() + 3) : "closing header";
    if (IsFrame(bytes))
        return "block " + std::to_string(static_cast<unsigned char>(bytes[1]));
    if (bytes == std::string(1, UPL_EOT))
        return "EOT";
    if (!bytes.empty() && bytes.find_first_not_of(static_cast<char>(UPL_CAN)) == std::string::npos)
        return "CAN x" + std::to_string(bytes.size());
    return bytes.substr(0, bytes.find('\r'));
}

// The receiver asks twice for a header and once for the data; EOT is followed by the next header's request.
static const char* ReceiverAnswer(const std::string& bytes)
{
    static const char ack[] = {UPL_ACK, 0}, ackAndStart[] = {UPL_ACK, 'C', 0}, ackAndHeader[] = {UPL_ACK, 'C', 'C', 0};
    if (bytes == "u\r")
        return "CC";
    if (IsFrame(bytes) && bytes[1] == 0)
        return bytes[3] ? ackAndStart : ack;
    if (IsFrame(bytes))
        return ack;
    if (bytes == std::string(1, UPL_EOT))
        return ackAndHeader;
    return "";
}

// The serial ports that the test's PC has, in place of the registry's.
static const Texts* scriptedPorts;

static int ListScriptedPorts(const char*, SerialPortInfo* ports, int max)
{
    int count = 0;
    for (const std::string& name : *scriptedPorts) {
        if (count == max)
            break;
        memset(&ports[count], 0, sizeof(ports[count]));
        snprintf(ports[count].port, sizeof(ports[count].port), "%s", name.c_str());
        count++;
    }
    return count;
}

void MainWindowTest::SetUp()
{
    InstallScriptedLine(&line);
    scriptedPorts = &serialPorts;
    ListPcSerialPorts = ListScriptedPorts;
    // Runs on the upload worker's thread during an upload, while the test's thread waits in the dialog.
    line.onWrite = [this](ScriptedLine& scripted, const unsigned char* bytes, uint32_t count) {
        std::string text(reinterpret_cast<const char*>(bytes), count);
        commands.push_back(text);
        if (IsFrame(text) && text[1] != 0 && onDataBlock)
            onDataBlock(static_cast<unsigned char>(text[1]));
        // The controller's answers are scripts: "{N}" lets N ms of virtual time pass before the bytes behind it.
        const std::string* answer = text == "l\r\n"   ? &listing
                                    : text == "p\r\n" ? &parameterAnswer
                                    : text == "t\r\n" ? &toolAnswer
                                    : text.rfind("d ", 0) == 0 ? &deleteAnswer
                                                       : nullptr;
        if (answer)
            QueueScript(scripted, *answer);
        else
            scripted.Queue(ReceiverAnswer(text));
    };
    AutoMode = AutoConnect = QuitWhenDone = 0;
    ClearUploadJob(&TheUploadJob);
    UseSettings("COM3", 57600);
    gui::quitSeen = false;
}

void MainWindowTest::TearDown()
{
    CloseWindow();
    InstallScriptedLine(nullptr);
    ListPcSerialPorts = ListSerialPorts;
}

void MainWindowTest::UseSettings(const char* port, int baud)
{
    memset(&Settings, 0, sizeof(Settings));
    strcpy(Settings.Port, port);
    Settings.Baudrate = baud;
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
    if (MainWindow)   // its quit message is taken here, not by the next window's pumping
        gui::PumpUntil([] { return gui::quitSeen; }, 10000);
    MainWindow = nullptr;
    UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
}

void MainWindowTest::Drop(const Texts& paths)
{
    std::string list;
    for (const std::string& path : paths)
        list += path + '\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() + 1);
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(drop + 1, list.data(), list.size());
    GlobalUnlock(memory);
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
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

Views MainWindowTest::ReadViews()
{
    Views views = {gui::WindowText(PathBox), {}, {}};
    VisitTree(TreeView_GetRoot(TreeView), {}, [&](HTREEITEM item, const Texts& at) {
        views.tree = TreeView_GetSelection(TreeView) == item ? at : views.tree;
    });
    for (int row = 0; row < ListView_GetItemCount(FileView); row++) {
        char name[512] = "";
        ListView_GetItemText(FileView, row, 0, name, sizeof(name));
        views.files.push_back(name);
    }
    return views;
}

Texts MainWindowTest::TakeBoxes()
{
    Texts texts;
    for (const gui::CapturedBox& box : boxes.boxes)
        texts.push_back(box.text);
    boxes.boxes.clear();
    return texts;
}

Texts MainWindowTest::TakeSent()
{
    Texts sent;
    for (const std::string& bytes : commands)
        sent.push_back(DescribeWrite(bytes));
    commands.clear();
    return sent;
}
