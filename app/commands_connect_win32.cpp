// Connection and browsing: connect, disconnect, re-read and up.
#include <cstring>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/commands.h"
#include "app/message_texts.h"
#include "app/port_report.h"
#include "app/settings.h"
#include "lib/zem_lib.h"
#include "lib/zem_shared.h"
#include "lib/zem_ui.h"
#include "serial/answer_read.h"
#include "serial/line_talk.h"
#include "serial/serial_port.h"
#include "serial/serial_ports.h"
#include "tree/device_tree.h"
#include "tree/views.h"

// After a read that Esc or a close ended, the rest of its answer may still
// come: it is waited out before the next command goes to the controller, so
// that it is not taken for that command's answer. Esc ends this wait too.
static int WaitOutCutAnswer()
{
    if (!LineUnsettled(ConnectedPort))
        return 1;
    void* cursor = ZemUiSetWaitCursor();
    int ending = SettleLine(ConnectedPort, AnswerBuffer, ANSWER_READ_MAX, AnswerReader{0, 0});
    ZemUiRestoreCursor(cursor);
    ShowConnectionState(TheDeviceTree);   // the wait told its progress there
    if (ending == ANSWER_ENDLESS)
        ZemUiProblem(MessageText(MSG_STILL_SENDING));
    return ending == ANSWER_QUIET;
}

int GuardPort(int busyMessage)
{
    if (!ConnectedPort) {
        ZemUiProblem(MessageText(MSG_NOT_CONNECTED));
        return 0;
    }
    if (ZemSerComIsBusy(ConnectedPort)) {
        ZemUiProblem(MessageText(busyMessage));
        return 0;
    }
    return WaitOutCutAnswer();
}

int GetCommandDirectory(char* buffer, uint32_t size)
{
    if (GetShownDirectoryPath(buffer, size))
        return 1;
    ZemUiProblem(MessageText(MSG_PATH_BOX_ELSEWHERE));
    return 0;
}

int GuardAutomaticUpload()
{
    if (AutoMode != 1)
        return 1;
    ZemUiProblem(MessageText(MSG_AUTO_UPLOAD_WAITING));
    return 0;
}

void ReReadAndRefresh()
{
    // A port whose device has gone is not read again (after an upload that
    // met the unplug): it is dropped instead.
    if (ConnectedPort && ZemLoadByte(&ConnectedPort->gone) && !ZemSerComIsBusy(ConnectedPort)) {
        DropGonePort();
        return;
    }
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
        ZemUiProblem(MessageText(MSG_BUSY_DISCONNECT));
        return;
    }
    ZemSerComClose(ConnectedPort);
    ConnectedPort = nullptr;
    ReReadAndRefresh();
}

void DropGonePort()
{
    if (!ConnectedPort || !ZemLoadByte(&ConnectedPort->gone) || ZemSerComIsBusy(ConnectedPort))
        return;
    char text[SERIAL_PORT_NAME_ROOM + 64];
    DescribeGonePort(ConnectedPort, text, sizeof(text));
    // Some drivers give a re-plugged adapter its name back only once the
    // handle is closed; then Connect works again.
    ZemSerComClose(ConnectedPort);
    ConnectedPort = nullptr;
    ReReadAndRefresh();
    ZemUiProblem(text);
}

void PortDeviceRemoved(const char* name)
{
    if (!ConnectedPort || _stricmp(ConnectedPort->name, name) != 0)
        return;
    // A read or an upload under way ends at its next look; the rest follows
    // when its command has returned.
    ZemStoreByte(&ConnectedPort->gone, 1);
    if (!CommandUnderWay())
        DropGonePort();
}

int (*ListPcSerialPorts)(const char* root, SerialPortInfo* ports, int max) = ListSerialPorts;

// A PC with more serial ports than this names the first of them.
constexpr int MAX_NAMED_PORTS = 64;

// The user typed a port that does not open: the box names the ones there are,
// as Windows lists them now, since a USB adapter gets a number of its own.
static void ShowOpenFailure()
{
    SerialPortInfo* ports = nullptr;
    if (!ZemMemAllocAs(&ports, sizeof(SerialPortInfo) * MAX_NAMED_PORTS, 0)) {
        ZemUiProblem(MessageText(MSG_CANT_OPEN_PORT));   // without a list rather than with a wrong one
        return;
    }
    int count = ListPcSerialPorts("", ports, MAX_NAMED_PORTS);
    char text[1200];
    BuildOpenFailureText(ports, count, text, sizeof(text));
    ZemMemFreeAs(&ports);
    ZemUiProblem(text);
}

// Port and baud rate are taken over before the open, so they are kept (and
// saved at exit) even when the open fails.
static void Connect()
{
    Settings.Baudrate = ReadControlNumber(BaudBox);
    Settings.Port[0] = '\0';
    SendMessageA(PortEdit, WM_GETTEXT, 100, reinterpret_cast<LPARAM>(Settings.Port));
    // The setting keeps the text as typed; the port opens by its name alone.
    char name[sizeof(Settings.Port)];
    if (!TidyPortName(Settings.Port, name, sizeof(name))) {
        ZemUiProblem(MessageText(MSG_NO_PORT_TEXT));
        return;
    }
    TrafficLogSwitch = &Settings.LogFile;
    SetTrafficLogFolder(ProgramDir);
    SerialPort* port = ZemSerComOpen(name, static_cast<uint32_t>(Settings.Baudrate));
    if (!port) {
        ShowOpenFailure();
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
    if (!GuardPort(MSG_BUSY_UPDATE))
        return;
    ReReadAndRefresh();
}

void CommandParentDirectory()
{
    ShowParentDirectory();
}
