// Reading what the common controls show.
#include "tests/gui/support/gui_harness.h"

namespace gui {

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string ClassName(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

RECT ChildRect(HWND child)
{
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

static HTREEITEM NextTreeItem(HWND tree, UINT relation, HTREEITEM item)
{
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

static void ReadTreeLevel(HWND tree, HTREEITEM first, int depth, std::vector<TreeItem>& items)
{
    for (HTREEITEM item = first; item; item = NextTreeItem(tree, TVGN_NEXT, item)) {
        char text[512] = "";
        TVITEMA data = {};
        data.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_CHILDREN | TVIF_STATE | TVIF_PARAM;
        data.hItem = item;
        data.pszText = text;
        data.cchTextMax = sizeof(text);
        data.stateMask = TVIS_EXPANDED | TVIS_SELECTED;
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
        TreeItem read;
        read.item = item;
        read.text = text;
        read.depth = depth;
        read.children = data.cChildren;
        read.expanded = (data.state & TVIS_EXPANDED) != 0;
        read.selected = NextTreeItem(tree, TVGN_CARET, nullptr) == item;
        read.data = data.lParam;
        items.push_back(read);
        ReadTreeLevel(tree, NextTreeItem(tree, TVGN_CHILD, item), depth + 1, items);
    }
}

std::vector<TreeItem> ReadTreeItems(HWND tree)
{
    std::vector<TreeItem> items;
    ReadTreeLevel(tree, NextTreeItem(tree, TVGN_ROOT, nullptr), 0, items);
    return items;
}

std::string SelectedTreeText(HWND tree)
{
    for (const TreeItem& item : ReadTreeItems(tree))
        if (item.selected)
            return item.text;
    return "";
}

LPARAM SelectedTreeData(HWND tree)
{
    for (const TreeItem& item : ReadTreeItems(tree))
        if (item.selected)
            return item.data;
    return 0;
}

HTREEITEM FindTreeItem(HWND tree, const std::vector<std::string>& path)
{
    HTREEITEM level = NextTreeItem(tree, TVGN_ROOT, nullptr);
    HTREEITEM found = nullptr;
    for (const std::string& name : path) {
        found = nullptr;
        for (HTREEITEM item = level; item; item = NextTreeItem(tree, TVGN_NEXT, item)) {
            char text[512] = "";
            TVITEMA data = {};
            data.mask = TVIF_HANDLE | TVIF_TEXT;
            data.hItem = item;
            data.pszText = text;
            data.cchTextMax = sizeof(text);
            SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
            if (name == text) {
                found = item;
                break;
            }
        }
        if (!found)
            return nullptr;
        level = NextTreeItem(tree, TVGN_CHILD, found);
    }
    return found;
}

std::vector<std::string> ReadComboItems(HWND combo)
{
    std::vector<std::string> items;
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, i, 0);
        std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
        std::vector<char> buffer(text.size() + 1);
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
        items.push_back(buffer.data());
    }
    return items;
}

int ComboSelection(HWND combo)
{
    return static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
}

std::string ComboSelectedText(HWND combo)
{
    int index = ComboSelection(combo);
    if (index < 0)
        return "";
    return ReadComboItems(combo)[index];
}

std::vector<ListRow> ReadListRows(HWND list, int columns)
{
    std::vector<ListRow> rows;
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; row++) {
        ListRow read;
        for (int column = 0; column < columns; column++) {
            char text[512] = "";
            LVITEMA item = {};
            item.mask = LVIF_TEXT | (column == 0 ? LVIF_PARAM : 0);
            item.iItem = row;
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof(text);
            SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
            if (column == 0)
                read.data = item.lParam;
            read.columns.push_back(text);
        }
        UINT state = static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_SELECTED | LVIS_FOCUSED));
        read.selected = (state & LVIS_SELECTED) != 0;
        read.focused = (state & LVIS_FOCUSED) != 0;
        rows.push_back(read);
    }
    return rows;
}

std::vector<std::string> ReadListNames(HWND list)
{
    std::vector<std::string> names;
    for (const ListRow& row : ReadListRows(list, 1))
        names.push_back(row.columns[0]);
    return names;
}

}  // namespace gui
