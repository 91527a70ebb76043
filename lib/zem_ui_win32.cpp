// Problems are message boxes with the caption "Problem" and no owner window.
#include <windows.h>

#include "lib/zem_ui.h"

static HWND commandWindow;
static HCURSOR waitCursor;

void ZemUiAttachWindow(void* window, void* cursor)
{
    commandWindow = static_cast<HWND>(window);
    waitCursor = static_cast<HCURSOR>(cursor);
}

void ZemUiPlatformProblem(const char* text)
{
    MessageBoxA(nullptr, text, "Problem", MB_OK);
}

void ZemUiPlatformPostCommand(unsigned id, intptr_t param)
{
    if (commandWindow)
        PostMessageA(commandWindow, WM_COMMAND, id, param);
}

void* ZemUiSetWaitCursor()
{
    return SetCursor(waitCursor ? waitCursor : LoadCursorA(nullptr, IDC_WAIT));
}

void ZemUiRestoreCursor(void* cursor)
{
    SetCursor(static_cast<HCURSOR>(cursor));
}
