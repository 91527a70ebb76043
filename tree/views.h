// The three views of the controller's tree in the main window: the tree of
// directories, the path box and the file list, kept in step with each other.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

struct DeviceTree;
struct DirEntry;

// Full paths are built and read back in buffers of this size.
constexpr uint32_t VIEW_PATH_SIZE = 200;

int RefreshViews(DeviceTree* tree);
int ShowDirectory(DirEntry* directory);
// path: VIEW_PATH_SIZE bytes, or null for directories too deep for the path box.
int FillTreeAndPathBox(DirEntry* directory, char* path, HTREEITEM parentItem);
int GetPathBoxText(char* buffer, uint32_t size);
int NextSelectedFile(char* buffer, uint32_t size, int after);
int OnViewNotify(WPARAM wParam, const NMHDR* notification);
int OnPathBoxSelChange(WPARAM wParam, LPARAM lParam);

// Selects the tree item of a directory, walking down from the root item.
int SelectTreeItemOfEntry(const DirEntry* directory);
