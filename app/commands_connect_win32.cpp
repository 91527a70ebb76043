// Connection and browsing: connect, disconnect and re-read.
#include "app/app_state.h"
#include "app/command_line.h"
#include "app/commands.h"
#include "app/settings.h"
#include "lib/zem_ui.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"
#include "tree/views.h"

// After a read that Esc or a close ended, the rest of its answer may still
// come: it is waited out before the next command goes to the controller, so
// that it is not taken for that command's answer. Esc ends this wait too.
static int WaitOutCutAnswer()
{
    if (!ConnectedPort->answerCut)
        return 1;
    void* cursor = ZemUiSetWaitCursor();
    int ending = SettleCutAnswer(ConnectedPort, AnswerBuffer, ANSWER_READ_MAX);
    ZemUiRestoreCursor(cursor);
    ShowConnectionState(TheDeviceTree);   // the wait told its progress there
    if (ending == ANSWER_ENDLESS)
        ZemUiProblem("The Vantorix is still sending. Please try again later.");
    return ending == ANSWER_QUIET;
}

int GuardPort(const char* busyMessage)
{
    if (!ConnectedPort) {
        ZemUiProblem("You must first connect to a Vantorix.");
        return 0;
    }
    if (ZemSerComIsBusy(ConnectedPort)) {
        ZemUiProblem(busyMessage);
        return 0;
    }
    return WaitOutCutAnswer();
}

int GetCommandDirectory(char* buffer, uint32_t size)
{
    if (GetShownDirectoryPath(buffer, size))
        return 1;
    ZemUiProblem("The path box does not name the directory shown in the file list.");
    return 0;
}

int GuardAutomaticUpload()
{
    if (AutoMode != 1)
        return 1;
    ZemUiProblem("The automatic upload is still waiting, Upload later.");
    return 0;
}

void ReReadAndRefresh()
{
    // The read reports its own failures; the views follow the tree either way.
    ReadDirectories(TheDeviceTree, ConnectedPort, AnswerBuffer, ANSWER_BUFFER_SIZE);
    RefreshViews(TheDeviceTree);
}

// A control's text by the number rule; at most 99 characters are read.
static int32_t ReadControlNumber(HWND control)
{
    char text[100] = "";
    SendMessageA(control, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return ParseSettingNumber(text);
}

static void Disconnect()
{
    if (ZemSerComIsBusy(ConnectedPort)) {
        ZemUiProblem("Serial Port still busy, Disconnect later.");
        return;
    }
    ZemSerComClose(ConnectedPort);
    ConnectedPort = nullptr;
    ReReadAndRefresh();
}

// Port and baud rate are taken over before the open, so they are kept (and
// saved at exit) even when the open fails.
static void Connect()
{
    Settings.Baudrate = ReadControlNumber(BaudBox);
    Settings.Port[0] = '\0';
    SendMessageA(PortEdit, WM_GETTEXT, 100, reinterpret_cast<LPARAM>(Settings.Port));
    if (Settings.Port[0] == '\0') {
        ZemUiProblem("Please enter a Port.");
        return;
    }
    SerialPort* port = ZemSerComOpen(Settings.Port, static_cast<uint32_t>(Settings.Baudrate));
    if (!port) {
        ZemUiProblem("Can't open Serial Port.");
        return;
    }
    ConnectedPort = port;
    ReReadAndRefresh();
}

void CommandConnect()
{
    if (ConnectedPort)
        Disconnect();
    else
        Connect();
}

void CommandReRead()
{
    if (!GuardPort("Serial Port still busy, Update later."))
        return;
    ReReadAndRefresh();
}
