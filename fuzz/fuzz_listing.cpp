// ParseListing on arbitrary answers: it must never read outside the text,
// and whatever it returns must leave the tree in one of its two states.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"
#include "tree/device_tree.h"

static DeviceTree* tree;

// A loaded tree: every entry's parent is the directory that owns its array,
// and the arrays beyond those in use are empty.
static void CheckLoadedTree()
{
    Require(tree->arraysInUse >= 1 && tree->arraysInUse <= tree->arrayPool->count);
    Require(tree->root.children == PoolArrayAt(tree, 0) && tree->root.children->count > 0);
    Require(strcmp(tree->root.name, "/") == 0);
    for (uint32_t i = 0; i < tree->root.children->count; i++)
        Require(EntryAt(tree->root.children, i)->parent == &tree->root);
    for (uint32_t a = 0; a < tree->arraysInUse; a++) {
        EntryArray* array = PoolArrayAt(tree, a);
        for (uint32_t i = 0; i < array->count; i++) {
            DirEntry* entry = EntryAt(array, i);
            Require(entry->tree == tree && entry->parent->children == array);
            Require(strlen(entry->name) < DIR_ENTRY_NAME_SIZE);
            if (entry->isDirectory)
                for (uint32_t c = 0; c < entry->children->count; c++)
                    Require(EntryAt(entry->children, c)->parent == entry);
        }
    }
    for (uint32_t a = tree->arraysInUse; a < tree->arrayPool->count; a++)
        Require(PoolArrayAt(tree, a)->count == 0);
}

static void CheckEmptyTree()
{
    Require(tree->arraysInUse == 0 && tree->ramDiskFree == 0 && tree->flashDiskFree == 0);
    Require(tree->root.children == nullptr && tree->root.name[0] == 0);
    for (uint32_t a = 0; a < tree->arrayPool->count; a++)
        Require(PoolArrayAt(tree, a)->count == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The controller's answer is a terminated text, as in the answer buffer.
    if (size >= ANSWER_BUFFER_SIZE)
        return 0;
    if (!tree) {
        ZemLibInit();
        tree = CreateDeviceTree();   // one tree for the run, reused like the browser's
        Require(tree != nullptr);
    }
    std::vector<char> text(data, data + size);
    text.push_back(0);
    if (ParseListing(tree, text.data()))
        CheckLoadedTree();
    else
        CheckEmptyTree();
    return 0;
}
