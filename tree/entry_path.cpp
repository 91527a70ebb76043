// Full paths of entries and the way back from a path to its entry.
#include <cstring>

#include "tree/device_tree.h"

int GetEntryPath(const DirEntry* entry, char* buffer, uint32_t size)
{
    if (size == 0)
        return 0;
    buffer[0] = '\0';
    if (!entry->parent) {
        if (size < 2)
            return 0;
        strcpy(buffer, "/");
        return 1;
    }
    if (!GetEntryPath(entry->parent, buffer, size))
        return 0;
    size_t used = strlen(buffer);
    size_t nameLength = strlen(entry->name);
    size_t needed = used + nameLength + (entry->isDirectory ? 1 : 0) + 1;
    // A path that does not fit is given up whole rather than cut, so that no
    // caller ever works on the path of another directory.
    if (needed > size) {
        buffer[0] = '\0';
        return 0;
    }
    memcpy(buffer + used, entry->name, nameLength);
    used += nameLength;
    if (entry->isDirectory)
        buffer[used++] = '/';
    buffer[used] = '\0';
    return 1;
}

static DirEntry* FindChildByName(DirEntry* directory, const char* name)
{
    EntryArray* children = directory->children;
    if (!children)
        return nullptr;
    for (uint32_t i = 0; i < children->count; i++) {
        DirEntry* child = EntryAt(children, i);
        if (strcmp(child->name, name) == 0)
            return child;
    }
    return nullptr;
}

DirEntry* FindEntryByPath(DeviceTree* tree, char* path)
{
    if (strlen(path) < 2)
        return nullptr;
    DirEntry* current = &tree->root;
    char* segment = path + 1;
    for (;;) {
        char* slash = strchr(segment, '/');
        char* rest = nullptr;
        if (slash) {
            *slash = '\0';
            rest = slash + 1;
        }
        if (!current->isDirectory)
            return nullptr;
        DirEntry* match = FindChildByName(current, segment);
        if (!match)
            return nullptr;
        if (!rest || *rest == '\0')
            return match;
        current = match;
        segment = rest;
    }
}
