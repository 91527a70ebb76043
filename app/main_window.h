// The main window of the Windows program: its procedure, its controls and
// their placement.
#pragma once

#include <windows.h>

#include <cstdint>

// Dialog base units, read once when the controls are created.
extern int BaseUnitX, BaseUnitY;
// The file list's own procedure, called for everything the subclass passes on.
extern WNDPROC SavedListProc;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FileViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WindowRectangle;
// Keeps the window's normal place (left, top, right, bottom) in Settings.
void StoreWindowPlace(HWND window);
// A saved place (left, top, width, height) that lies on no monitor becomes
// the system's default place.
void ChooseStartPlace(WindowRectangle* place);

// The keyboard's place: the control with the focus is noted at each message
// of the loop and when the window is deactivated, and gets it back when the
// window itself gets the focus (the file list when none was noted). A Tab
// key of the main window moves the focus to the next control, with Shift to
// the one before; MoveFocusByTab returns 1 when it did.
void NoteFocus();
void GiveFocusBack();
int MoveFocusByTab(const MSG* message);

// Creates the fifteen controls, fills the baud box and lays them out once.
int CreateControls(HWND window);

// Where one control goes; the layout is computed apart from the moving so
// that its arithmetic can be checked without a window.
struct ControlPlace {
    HWND* control;
    int x, y, width, height;
};
constexpr int LAYOUT_PLACE_COUNT = 15;

// Fills places[] in the order in which LayoutControls moves the controls.
void ComputeLayout(int baseX, int baseY, const RECT* client, ControlPlace places[LAYOUT_PLACE_COUNT]);
int LayoutControls(const RECT* client);

// Between the reads of an answer that takes long: "Reading directories: N
// bytes" (or "Reading list: N bytes") on the free-space line, and a look at
// the queue that lets paint through, takes Esc, which ends the read, and
// closes (WM_CLOSE, SC_CLOSE, Alt+F4), which end it too and are remembered.
// Other input waits. Installed while the window exists.
int ShowReadProgress(int listing, uint32_t bytesSoFar);
// Non-zero while that look runs: what reaches the window then comes from
// other programs, and no command may start under the read.
extern int ReadLooksAtQueue;
// How that look is taken; tests count the looks.
extern BOOL(WINAPI* LookAtQueue)(LPMSG, HWND, UINT, UINT, UINT);
