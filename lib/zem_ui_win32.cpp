// Problems are message boxes with the caption "Problem", no owner window and
// brought to the front.
#include <windows.h>

#include "lib/zem_ui.h"

static HWND commandWindow;
static HCURSOR waitCursor;

void ZemUiAttachWindow(void* window, void* cursor)
{
    commandWindow = static_cast<HWND>(window);
    waitCursor = static_cast<HCURSOR>(cursor);
}

int ZemUiBox(const char* text, const char* caption, unsigned buttons)
{
    return MessageBoxA(nullptr, text, caption, buttons | MB_SETFOREGROUND | MB_TOPMOST);
}

void ZemUiPlatformProblem(const char* text)
{
    ZemUiBox(text, "Problem", MB_OK);
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
