// The keyboard's place in the main window. When the window is activated
// again (after a box, the upload dialog, another program) the system gives
// the focus to the window itself, where no key of the file list works: the
// control that had it gets it back. Tab and Shift+Tab move between the
// controls in the order in which they stand on the screen.
#include <windows.h>

#include <iterator>

#include "app/app_state.h"
#include "app/main_window.h"

static HWND focusBeforeLeaving;   // the control that had the focus last

// The control of the main window that a window belongs to, or none: the path
// box's edit field counts as the path box.
static HWND ControlOf(HWND window)
{
    if (window && GetParent(window) == PathBox)
        return PathBox;
    return window && GetParent(window) == MainWindow ? window : nullptr;
}

// Noted at every message of the loop too: when another program takes the
// front, the focus may already be gone by the time the window hears of it.
// The window itself is kept: the path box would select its whole text when
// given the focus.
void NoteFocus()
{
    HWND focus = GetFocus();
    if (ControlOf(focus))
        focusBeforeLeaving = focus;
}

void GiveFocusBack()
{
    // A control of a window that has gone is none of this one's.
    HWND control = IsWindow(focusBeforeLeaving) && ControlOf(focusBeforeLeaving) ? focusBeforeLeaving : FileView;
    if (control && IsWindowEnabled(control))
        SetFocus(control);
}

int MoveFocusByTab(const MSG* message)
{
    if (message->message != WM_KEYDOWN || message->wParam != VK_TAB || !MainWindow)
        return 0;
    if (message->hwnd != MainWindow && !IsChild(MainWindow, message->hwnd))
        return 0;
    HWND order[] = {PortEdit,     BaudBox,        ConnectButton, TreeView,     PathBox,     FileView,
                    ParamsButton, ToolListButton, DeleteButton,  UploadButton, ReReadButton};
    const int count = static_cast<int>(std::size(order));
    const int step = GetKeyState(VK_SHIFT) < 0 ? count - 1 : 1;
    HWND current = ControlOf(message->hwnd);   // where the key was typed
    int at = -1;
    for (int i = 0; i < count; i++)
        at = order[i] == current ? i : at;
    // From the window itself Tab starts at the first control, Shift+Tab at the
    // last; a disabled control (the port box while connected) is passed by.
    int next = at < 0 ? (step == 1 ? 0 : count - 1) : (at + step) % count;
    for (int tried = 0; tried < count && !(IsWindowEnabled(order[next]) && IsWindowVisible(order[next])); tried++)
        next = (next + step) % count;
    SetFocus(order[next]);
    return 1;
}
