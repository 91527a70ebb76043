// State shared by the view files only.
#pragma once

// Set while RefreshViews deletes the tree items, whose entries are stale.
extern int RebuildingViews;
