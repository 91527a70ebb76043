// The file list's subclass: PC files dropped on it become an upload command.
#include <windows.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "res/resource_ids.h"

LRESULT CALLBACK FileViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DROPFILES) {
        HDROP drop = reinterpret_cast<HDROP>(wParam);
        // Sent, not posted: the command has finished with the names before
        // the drop handle is released.
        SendMessageA(MainWindow, WM_COMMAND, CMD_DROP_FILES, reinterpret_cast<LPARAM>(drop));
        DragFinish(drop);
        return 0;
    }
    return CallWindowProcA(SavedListProc, window, message, wParam, lParam);
}
