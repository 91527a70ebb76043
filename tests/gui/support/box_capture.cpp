// Message boxes are dialogs: the hook sees their WM_INITDIALOG return, when
// text and buttons are in place, and answers by posting the button's command.
#include "tests/gui/support/gui_harness.h"

namespace gui {

static thread_local BoxCapture* activeCapture;

// The text control of a system message box carries this id.
constexpr int MESSAGE_TEXT_ID = 0xFFFF;

bool IsMessageBox(HWND dialog)
{
    return ClassName(dialog) == "#32770" && GetDlgItem(dialog, MESSAGE_TEXT_ID) != nullptr;
}

BoxCapture::BoxCapture()
{
    activeCapture = this;
    hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, HookProc, nullptr, GetCurrentThreadId());
}

BoxCapture::~BoxCapture()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
    if (activeCapture == this)
        activeCapture = nullptr;
}

std::vector<std::string> BoxCapture::Texts() const
{
    std::vector<std::string> texts;
    for (const CapturedBox& box : boxes_)
        texts.push_back(box.text);
    return texts;
}

LRESULT CALLBACK BoxCapture::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && activeCapture) {
        const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (call->message == WM_INITDIALOG)
            activeCapture->OnDialogReady(call->hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

static bool HasButton(const CapturedBox& box, int id)
{
    for (int buttonId : box.buttonIds)
        if (buttonId == id)
            return true;
    return false;
}

void BoxCapture::OnDialogReady(HWND dialog)
{
    if (!IsMessageBox(dialog)) {
        if (onDialog)
            onDialog(dialog);
        return;
    }
    CapturedBox box;
    box.text = WindowText(GetDlgItem(dialog, MESSAGE_TEXT_ID));
    box.caption = WindowText(dialog);
    box.owner = GetWindow(dialog, GW_OWNER);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        // Not yet shown at this point: the style tells which buttons will be.
        if (ClassName(child) == "Button" && (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) {
            box.buttons.push_back(WindowText(child));
            box.buttonIds.push_back(GetDlgCtrlID(child));
        }
    }
    if (!answers_.empty()) {
        box.answer = answers_.front();
        answers_.erase(answers_.begin());
    } else if (HasButton(box, IDOK)) {
        box.answer = IDOK;
    } else if (HasButton(box, IDNO)) {
        box.answer = IDNO;
    } else {
        box.answer = IDCANCEL;
    }
    boxes_.push_back(box);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(box.answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, box.answer)));
}

}  // namespace gui
