// The main window with a scripted controller on the line: memory, the ports a failed connect names, uploads
// refused before anything is sent, a logoff during a transfer. (What the user does step by step is in the cases.)
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "app/commands.h"
#include "app/settings.h"
#include "lib/zem_shared.h"
#include "serial/serial_port.h"
#include "serial/serial_ports.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "tests/gui/support/gui_harness.h"
#include "tree/device_tree.h"

namespace {

// A logoff during an upload of three data blocks: what the window answered and when it told the controller.
struct SessionEnd {
    LRESULT mayEnd = TRUE;
    int canAt = 0, endedAt = 0;
    std::string savedByTheEnd;
};

class Window : public MainWindowTest {
protected:
    SessionEnd LogoffDuringAnUpload(WPARAM ending);
};

// Tree storage reused from read to read, the port record freed at disconnect: the heaps stay flat.
SIZE_T HeapBytesInUse()
{
    HANDLE heaps[64];
    SIZE_T total = 0;
    for (DWORD i = 0, count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64); i < count; i++) {
        PROCESS_HEAP_ENTRY entry = {};
        for (HeapLock(heaps[i]); HeapWalk(heaps[i], &entry);)
            total += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? entry.cbData : 0;
        HeapUnlock(heaps[i]);
    }
    return total;
}

TEST_F(Window, MemoryStaysFlatOverFiftyConnectReReadDisconnectCycles)
{
    // A hundred directories and twelve hundred files: a tree or view leak per read would show at once.
    std::string large = "(dir) ram\r\n";
    for (int n = 0; n < 1200; n++)
        large += (n % 12 ? "" : " (dir) p" + std::to_string(n / 12) + "\r\n") + "  9 f" + std::to_string(n) + "\r\n";
    large += "(dir) ROM\r\n 4096 setup.dat\r\nFree RamDisk: 1048576\r\n\r\n";
    OpenWindow();
    SIZE_T warm = 0;
    for (int i = 0; i < 60; i++) {
        warm = i == 10 ? HeapBytesInUse() : warm;
        listing = large;
        Connect();
        ASSERT_EQ(TheDeviceTree->arraysInUse, 103u);
        listing = SampleListing;
        ReRead();
        Connect();
        line.written.clear();   // the test's own records of the line keep their room
        commands.clear();
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(line.closes, 60);
    // A port record left behind per disconnect would add about 10 KB, one large tree about 350 KB a cycle.
    const long long growth = static_cast<long long>(HeapBytesInUse()) - static_cast<long long>(warm);
    EXPECT_LT(growth, 4096);
}

// The ports of the Wine prefix as Windows keeps them (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM): COM1 to COM9 and COM12
// mapped by scripts/wine-prefix.sh, maybe more of the host's. The registry lists COM12 before COM3.
TEST_F(Window, FailedConnectNamesTheSerialPortsOfThisPc)
{
    ListPcSerialPorts = ListSerialPorts;
    OpenWindow();
    line.failOpen = 1;
    Connect();
    Texts shown = TakeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    const std::string prefix = "Can't open Serial Port.\nSerial ports on this PC: COM1, COM2, COM3, COM4, COM5, COM6, "
                               "COM7, COM8, COM9, ";
    EXPECT_EQ(shown[0].substr(0, prefix.size()), prefix);
    EXPECT_NE(shown[0].find(", COM12"), std::string::npos) << shown[0];
    EXPECT_EQ(shown[0].back(), '.') << shown[0];
}

int busyAtThreadStart = -1;
bool activated = false, boxOpened = false;

// Notes whether the main window is active when the first box opens. Other programs on the display may take the
// front at any moment, and a closing box hands it back to the window: so the test looks at what the drop did
// before its message, not at who is in front afterwards.
LRESULT CALLBACK NoteActivation(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    boxOpened |= code == HC_ACTION && call->message == WM_INITDIALOG;
    if (code == HC_ACTION && !boxOpened && call->hwnd == MainWindow && call->message == WM_ACTIVATE)
        activated = LOWORD(call->wParam) != WA_INACTIVE;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Window, UploadsThatCannotGoAheadSendNothing)
{
    std::string dir = gui::ScratchDirectory("drop"), file = dir + "part.nc", deep = dir + std::string(180, 'd');
    gui::WriteFileText(file, "G0 X1\r\n");
    CreateDirectoryA(deep.c_str(), nullptr);
    gui::WriteFileText(deep + "\\part.nc", "G0\r\n");
    OpenWindow();
    // Another window of this thread takes the activation, as another program would: the desktop is not given the
    // foreground while a window of another program on the display is in front.
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(other);
    ASSERT_NE(GetActiveWindow(), MainWindow) << "the window stayed active";
    activated = boxOpened = false;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, NoteActivation, nullptr, GetCurrentThreadId());
    Drop({file});
    UnhookWindowsHookEx(hook);
    DestroyWindow(other);
    EXPECT_TRUE(boxOpened);
    EXPECT_TRUE(activated);   // a drop brings the window forward before anything else
    EXPECT_EQ(TakeBoxes(), Texts{"You must first connect to a Vantorix."});
    Connect();
    EXPECT_EQ(TakeSent(), Texts{"l"});
    // A name that the ANSI code page cannot hold comes with '?' where its letters were: said as such.
    Drop({file, dir + "\xd0?\x3f.nc"});
    EXPECT_EQ(TakeBoxes(), Texts{dir + "\xd0??.nc: this PC's code page has no letters for the places shown as ?. "
                                       "Please rename the file or its folder."});
    // A path longer than the open-file dialog's buffer.
    boxes.onDialog = [&](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, (deep + "\\part.nc").c_str());
        SetDlgItemTextA(dialog, 0x480, (deep + "\\part.nc").c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    };
    gui::Command(MainWindow, CMD_UPLOAD);
    EXPECT_EQ(TakeBoxes(), Texts{"Filename is too long"});
    // A worker that cannot be started: the port, already taken for it, is given back.
    auto startThread = StartUploadThread;
    StartUploadThread = [](UploadJob* job) -> HANDLE {
        return busyAtThreadStart = ZemSerComIsBusy(job->port), nullptr;
    };
    Drop({file});
    gui::PumpPending();
    StartUploadThread = startThread;
    EXPECT_EQ(busyAtThreadStart, 1);
    EXPECT_EQ(ZemSerComIsBusy(ConnectedPort), 0);
    EXPECT_EQ(TakeBoxes(), Texts{"There was an error trying to upload."});
    EXPECT_EQ(TakeSent(), Texts{"l"});   // only the read after the upload that failed
}

