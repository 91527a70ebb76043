// State shared by the view files only.
#pragma once

// Set while RefreshViews deletes the tree items, whose entries are stale.
extern int RebuildingViews;

struct DirEntry;
// The directory the file list shows; none before the first listing and
// after a read that loaded none.
extern DirEntry* ShownDirectory;
