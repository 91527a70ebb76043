// ParseListing on arbitrary answers: no read outside the text; a tree loaded with sound links or wholly empty.
#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"
#include "serial/answer_read.h"
#include "tree/device_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static DeviceTree* tree;   // one tree for the run, reused like the browser's
    if (size >= ANSWER_BUFFER_SIZE)
        return 0;
    if (!tree) {
        ZemLibInit();
        Require((tree = CreateDeviceTree()) != nullptr);
    }
    std::vector<char> text(data, data + size);
    text.push_back(0);
    int loaded = ParseListing(tree, text.data());
    Require(tree->arraysInUse <= tree->arrayPool->count);
    Require(tree->arraysInUse >= (loaded ? 1 : 0));
    Require(loaded || tree->arraysInUse == 0);
    Require(tree->root.children == (loaded ? PoolArrayAt(tree, 0) : nullptr));
    Require(!loaded || strcmp(tree->root.name, "/") == 0);
    Require(loaded || tree->ramDiskFree == 0);
    Require(loaded || tree->flashDiskFree == 0);
    for (uint32_t a = 0; a < tree->arrayPool->count; a++) {
        EntryArray* array = PoolArrayAt(tree, a);
        Require(a < tree->arraysInUse || array->count == 0);
        for (uint32_t i = 0; i < array->count; i++) {
            DirEntry* entry = EntryAt(array, i);
            Require(entry->tree == tree);
            Require(entry->parent->children == array);
            Require(strnlen(entry->name, DIR_ENTRY_NAME_SIZE) < DIR_ENTRY_NAME_SIZE);
        }
    }
    return 0;
}