// The system asks at the first block's reply, then ends the session (ending TRUE) or calls it off (FALSE), as another
// program or the user may.
SessionEnd Window::LogoffDuringAnUpload(WPARAM ending)
{
    std::string dir = gui::ScratchDirectory("logoff"), file = dir + "part.nc", ini = dir + "Vantorix1.ini";
    gui::WriteFileText(file, std::string(3000, 'G'));
    strcpy(ProgramDir, dir.c_str());
    std::atomic<int> order{0};
    std::atomic<bool> told{false};
    SessionEnd seen;
    std::thread session;
    auto harnessWrite = line.onWrite;
    line.onWrite = [&, harnessWrite](ScriptedLine& scripted, const unsigned char* bytes, uint32_t count) {
        harnessWrite(scripted, bytes, count);
        if (count && std::all_of(bytes, bytes + count, [](unsigned char byte) { return byte == UPL_CAN; }))
            seen.canAt = ++order;
    };
    onDataBlock = [&](int number) {
        if (number != 1)
            return;
        session = std::thread([&] {   // as the system asks every program, then tells it
            seen.mayEnd = SendMessageA(MainWindow, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
            told = true;
            SendMessageA(MainWindow, WM_ENDSESSION, ending, ENDSESSION_LOGOFF);
            seen.endedAt = ++order;
            seen.savedByTheEnd = gui::FileText(ini);
        });
        // The sender looks at a cancel once this block's reply is read: the query, and an end that cancels, come
        // first. (An end that cancels waits for the CAN, which needs this reply.)
        gui::WaitUntil([&] { return ending ? ZemLoadByte(&TheUploadJob.cancelRequested) != 0 : seen.endedAt != 0; },
                       10000);
    };
    OpenWindow();
    Connect();
    TakeSent();
    Drop({file});
    gui::PumpPending();
    if (session.joinable())
        session.join();
    EXPECT_TRUE(told);
    return seen;
}

// Ended: the controller is told with CAN, and the settings are saved, before the system may end the program; the
// window then closes once the upload has ended, without reading again.
TEST_F(Window, LogoffDuringAnUploadCancelsItAndSavesTheSettingsFirst)
{
    SessionEnd seen = LogoffDuringAnUpload(TRUE);
    EXPECT_EQ(seen.mayEnd, FALSE);   // the upload said no to the query
    EXPECT_GT(seen.canAt, 0) << "no CAN on the line";
    EXPECT_LT(seen.canAt, seen.endedAt) << "the session ended before the CAN";
    EXPECT_NE(seen.savedByTheEnd.find("[VantorixPos]"), std::string::npos) << seen.savedByTheEnd;
    EXPECT_EQ(TakeSent(), (Texts{"u", "header part.nc", "block 1", "CAN x1024"}));
    EXPECT_EQ(TakeBoxes(), Texts{});
    EXPECT_FALSE(IsWindow(MainWindow));
    EXPECT_TRUE(gui::PumpUntil([] { return gui::quitSeen; }, 10000));
}

// Called off: nothing ends, the file arrives whole and the window stays.
TEST_F(Window, LogoffCalledOffDuringAnUploadChangesNothing)
{
    SessionEnd seen = LogoffDuringAnUpload(FALSE);
    EXPECT_EQ(seen.mayEnd, FALSE);
    EXPECT_EQ(seen.canAt, 0) << "a CAN on the line";
    EXPECT_EQ(TakeSent(), (Texts{"u", "header part.nc", "block 1", "block 2", "block 3", "EOT", "closing header", "l"}));
    EXPECT_EQ(ZemSerComIsBusy(ConnectedPort), 0);
    EXPECT_TRUE(IsWindow(MainWindow));
    EXPECT_FALSE(CloseAsked());
}

}  // namespace
