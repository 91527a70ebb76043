// Explorer's keys in the main window: the message loop turns them into
// commands before the controls see them, so the menu and the buttons stay
// as they are.
#include <windows.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/program_main.h"
#include "res/resource_ids.h"

static HACCEL windowKeys, fileListKeys;

void LoadWindowKeys(HINSTANCE instance)
{
    windowKeys = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_WINDOWKEYS));
    fileListKeys = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_FILELISTKEYS));
}

// A key of the main window's table for the control it was typed into becomes
// that command; keys of other windows (the boxes, the upload dialog) stay theirs.
static int TranslateWindowKey(MSG* message)
{
    if ((message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN) || !MainWindow || !message->hwnd)
        return 0;
    if (message->hwnd != MainWindow && !IsChild(MainWindow, message->hwnd))
        return 0;
    HACCEL keys = message->hwnd == FileView ? fileListKeys : windowKeys;
    return keys && TranslateAcceleratorA(MainWindow, keys, message);
}

void DispatchLoopMessage(MSG* message)
{
    NoteFocus();
    if (TranslateWindowKey(message) || MoveFocusByTab(message))
        return;
    TranslateMessage(message);
    DispatchMessageA(message);
}
