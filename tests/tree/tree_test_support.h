// Helpers shared by the tree tests: file bytes, the tree as compact JSON,
// and the checks that every parse must leave behind.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "tree/device_tree.h"
#include "tree/tree_json.h"

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The JSON writer works on a FILE; a named scratch file works alike on Linux
// and under Wine, where tmpfile() wants the drive's root.
inline std::string TreeJson(const DeviceTree* tree)
{
    const char* path = "tree-json-scratch.json";
    FILE* out = fopen(path, "w+b");
    if (!out)
        return "(cannot write " + std::string(path) + ")";
    WriteTreeJson(out, tree);
    fclose(out);
    std::string json = ReadBytes(path);
    remove(path);
    return json;
}

// Drops the white space between JSON tokens so that expected files may be
// laid out for reading.
inline std::string CompactJson(const std::string& json)
{
    std::string out;
    bool inString = false;
    for (size_t i = 0; i < json.size(); i++) {
        char c = json[i];
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < json.size())
                out += json[++i];
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
            out += c;
        } else if (c != ' ' && c != '\n' && c != '\r' && c != '\t') {
            out += c;
        }
    }
    return out;
}

inline void ExpectEmptyTree(const DeviceTree* tree)
{
    EXPECT_EQ(tree->arraysInUse, 0u);
    EXPECT_EQ(tree->ramDiskFree, 0u);
    EXPECT_EQ(tree->flashDiskFree, 0u);
    DirEntry zero{};
    EXPECT_EQ(memcmp(&tree->root, &zero, sizeof(zero)), 0) << "root not cleared";
    for (uint32_t i = 0; i < tree->arrayPool->count; i++)
        EXPECT_EQ(PoolArrayAt(tree, i)->count, 0u) << "pool array " << i;
}

// Checks that every parent link names a directory where it lies now, in the
// array that holds the entry's own array, and touches every entry through
// its parent chain, so that a link into storage that has moved shows up even
// without AddressSanitizer.
inline int CheckParentLinks(const DeviceTree* tree, uint32_t* entriesSeen)
{
    std::set<const DirEntry*> directories{&tree->root};
    for (uint32_t a = 0; a < tree->arraysInUse; a++) {
        const EntryArray* array = PoolArrayAt(tree, a);
        for (uint32_t i = 0; i < array->count; i++)
            if (EntryAt(array, i)->isDirectory)
                directories.insert(EntryAt(array, i));
    }
    uint32_t seen = 0;
    for (uint32_t a = 0; a < tree->arraysInUse; a++) {
        const EntryArray* array = PoolArrayAt(tree, a);
        for (uint32_t i = 0; i < array->count; i++) {
            const DirEntry* entry = EntryAt(array, i);
            seen++;
            if (entry->tree != tree || !directories.count(entry->parent) || entry->parent->children != array)
                return 0;
            uint32_t steps = 0;
            const DirEntry* top = entry;
            for (const DirEntry* up = entry->parent; up; up = up->parent) {
                if (!directories.count(up) || ++steps > tree->arraysInUse)
                    return 0;
                top = up;
            }
            if (top != &tree->root)
                return 0;
        }
    }
    if (entriesSeen)
        *entriesSeen = seen;
    return 1;
}
