// The main window's procedure: it only dispatches; each message has its
// own small handler.
#include <windows.h>

#include <dbt.h>

#include "app/app_state.h"
#include "app/commands.h"
#include "app/main_window.h"
#include "app/message_texts.h"
#include "app/settings.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"
#include "tree/views.h"

// Sets the Options check marks from LogFile and UsePath.
static void CheckOptionItems(HMENU menu)
{
    CheckMenuItem(menu, CMD_WRITE_LOGFILE, MF_BYCOMMAND | (Settings.LogFile ? MF_CHECKED : MF_UNCHECKED));
    const int actualPath = Settings.UsePath == 1;
    CheckMenuItem(menu, CMD_UPLOAD_TO_ACTUAL_PATH, MF_BYCOMMAND | (actualPath ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, CMD_ALWAYS_UPLOAD_DEFAULT, MF_BYCOMMAND | (actualPath ? MF_UNCHECKED : MF_CHECKED));
}

// MainWindow is not set yet while the window is being created, so the
// steps work on the handle they are given.
static LRESULT OnCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!CreateControls(window)) {
        ZemUiProblem(MessageText(MSG_CANT_CREATE_UI));
        return -1;
    }
    TheDeviceTree = CreateDeviceTree();
    ReadOutcomeText = ReadOutcomeMessage;
    if (!TheDeviceTree) {
        ZemUiProblem(MessageText(MSG_NOT_ENOUGH_MEMORY));
        return -1;
    }
    WaitCursor = LoadCursorA(nullptr, IDC_WAIT);
    // The directory read shows the wait cursor and posts its notice to us.
    ZemUiAttachWindow(window, WaitCursor);
    AnswerReadHook.betweenReads = ShowReadProgress;
    CheckOptionItems(GetMenu(window));
    return DefWindowProcA(window, message, wParam, lParam);
}

static LRESULT OnDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    StoreWindowPlace(window);
    if (TheDeviceTree) {
        FreeDeviceTree(TheDeviceTree);
        TheDeviceTree = nullptr;
    }
    if (ConnectedPort) {
        ZemSerComClose(ConnectedPort);
        ConnectedPort = nullptr;
    }
    ZemUiAttachWindow(nullptr, nullptr);
    AnswerReadHook.betweenReads = nullptr;
    ForgetAskedClose();
    PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

static LRESULT OnSize(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    RECT client;
    GetClientRect(window, &client);
    LayoutControls(&client);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A command sent by another program while a read looks at the queue waits
// for the read, as input does; Exit ends it as a close does. A drop cannot
// wait: its files are let go when this returns.
static void PutOffCommand(WPARAM wParam, LPARAM lParam)
{
    const unsigned id = LOWORD(wParam);
    if (id == CMD_EXIT)
        CloseMainWindow();
    else if (id >= CMD_CONNECT && id <= CMD_AUTO_UPLOAD && id != CMD_DROP_FILES)
        PostMessageA(MainWindow, WM_COMMAND, wParam, lParam);
}

static LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (ReadLooksAtQueue) {
        PutOffCommand(wParam, lParam);
        return 0;
    }
    DispatchCommand(LOWORD(wParam), lParam);
    // Both combo boxes have id 0, so this runs for either; the handler looks
    // only at the path box. A key's command has code 1 too, but no control.
    if (HIWORD(wParam) == CBN_SELCHANGE && lParam)
        OnPathBoxSelChange(wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

// Moving, sizing and the menu run message loops of their own, which would
// let commands start under a read: sent by another program meanwhile, they
// are refused. Closing, minimising and restoring go on.
static LRESULT OnSysCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WPARAM command = wParam & 0xFFF0;
    if (ReadLooksAtQueue && command != SC_CLOSE && command != SC_MINIMIZE && command != SC_MAXIMIZE &&
        command != SC_RESTORE)
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// An adapter unplugged while connected: the port it served has gone.
static void OnDeviceChange(WPARAM event, LPARAM data)
{
    const DEV_BROADCAST_HDR* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (event != DBT_DEVICEREMOVECOMPLETE || !header || header->dbch_devicetype != DBT_DEVTYP_PORT)
        return;
    PortDeviceRemoved(reinterpret_cast<const DEV_BROADCAST_PORT_A*>(data)->dbcp_name);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, message, wParam, lParam);
    case WM_CLOSE:
        // The frame's close box, Alt+F4, the taskbar and "End task" wait for a read and an upload too.
        CloseMainWindow();
        return 0;
    case WM_SYSCOMMAND:
        return OnSysCommand(window, message, wParam, lParam);
    case WM_QUERYENDSESSION:
        return OnQueryEndSession();
    case WM_ENDSESSION:
        return OnEndSession(wParam);
    case WM_DESTROY:
        return OnDestroy(window, message, wParam, lParam);
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            NoteFocus();
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_SETFOCUS:
        GiveFocusBack();
        return 0;
    case WM_DEVICECHANGE:
        OnDeviceChange(wParam, lParam);
        return TRUE;
    case WM_SIZE:
        return OnSize(window, message, wParam, lParam);
    case WM_NOTIFY:
        OnViewNotify(wParam, reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
