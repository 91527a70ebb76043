// A small harness for in-process tests of Win32 windows under Wine and Xvfb.
//
//   BoxCapture      records and answers every message box (and, on request,
//                   any other dialog) that the test's thread opens.
//   PumpUntil       dispatches messages until a condition holds or a real-time
//                   bound passes; PumpPending empties the queue once.
//   Read...         reads tree items, combo box items, list rows and texts.
//   Send... / Choose... / Select...
//                   drive the controls the way a user's action would: the
//                   control's own notification reaches the parent window.
//   SaveWindowImage writes a .bmp of a window as it is on the screen.
//
// All helpers are for the thread that owns the windows.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace gui {

// ---- message boxes -------------------------------------------------------

struct CapturedBox {
    std::string text;
    std::string caption;
    std::vector<std::string> buttons;   // button texts in creation order
    std::vector<int> buttonIds;         // IDOK, IDYES, ...
    HWND owner = nullptr;               // the box's owner window, if any
    int answer = 0;                     // the id the harness answered with
};

// While alive, every message box of this thread is recorded and answered at
// once: first with the queued answers in order, then with OK when the box has
// that button, else No, else Cancel. Other dialogs go to onDialog when set
// (and are left alone otherwise). One capture per thread at a time.
class BoxCapture {
public:
    BoxCapture();
    ~BoxCapture();
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;

    void QueueAnswer(int id) { answers_.push_back(id); }
    const std::vector<CapturedBox>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const;
    void Clear() { boxes_.clear(); }

    std::function<void(HWND dialog)> onDialog;

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    void OnDialogReady(HWND dialog);

    HHOOK hook_ = nullptr;
    std::vector<int> answers_;
    std::vector<CapturedBox> boxes_;
};

// Whether a dialog window is a system message box.
bool IsMessageBox(HWND dialog);

// ---- pumping ------------------------------------------------------------

// Dispatches messages until condition() is true or ms milliseconds of real
// time have passed; returns the last value of condition(). A WM_QUIT taken
// from the queue is remembered (QuitSeen) instead of ending anything.
bool PumpUntil(const std::function<bool()>& condition, DWORD ms);
// Dispatches what is waiting now, and what that posts in turn.
void PumpPending();
bool QuitSeen();
void ResetQuitSeen();

// ---- reading controls ---------------------------------------------------

struct TreeItem {
    HTREEITEM item = nullptr;
    std::string text;
    int depth = 0;          // 0 for top-level items
    int children = 0;       // the children flag (expand button)
    bool expanded = false;
    bool selected = false;
    LPARAM data = 0;
};
// Every item in pre-order.
std::vector<TreeItem> ReadTreeItems(HWND tree);
std::string SelectedTreeText(HWND tree);
LPARAM SelectedTreeData(HWND tree);
// The item whose texts from the top form path ("/", "ram", "cncprg"), or null.
HTREEITEM FindTreeItem(HWND tree, const std::vector<std::string>& path);

std::vector<std::string> ReadComboItems(HWND combo);
int ComboSelection(HWND combo);
std::string ComboSelectedText(HWND combo);   // "" without a selection

struct ListRow {
    std::vector<std::string> columns;
    bool selected = false;
    bool focused = false;
    LPARAM data = 0;
};
std::vector<ListRow> ReadListRows(HWND list, int columns = 2);
// The first column of each row, for compact comparisons.
std::vector<std::string> ReadListNames(HWND list);

std::string WindowText(HWND window);
std::string ClassName(HWND window);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// ---- driving controls ---------------------------------------------------

// NM_DBLCLK from the list with the point in the middle of the row's label.
LRESULT SendListDoubleClick(HWND list, int row);
// NM_RETURN from the list (it acts on the focused row).
LRESULT SendListReturn(HWND list);
// Focuses and selects exactly one row.
void FocusListRow(HWND list, int row);
// Selects exactly the given rows.
void SelectListRows(HWND list, const std::vector<int>& rows);
// TVM_SELECTITEM: the tree sends TVN_SELCHANGED itself.
void SelectTreeItem(HWND tree, HTREEITEM item);
// Sets the selection and sends CBN_SELCHANGE to the parent, as a user's choice does.
void ChooseComboItem(HWND combo, int index);
// WM_COMMAND with an id (a button or menu item) to a window.
LRESULT SendCommand(HWND window, unsigned id, LPARAM param = 0);

// ---- pictures -----------------------------------------------------------

// Writes the window as it is on the screen (frame included) as a 24-bit .bmp.
bool SaveWindowImage(HWND window, const std::string& path);
// A directory for pictures: $VBROWSER_SCREENSHOTS, else "screenshots" in the
// working directory; created when missing. Ends with a backslash.
std::string ScreenshotDirectory();

}  // namespace gui
