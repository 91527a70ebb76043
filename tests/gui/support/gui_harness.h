// A small harness for in-process tests of Win32 windows under Wine and Xvfb.
// All helpers are for the thread that owns the windows.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

namespace gui {

// ---- message boxes ------------------------------------------------------

struct CapturedBox {
    std::string text;
    std::string caption;
    std::vector<int> buttonIds;   // IDOK, IDYES, ... in creation order
    HWND owner = nullptr;
    UINT style = 0;               // the MB_ flags asked for
    int answer = 0;               // the id the harness answered with
};

// Records and answers every message box of this thread while alive: with the
// queued answers, then OK, else No, else Cancel. Other dialogs go to onDialog.
class BoxCapture {
public:
    BoxCapture();
    ~BoxCapture();
    void QueueAnswer(int id) { answers_.push_back(id); }
    const std::vector<CapturedBox>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const;
    void Clear() { boxes_.clear(); }
    std::function<void(HWND dialog)> onDialog;

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    void OnDialogReady(HWND dialog, LPARAM init);
    HHOOK hook_ = nullptr;
    std::vector<int> answers_;
    std::vector<CapturedBox> boxes_;
};

// The text of a system message box (of any process), or "".
std::string MessageBoxText(HWND box);

// ---- pumping ------------------------------------------------------------

// Dispatches messages until condition() holds or ms of real time have passed;
// a WM_QUIT taken from the queue is only remembered (QuitSeen).
bool PumpUntil(const std::function<bool()>& condition, DWORD ms);
void PumpPending();
bool QuitSeen();
void ResetQuitSeen();

// ---- reading controls ---------------------------------------------------

struct TreeItem {
    HTREEITEM item = nullptr;
    std::string text;
    int depth = 0;
    int children = 0;       // the children flag (expand button)
    bool expanded = false;
    bool selected = false;
};
std::vector<TreeItem> ReadTreeItems(HWND tree);
std::string SelectedTreeText(HWND tree);
// The first item whose texts from the top form path ("/", "ram", "cncprg").
HTREEITEM FindTreeItem(HWND tree, const std::vector<std::string>& path);

std::vector<std::string> ReadComboItems(HWND combo);
std::string ComboSelectedText(HWND combo);   // "" without a selection

struct ListRow {
    std::vector<std::string> columns;
    bool selected = false;
    bool focused = false;
};
std::vector<ListRow> ReadListRows(HWND list);
std::vector<std::string> ReadListNames(HWND list);

std::string WindowText(HWND window);
std::string ClassName(HWND window);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// ---- driving controls, as a user's action would -------------------------

LRESULT SendListDoubleClick(HWND list, int row);
LRESULT SendListReturn(HWND list);   // acts on the focused row
void FocusListRow(HWND list, int row);   // and selects only it
void SelectListRows(HWND list, const std::vector<int>& rows);
// TVM_SELECTITEM: the tree sends TVN_SELCHANGED itself.
void SelectTreeItem(HWND tree, HTREEITEM item);
// Sets the selection and sends CBN_SELCHANGE.
void ChooseComboItem(HWND combo, int index);
LRESULT SendCommand(HWND window, unsigned id);

// ---- files, drops, other processes and pictures ---------------------------

// A host path ("/tmp/x") as Wine sees it on drive Z:; Windows paths unchanged.
std::string WindowsPath(std::string path);
// A new empty directory in the temporary folder, ending in a backslash.
std::string MakeScratchDirectory(const char* tag);
// The whole file, or "<missing>".
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// A drop handle as the shell makes it: DROPFILES and a double-NUL name list.
HDROP MakeDrop(const std::vector<std::string>& names);

int StartProgram(const std::string& exe, const std::string& arguments, const std::string& directory,
                 PROCESS_INFORMATION* process);
// A visible top-level window of the process with this class (null: any) and
// title, waited for up to ms while the process lives.
HWND WaitForProcessWindow(const PROCESS_INFORMATION& process, const char* className, const char* title, DWORD ms);
// The exit code, or -1 when the process did not end within ms.
long WaitForExit(const PROCESS_INFORMATION& process, DWORD ms);
void EndProgram(PROCESS_INFORMATION* process);

// Writes the window as the screen shows it (frame included) as
// $VBROWSER_SCREENSHOTS/NAME.bmp (else ./screenshots/NAME.bmp).
bool SaveWindowImage(HWND window, const std::string& name);

}  // namespace gui
