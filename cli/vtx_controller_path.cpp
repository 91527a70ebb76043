// Where a controller path stands in the tree just read. The controller takes
// a path without a leading "/" (a delete of a bare name, an upload without a
// directory) as one inside its default directory.
#include <cstring>

#include "cli/vtx_commands.h"
#include "serial/upload_check.h"
#include "tree/device_tree.h"

// The entry at path when it is of the wanted kind; a directory path ends in "/".
static DirEntry* FindOfKind(DeviceTree* tree, const char* path, int directory)
{
    char absolute[VTX_PATH_SIZE];
    if (!ControllerAbsolutePath(path, absolute, sizeof(absolute)))
        return nullptr;
    if (directory && strcmp(absolute, "/") == 0)
        return &tree->root;
    DirEntry* entry = FindEntryByPath(tree, absolute);
    return entry && entry->isDirectory == directory ? entry : nullptr;
}

DirEntry* VtxFindFile(DeviceTree* tree, const char* path)
{
    return FindOfKind(tree, path, 0);
}

DirEntry* VtxFindDirectory(DeviceTree* tree, const char* path)
{
    return FindOfKind(tree, path, 1);
}
