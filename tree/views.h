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
// The connect button, the port box and the free-space line as the port and
// the tree stand.
void ShowConnectionState(const DeviceTree* tree);
int ShowDirectory(DirEntry* directory);
// path: VIEW_PATH_SIZE bytes, or null for directories too deep for the path box.
int FillTreeAndPathBox(DirEntry* directory, char* path, HTREEITEM parentItem);
int GetPathBoxText(char* buffer, uint32_t size);
// The full path of the directory the file list shows, for the commands that
// act in it. Returns 1 with that path, or with "" when no directory is shown
// and the path box is empty too; returns 0 with "" when the path box shows
// anything else (text typed into it, another directory, a listing that is
// no longer loaded) or the path does not fit: a command must not guess.
int GetShownDirectoryPath(char* buffer, uint32_t size);
// The directory the file list shows; none while no listing is loaded.
const DirEntry* GetShownDirectory();
// -1 while no listing is loaded: the rows then stand for entries of a
// listing that was thrown away.
int NextSelectedFile(char* buffer, uint32_t size, int after);
int OnViewNotify(WPARAM wParam, const NMHDR* notification);
int OnPathBoxSelChange(WPARAM wParam, LPARAM lParam);
// Moves the three views to the parent of the directory shown, as its ".."
// row does; 0 at the root or without a listing.
int ShowParentDirectory();

// Selects the tree item of a directory, walking down from the root item.
int SelectTreeItemOfEntry(const DirEntry* directory);
