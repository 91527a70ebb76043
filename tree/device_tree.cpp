// The one DeviceTree of the program: created with the main window, emptied
// before every listing and filled again in the same storage.
#include <cstring>

#include "tree/device_tree.h"

// Six arrays cover the usual controller (root, RAM disk, flash disk and a few
// program folders) without growing the pool on the first listing.
constexpr uint32_t INITIAL_POOL_ARRAYS = 6;
constexpr uint32_t POOL_CAPACITY = 10;
constexpr uint32_t ENTRY_ARRAY_CAPACITY = 8;

DeviceTree* CreateDeviceTree()
{
    DeviceTree* tree = nullptr;
    if (!ZemMemAllocAs(&tree, sizeof(DeviceTree), ZEM_ZERO_MEMORY))
        return nullptr;
    tree->arrayPool = ZemArrayCreate(sizeof(EntryArray*), POOL_CAPACITY);
    int made = tree->arrayPool != nullptr;
    for (uint32_t i = 0; made && i < INITIAL_POOL_ARRAYS; i++)
        made = AddEntryArray(tree);
    if (!made) {
        FreeDeviceTree(tree);
        return nullptr;
    }
    return tree;   // zeroed: no tree loaded, no arrays in use
}

void FreeDeviceTree(DeviceTree* tree)
{
    if (!tree)
        return;
    if (tree->arrayPool) {
        for (uint32_t i = 0; i < tree->arrayPool->count; i++)
            ZemArrayDestroy(PoolArrayAt(tree, i));
        ZemArrayDestroy(tree->arrayPool);
        tree->arrayPool = nullptr;
    }
    ZemMemFreeAs(&tree);
}

int AddEntryArray(DeviceTree* tree)
{
    EntryArray* array = ZemArrayCreate(sizeof(DirEntry), ENTRY_ARRAY_CAPACITY);
    if (array && ZemArrayInsert(tree->arrayPool, &array, ZEM_ARRAY_END, 1))
        return 1;
    ZemArrayDestroy(array);   // none when it could not be made
    return 0;
}

void ResetDeviceTree(DeviceTree* tree)
{
    // Every array, not only those in use, so that nothing of an earlier
    // listing lingers in an array that the next parse leaves unused.
    for (uint32_t i = 0; i < tree->arrayPool->count; i++)
        ZemArrayClear(PoolArrayAt(tree, i));
    tree->arraysInUse = 0;
    tree->ramDiskFree = 0;
    tree->flashDiskFree = 0;
    memset(&tree->root, 0, sizeof(tree->root));
}
