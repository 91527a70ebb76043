// Rebuilding the three views from the tree after every directory read, and
// showing one directory in the file list.
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "tree/device_tree.h"
#include "tree/views.h"
#include "tree/views_internal.h"

int RebuildingViews;
DirEntry* ShownDirectory;

// Remembers the path box selection: the directory shown before the read.
static void RememberShownPath(char* path)
{
    path[0] = '\0';
    LRESULT index = SendMessageA(PathBox, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return;
    LRESULT length = SendMessageA(PathBox, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length >= static_cast<LRESULT>(VIEW_PATH_SIZE))
        return;
    SendMessageA(PathBox, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(path));
}

void ShowConnectionState(const DeviceTree* tree)
{
    SetWindowTextA(ConnectButton, ConnectedPort ? "Disconnect" : "Connect");
    // The port name cannot be changed while connected.
    EnableWindow(PortEdit, ConnectedPort ? FALSE : TRUE);
    char text[200];
    unsigned long ramFree = tree ? tree->ramDiskFree : 0;
    unsigned long flashFree = tree ? tree->flashDiskFree : 0;
    snprintf(text, sizeof(text), "  Available RamDisk: %lu Bytes, FlashDisk: %lu Bytes", ramFree, flashFree);
    SetWindowTextA(FreeSpaceText, text);
}

static void EmptyTreeAndPathBox()
{
    while (SendMessageA(PathBox, CB_DELETESTRING, 0, 0) != CB_ERR) {
    }
    SetWindowTextA(PathBox, "");
    // The items still point at entries of the previous listing: no
    // notification may reach them while they go.
    RebuildingViews = 1;
    SendMessageA(TreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    RebuildingViews = 0;
}

// The directory of exactly this path in the rebuilt path box, or null.
static DirEntry* FindPathBoxDirectory(const char* path)
{
    LRESULT count = SendMessageA(PathBox, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        char text[VIEW_PATH_SIZE];
        LRESULT length = SendMessageA(PathBox, CB_GETLBTEXTLEN, i, 0);
        if (length == CB_ERR || length >= static_cast<LRESULT>(VIEW_PATH_SIZE))
            continue;
        SendMessageA(PathBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        if (strcmp(text, path) != 0)
            continue;
        TVITEMA item = {};
        item.mask = TVIF_HANDLE | TVIF_PARAM;
        item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(PathBox, CB_GETITEMDATA, i, 0));
        if (SendMessageA(TreeView, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
            return reinterpret_cast<DirEntry*>(item.lParam);
    }
    return nullptr;
}

// The directory to come back to: the remembered one; when its path now leads
// to a file first, the directory of that path if it still exists, else the
// directory that holds the file; the root when nothing matches.
static DirEntry* ChooseShownDirectory(DeviceTree* tree, const char* rememberedPath)
{
    char path[VIEW_PATH_SIZE];
    strcpy(path, rememberedPath);
    DirEntry* entry = FindEntryByPath(tree, path);
    if (!entry)
        return &tree->root;
    if (entry->isDirectory)
        return entry;
    DirEntry* directory = FindPathBoxDirectory(rememberedPath);
    return directory ? directory : entry->parent;
}

int RefreshViews(DeviceTree* tree)
{
    char remembered[VIEW_PATH_SIZE];
    RememberShownPath(remembered);
    ShowConnectionState(tree);
    EmptyTreeAndPathBox();
    const int loaded = tree && tree->arraysInUse != 0;
    DirEntry* shown = nullptr;
    if (loaded) {
        char path[VIEW_PATH_SIZE];
        FillTreeAndPathBox(&tree->root, path, nullptr);
        shown = ChooseShownDirectory(tree, remembered);
        // The tree selection follows the shown directory, so that the parent
        // row and the tree agree on where "up" is.
        SelectTreeItemOfEntry(shown);
    }
    ShowDirectory(shown);
    return 1;
}

static HTREEITEM InsertTreeItem(HTREEITEM parentItem, DirEntry* entry, int children)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parentItem;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = entry->name;
    insert.item.lParam = reinterpret_cast<LPARAM>(entry);
    insert.item.cChildren = children;
    return reinterpret_cast<HTREEITEM>(SendMessageA(TreeView, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

static void AddPathBoxItem(const char* path, HTREEITEM item)
{
    LRESULT index = SendMessageA(PathBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
    if (index >= 0)
        SendMessageA(PathBox, CB_SETITEMDATA, index, reinterpret_cast<LPARAM>(item));
}

// Appends name and "/" to path; 0 when that would not fit its buffer.
static int AppendDirectoryName(char* path, const char* name)
{
    size_t used = strlen(path);
    size_t nameLength = strlen(name);
    if (used + nameLength + 2 > VIEW_PATH_SIZE)
        return 0;
    memcpy(path + used, name, nameLength);
    path[used + nameLength] = '/';
    path[used + nameLength + 1] = '\0';
    return 1;
}

int FillTreeAndPathBox(DirEntry* directory, char* path, HTREEITEM parentItem)
{
    if (!parentItem) {
        strcpy(path, "/");
        LRESULT index = SendMessageA(PathBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
        parentItem = InsertTreeItem(nullptr, directory, 1);
        // Selecting the root fills the file list through the notification.
        SendMessageA(TreeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parentItem));
        if (index >= 0)
            SendMessageA(PathBox, CB_SETITEMDATA, index, reinterpret_cast<LPARAM>(parentItem));
    }
    const size_t pathLength = path ? strlen(path) : 0;
    EntryArray* children = directory->children;
    for (uint32_t i = 0; children && i < children->count; i++) {
        DirEntry* entry = EntryAt(children, i);
        if (!entry->isDirectory)
            continue;
        // A directory whose full path does not fit stays in the tree but not
        // in the path box, and so do the directories below it.
        char* childPath = path && AppendDirectoryName(path, entry->name) ? path : nullptr;
        HTREEITEM item = InsertTreeItem(parentItem, entry, 0);
        if (childPath)
            AddPathBoxItem(childPath, item);
        FillTreeAndPathBox(entry, childPath, item);
        if (path)
            path[pathLength] = '\0';
        SendMessageA(TreeView, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        TVITEMA flag = {};
        flag.mask = TVIF_HANDLE | TVIF_CHILDREN;
        flag.hItem = parentItem;
        flag.cChildren = 1;
        SendMessageA(TreeView, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&flag));
    }
    SendMessageA(TreeView, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parentItem));
    return 1;
}

static void InsertFileRow(int row, DirEntry* entry, const char* name, const char* sizeText)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = const_cast<char*>(name);
    item.lParam = reinterpret_cast<LPARAM>(entry);
    SendMessageA(FileView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    LVITEMA size = {};
    size.mask = LVIF_TEXT;
    size.iItem = row;
    size.iSubItem = 1;
    size.pszText = const_cast<char*>(sizeText);
    SendMessageA(FileView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&size));
}

// Selects the path box item of exactly this path, letter case included, so
// that two directories differing only in case never share an item.
static void SelectPathBoxItem(const char* path)
{
    LRESULT count = SendMessageA(PathBox, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; path[0] && i < count; i++) {
        LRESULT length = SendMessageA(PathBox, CB_GETLBTEXTLEN, i, 0);
        if (length == CB_ERR || length >= static_cast<LRESULT>(VIEW_PATH_SIZE))
            continue;
        char text[VIEW_PATH_SIZE];
        SendMessageA(PathBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        if (strcmp(text, path) == 0) {
            SendMessageA(PathBox, CB_SETCURSEL, i, 0);
            return;
        }
    }
    SendMessageA(PathBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int ShowDirectory(DirEntry* directory)
{
    ShownDirectory = directory;
    SendMessageA(FileView, LVM_DELETEALLITEMS, 0, 0);
    if (!directory) {
        UpdateWindow(FileView);
        return 1;
    }
    int row = 0;
    if (directory->parent)
        InsertFileRow(row++, directory->parent, "..", "(Parent-Dir)");
    EntryArray* children = directory->children;
    for (uint32_t i = 0; children && i < children->count; i++) {
        DirEntry* entry = EntryAt(children, i);
        char sizeText[16];
        snprintf(sizeText, sizeof(sizeText), "%lu", static_cast<unsigned long>(entry->size));
        InsertFileRow(row++, entry, entry->name, entry->isDirectory ? "(Dir)" : sizeText);
    }
    LVITEMA state = {};
    state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    state.state = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageA(FileView, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    UpdateWindow(FileView);
    char path[VIEW_PATH_SIZE];
    GetEntryPath(directory, path, sizeof(path));
    SelectPathBoxItem(path);
    return 1;
}

static HTREEITEM FindTreeItemOfEntry(const DirEntry* entry)
{
    if (!entry->parent)
        return reinterpret_cast<HTREEITEM>(SendMessageA(TreeView, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    HTREEITEM parentItem = FindTreeItemOfEntry(entry->parent);
    if (!parentItem)
        return nullptr;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(
        SendMessageA(TreeView, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parentItem)));
    while (item) {
        TVITEMA data = {};
        data.mask = TVIF_HANDLE | TVIF_PARAM;
        data.hItem = item;
        if (SendMessageA(TreeView, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) &&
            reinterpret_cast<const DirEntry*>(data.lParam) == entry)
            return item;
        item = reinterpret_cast<HTREEITEM>(
            SendMessageA(TreeView, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return nullptr;
}

int SelectTreeItemOfEntry(const DirEntry* directory)
{
    HTREEITEM item = directory ? FindTreeItemOfEntry(directory) : nullptr;
    if (!item)
        return 0;
    SendMessageA(TreeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    return 1;
}
