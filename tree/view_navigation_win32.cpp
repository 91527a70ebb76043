// Moving through the tree: selections in the tree and the path box, double
// clicks and Return in the file list, and what the commands read back.
#include <cstring>

#include "app/app_state.h"
#include "tree/device_tree.h"
#include "tree/views.h"
#include "tree/views_internal.h"

static int TreeLoaded()
{
    return TheDeviceTree && TheDeviceTree->arraysInUse != 0 && !RebuildingViews;
}

static void OnTreeSelectionChanged(const NMHDR* notification)
{
    const NMTREEVIEWA* change = reinterpret_cast<const NMTREEVIEWA*>(notification);
    DirEntry* directory = change->itemNew.hItem ? reinterpret_cast<DirEntry*>(change->itemNew.lParam) : nullptr;
    ShowDirectory(directory);
}

// The row a double click or Return acts on, or -1.
static int ActivatedRow(const NMHDR* notification)
{
    if (notification->code == static_cast<UINT>(NM_DBLCLK)) {
        const NMITEMACTIVATE* activate = reinterpret_cast<const NMITEMACTIVATE*>(notification);
        LVHITTESTINFO hit = {};
        hit.pt = activate->ptAction;
        return static_cast<int>(SendMessageA(FileView, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    }
    if (notification->code == static_cast<UINT>(NM_RETURN))
        return static_cast<int>(SendMessageA(FileView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    return -1;
}

// Reads a row's entry and, with room given, its name cut to that room. The
// name is read into room for any name first: not every list view keeps to a
// short cchTextMax.
static DirEntry* ReadFileRow(int row, char* buffer, size_t size)
{
    char name[DIR_ENTRY_NAME_SIZE + 4] = "";
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = name;
    item.cchTextMax = sizeof(name);
    SendMessageA(FileView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    if (size > 0) {
        size_t length = strnlen(name, size - 1);
        memcpy(buffer, name, length);
        buffer[length] = '\0';
    }
    return reinterpret_cast<DirEntry*>(item.lParam);
}

// Opens a directory row (the parent row included); file rows do nothing.
static void OnFileRowActivated(const NMHDR* notification)
{
    int row = ActivatedRow(notification);
    if (row < 0)
        return;
    DirEntry* entry = ReadFileRow(row, nullptr, 0);
    if (!entry || !entry->isDirectory)
        return;
    ShowDirectory(entry);
    // The tree follows the opened entry itself, so a directory that happens
    // to be named ".." is not mistaken for the parent row.
    SelectTreeItemOfEntry(entry);
}

int ShowParentDirectory()
{
    if (!TreeLoaded() || !ShownDirectory || !ShownDirectory->parent)
        return 0;
    DirEntry* parent = ShownDirectory->parent;
    ShowDirectory(parent);
    SelectTreeItemOfEntry(parent);
    return 1;
}

int OnViewNotify(WPARAM wParam, const NMHDR* notification)
{
    if (!TreeLoaded() || !notification)
        return 1;
    if (notification->hwndFrom == TreeView) {
        if (notification->code == static_cast<UINT>(TVN_SELCHANGEDA) ||
            notification->code == static_cast<UINT>(TVN_SELCHANGEDW))
            OnTreeSelectionChanged(notification);
        return 1;
    }
    if (notification->hwndFrom == FileView)
        OnFileRowActivated(notification);
    return 1;
}

int OnPathBoxSelChange(WPARAM wParam, LPARAM lParam)
{
    if (!TreeLoaded())
        return 1;
    LRESULT index = SendMessageA(PathBox, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return 1;
    LPARAM item = SendMessageA(PathBox, CB_GETITEMDATA, index, 0);
    SendMessageA(TreeView, TVM_SELECTITEM, TVGN_CARET, item);
    SetFocus(FileView);
    return 1;
}

int GetPathBoxText(char* buffer, uint32_t size)
{
    if (size == 0)
        return 1;
    buffer[0] = '\0';
    LRESULT index = SendMessageA(PathBox, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return 1;
    LRESULT length = SendMessageA(PathBox, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || static_cast<uint32_t>(length) >= size)
        return 1;
    SendMessageA(PathBox, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer));
    return 1;
}

int GetShownDirectoryPath(char* buffer, uint32_t size)
{
    if (size == 0)
        return 0;
    buffer[0] = '\0';
    char shown[VIEW_PATH_SIZE] = "";
    if (TreeLoaded() && ShownDirectory && !GetEntryPath(ShownDirectory, shown, sizeof(shown)))
        return 0;
    // One byte more than any path, so that a longer text never compares equal.
    char boxText[VIEW_PATH_SIZE + 1] = "";
    GetWindowTextA(PathBox, boxText, sizeof(boxText));
    if (strcmp(boxText, shown) != 0 || strlen(shown) >= size)
        return 0;
    strcpy(buffer, shown);
    return 1;
}

const DirEntry* GetShownDirectory()
{
    return TreeLoaded() ? ShownDirectory : nullptr;
}

// A file counts only when its directory's full path can be named: a file in
// a directory too deep for the path box could otherwise be deleted under the
// wrong path.
static int FileRowUsable(const DirEntry* entry)
{
    if (!entry || entry->isDirectory)
        return 0;
    char path[VIEW_PATH_SIZE];
    return entry->parent && GetEntryPath(entry->parent, path, sizeof(path));
}

int NextSelectedFile(char* buffer, uint32_t size, int after)
{
    if (!TreeLoaded()) {
        if (size > 0)
            buffer[0] = '\0';
        return -1;
    }
    for (;;) {
        if (size > 0)
            buffer[0] = '\0';
        int row = static_cast<int>(SendMessageA(FileView, LVM_GETNEXTITEM, after, LVNI_SELECTED));
        if (row < 0)
            return -1;
        if (FileRowUsable(ReadFileRow(row, buffer, size)))
            return row;
        after = row;
    }
}
