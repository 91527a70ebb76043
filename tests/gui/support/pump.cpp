// Message pumping with a real-time bound.
#include "tests/gui/support/gui_harness.h"

namespace gui {

static bool quitSeen;

bool QuitSeen()
{
    return quitSeen;
}

void ResetQuitSeen()
{
    quitSeen = false;
}

static void DispatchWaiting()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitSeen = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void PumpPending()
{
    // Twice: what the first round dispatches may post more.
    DispatchWaiting();
    DispatchWaiting();
}

bool PumpUntil(const std::function<bool()>& condition, DWORD ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        DispatchWaiting();
        if (condition())
            return true;
        ULONGLONG now = GetTickCount64();
        if (now >= end)
            return condition();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now < 20 ? end - now : 20),
                                  QS_ALLINPUT);
    }
}

}  // namespace gui
