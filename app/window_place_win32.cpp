// Where the main window opens and which place is saved when it closes: its
// normal (restored) place, so that a window closed while minimised or
// maximised opens again as the user last arranged it.
#include "app/main_window.h"
#include "app/settings.h"

// The value that lets the system choose a position or size.
constexpr int32_t DEFAULT_PLACE = static_cast<int32_t>(CW_USEDEFAULT);

void StoreWindowPlace(HWND window)
{
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(window, &placement))
        return;
    // The normal place is in workspace coordinates, which leave out the
    // taskbar and other bars at the top or left of the window's monitor; the
    // saved place is in screen coordinates like the window's creation.
    RECT place = placement.rcNormalPosition;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        OffsetRect(&place, monitor.rcWork.left - monitor.rcMonitor.left, monitor.rcWork.top - monitor.rcMonitor.top);
    Settings.WindowRect.left = place.left;
    Settings.WindowRect.top = place.top;
    Settings.WindowRect.right = place.right;
    Settings.WindowRect.bottom = place.bottom;
}

void ChooseStartPlace(WindowRectangle* place)
{
    if (place->left == DEFAULT_PLACE || place->top == DEFAULT_PLACE)
        return;
    // A place on no monitor (a screen since removed, or a minimised place
    // saved earlier) would open the window out of sight.
    // Edges wrap like the system's arithmetic; a default size counts as one pixel.
    auto edge = [](int32_t start, int32_t length) {
        uint32_t extent = static_cast<uint32_t>(length == DEFAULT_PLACE ? 1 : length);
        return static_cast<LONG>(static_cast<uint32_t>(start) + extent);
    };
    RECT rect = {place->left, place->top, edge(place->left, place->right), edge(place->top, place->bottom)};
    if (MonitorFromRect(&rect, MONITOR_DEFAULTTONULL))
        return;
    *place = {DEFAULT_PLACE, DEFAULT_PLACE, DEFAULT_PLACE, DEFAULT_PLACE};
}
