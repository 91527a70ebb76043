// Driving the controls: each helper makes the control, or its parent, see
// what a user's action would bring.
#include "tests/gui/support/gui_harness.h"

namespace gui {

static LRESULT NotifyParent(HWND control, NMHDR* header)
{
    header->hwndFrom = control;
    header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
    return SendMessageA(GetParent(control), WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

LRESULT SendListDoubleClick(HWND list, int row)
{
    RECT rect = {};
    rect.left = LVIR_LABEL;
    SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    NMITEMACTIVATE activate = {};
    activate.hdr.code = static_cast<UINT>(NM_DBLCLK);
    activate.iItem = row;
    activate.ptAction.x = (rect.left + rect.right) / 2;
    activate.ptAction.y = (rect.top + rect.bottom) / 2;
    return NotifyParent(list, &activate.hdr);
}

LRESULT SendListReturn(HWND list)
{
    NMHDR header = {};
    header.code = static_cast<UINT>(NM_RETURN);
    return NotifyParent(list, &header);
}

static void SetRowState(HWND list, int row, UINT state, UINT mask)
{
    LVITEMA item = {};
    item.state = state;
    item.stateMask = mask;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void FocusListRow(HWND list, int row)
{
    SetRowState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SetRowState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void SelectListRows(HWND list, const std::vector<int>& rows)
{
    SetRowState(list, -1, 0, LVIS_SELECTED);
    for (int row : rows)
        SetRowState(list, row, LVIS_SELECTED, LVIS_SELECTED);
}

void SelectTreeItem(HWND tree, HTREEITEM item)
{
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

void ChooseComboItem(HWND combo, int index)
{
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

LRESULT SendCommand(HWND window, unsigned id, LPARAM param)
{
    return SendMessageA(window, WM_COMMAND, id, param);
}

}  // namespace gui
