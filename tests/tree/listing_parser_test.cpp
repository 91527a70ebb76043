// The listing parser: how single lines are classified, every golden sample
// in tests/listings, and the tree's storage (pool growth and reuse, parent
// links that stay good although arrays move while they grow).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tree/device_tree.h"
#include "tree/tree_json.h"

namespace {

namespace fs = std::filesystem;

struct LineCase {
    const char* text;        // the line, with whatever follows it
    int kind;
    uint32_t number;         // checked for files and free-space lines
    const char* name;        // checked for files and directories
    uint32_t depth;
    uint32_t nextOffset;     // where the following line starts
};

const LineCase lineCases[] = {
    {"", LINE_END, 0, nullptr, 0, 0},
    {"\r\n(dir) x", LINE_EMPTY, 0, nullptr, 0, 2},
    {"   \r\nx", LINE_EMPTY, 0, nullptr, 3, 5},
    {"   ", LINE_EMPTY, 0, nullptr, 3, 3},
    {"\rx", LINE_EMPTY, 0, nullptr, 0, 1},
    {"(dir) ram\r\n", LINE_DIRECTORY, 0, "ram", 0, 11},
    {"  (dir) a b \r\n", LINE_DIRECTORY, 0, "a b ", 2, 14},
    {"(dir) \r\n", LINE_DIRECTORY, 0, "", 0, 8},
    {"(dir) ram\nx", LINE_DIRECTORY, 0, "ram\nx", 0, 11},
    {"(dir)x\r\n", LINE_OTHER, 0, nullptr, 0, 8},
    {"(dir)\r\n", LINE_OTHER, 0, nullptr, 0, 7},
    {"(DIR) x\r\n", LINE_OTHER, 0, nullptr, 0, 9},
    {"\t(dir) x\r\n", LINE_OTHER, 0, nullptr, 0, 10},
    {" 1234 part1.nc\r\n", LINE_FILE, 1234, "part1.nc", 1, 16},
    {"5678 part b.nc\r\n", LINE_FILE, 5678, "part b.nc", 0, 16},
    {"4294967296 big.bin\r\n", LINE_FILE, 0, "big.bin", 0, 20},
    {"12  two\r\n", LINE_FILE, 12, " two", 0, 9},
    {"7 \r\n", LINE_FILE, 7, "", 0, 4},
    {"1234\r\n", LINE_OTHER, 0, nullptr, 0, 6},
    {"1234x name\r\n", LINE_OTHER, 0, nullptr, 0, 12},
    {"-5 name\r\n", LINE_OTHER, 0, nullptr, 0, 9},
    {"\t1 a.nc\r\n", LINE_OTHER, 0, nullptr, 0, 9},
    {"RamDisk: 5\r\n", LINE_OTHER, 0, nullptr, 0, 12},
    {"Free RamDisk: 5\r\n", LINE_RAMDISK_FREE, 5, nullptr, 0, 17},
    {"  Free FlashDisk: 524288\r\n", LINE_FLASHDISK_FREE, 524288, nullptr, 2, 26},
    {"Free RamDisk:-1\r\n", LINE_RAMDISK_FREE, 4294967295u, nullptr, 0, 17},
    {"Free RamDisk: +7 bytes", LINE_RAMDISK_FREE, 7, nullptr, 0, 22},
    {"Free RamDisk: 4294967301", LINE_RAMDISK_FREE, 5, nullptr, 0, 24},
    {"Free RamDisk: none", LINE_RAMDISK_FREE, 0, nullptr, 0, 18},
    {"x RamDisk:\r\n42 a\r\n", LINE_RAMDISK_FREE, 42, nullptr, 0, 12},
    {"Free RamDisk 1 FlashDisk: 2\r\n", LINE_FLASHDISK_FREE, 2, nullptr, 0, 29},
    {"FlashDisk x: RamDisk 7\r\n", LINE_OTHER, 0, nullptr, 0, 24},
    {"xRamDisk:9", LINE_RAMDISK_FREE, 9, nullptr, 0, 10},
    {"x FlashDisk\r\n", LINE_OTHER, 0, nullptr, 0, 13},
    {"xFlashDis: 3\r\n", LINE_OTHER, 0, nullptr, 0, 14},
    {"RamDisk:1\r\n", LINE_OTHER, 0, nullptr, 0, 11},
    {"Free ramdisk: 5\r\n", LINE_OTHER, 0, nullptr, 0, 17},
    {"Header text\r\n", LINE_OTHER, 0, nullptr, 0, 13},
    // Neither the keyword nor the colon is looked for beyond the line end.
    {"x FlashDis\rk: 1", LINE_OTHER, 0, nullptr, 0, 11},
    {"xx RamDisk\r\n: 5", LINE_OTHER, 0, nullptr, 0, 12},
    {"Free RamDisk\r\n: 5", LINE_OTHER, 0, nullptr, 0, 14},
};

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The JSON writer works on a FILE; a named scratch file works alike on Linux
// and under Wine, where tmpfile() wants the drive's root.
std::string TreeJson(const DeviceTree* tree)
{
    const char* path = "tree-json-scratch.json";
    FILE* out = fopen(path, "w+b");
    if (!out)
        return "(cannot write)";
    WriteTreeJson(out, tree);
    fclose(out);
    std::string json = ReadBytes(path);
    remove(path);
    return json;
}

// Drops the white space between JSON tokens, so that expected files may be
// laid out for reading.
std::string CompactJson(const std::string& json)
{
    std::string out;
    bool inString = false;
    for (size_t i = 0; i < json.size(); i++) {
        char c = json[i];
        if (inString && c == '\\' && i + 1 < json.size())
            out += c, c = json[++i];
        else if (c == '"')
            inString = !inString;
        else if (!inString && (c == ' ' || c == '\n' || c == '\r' || c == '\t'))
            continue;
        out += c;
    }
    return out;
}

void ExpectEmptyTree(const DeviceTree* tree)
{
    EXPECT_EQ(tree->arraysInUse, 0u);
    EXPECT_EQ(tree->ramDiskFree + tree->flashDiskFree, 0u);
    DirEntry zero{};
    EXPECT_EQ(memcmp(&tree->root, &zero, sizeof(zero)), 0) << "root not cleared";
    for (uint32_t i = 0; i < tree->arrayPool->count; i++)
        EXPECT_EQ(PoolArrayAt(tree, i)->count, 0u) << "pool array " << i;
}

// Checks that every parent link names a directory where it lies now, in the
// array that holds the entry's own array, and walks every parent chain, so
// that a link into storage that has moved shows up even without
// AddressSanitizer. Returns the number of entries, or 0 on a bad link.
uint32_t CheckParentLinks(const DeviceTree* tree)
{
    std::set<const DirEntry*> directories{&tree->root};
    for (uint32_t a = 0; a < tree->arraysInUse; a++)
        for (uint32_t i = 0; i < PoolArrayAt(tree, a)->count; i++)
            if (EntryAt(PoolArrayAt(tree, a), i)->isDirectory)
                directories.insert(EntryAt(PoolArrayAt(tree, a), i));
    uint32_t seen = 0;
    for (uint32_t a = 0; a < tree->arraysInUse; a++) {
        const EntryArray* array = PoolArrayAt(tree, a);
        for (uint32_t i = 0; i < array->count; i++, seen++) {
            const DirEntry* entry = EntryAt(array, i);
            if (entry->tree != tree || !directories.count(entry->parent) || entry->parent->children != array)
                return 0;
            uint32_t steps = 0;
            const DirEntry* top = entry;
            for (; top->parent; top = top->parent)
                if (!directories.count(top->parent) || ++steps > tree->arraysInUse)
                    return 0;
            if (top != &tree->root)
                return 0;
        }
    }
    return seen;
}

std::string Directories(int count)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += "(dir) d" + std::to_string(i) + "\r\n 1 f.nc\r\n";
    return text;
}

}  // namespace

TEST(ClassifyLine, EachLineGetsItsKindAndValues)
{
    for (const LineCase& c : lineCases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        ListingLine line;
        memset(&line, 0xEE, sizeof(line));
        int kind = ClassifyLine(&line, c.text);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(line.depth, c.depth);
        EXPECT_EQ(line.next, kind == LINE_END ? nullptr : c.text + c.nextOffset);
        if (kind == LINE_FILE || kind == LINE_RAMDISK_FREE || kind == LINE_FLASHDISK_FREE) {
            EXPECT_EQ(line.number, c.number);
        }
        if (c.name) {
            ASSERT_NE(line.text, nullptr);
            EXPECT_EQ(std::string(line.text, line.length), c.name);
        } else {
            EXPECT_EQ(line.text, nullptr);
            EXPECT_EQ(line.length, 0u);
        }
    }
}

// Every tests/listings/NAME.txt is parsed and compared with
// NAME.expected.json; a listing that must be refused expects {"valid":false}.
TEST(ListingGolden, EverySampleParsesAsExpected)
{
    DeviceTree* tree = CreateDeviceTree();
    ASSERT_NE(tree, nullptr);
    std::vector<fs::path> samples;
    for (const auto& item : fs::directory_iterator(LISTINGS_DIR))
        if (item.path().extension() == ".txt")
            samples.push_back(item.path());
    std::sort(samples.begin(), samples.end());
    ASSERT_GE(samples.size(), 28u) << "samples missing in " << LISTINGS_DIR;
    // One tree for all samples: each parse must leave nothing of the one before.
    for (const fs::path& sample : samples) {
        SCOPED_TRACE(sample.filename().string());
        fs::path expectedPath = sample;
        std::string expected = CompactJson(ReadBytes(expectedPath.replace_extension(".expected.json").string()));
        ASSERT_FALSE(expected.empty()) << "no " << expectedPath.filename().string();
        if (!ParseListing(tree, ReadBytes(sample.string()).c_str())) {
            EXPECT_EQ(expected, "{\"valid\":false}");
            ExpectEmptyTree(tree);
            continue;
        }
        EXPECT_EQ(TreeJson(tree), expected);
        EXPECT_NE(CheckParentLinks(tree), 0u);
        for (uint32_t i = tree->arraysInUse; i < tree->arrayPool->count; i++)
            EXPECT_EQ(PoolArrayAt(tree, i)->count, 0u) << "unused pool array " << i;
    }
    FreeDeviceTree(tree);
}

class DeviceTreeTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(tree = CreateDeviceTree(), nullptr); }
    void TearDown() override { FreeDeviceTree(tree); }
    DeviceTree* tree = nullptr;
};

TEST_F(DeviceTreeTest, PoolGrowsAndIsReusedBySmallerListings)
{
    ExpectEmptyTree(tree);
    ASSERT_EQ(ParseListing(tree, (Directories(9) + "Free RamDisk: 9\r\n").c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 10u);   // the root and 9 directories
    EXPECT_EQ(tree->arrayPool->count, 10u);
    EntryArray* arrays[10];
    for (uint32_t i = 0; i < 10; i++)
        arrays[i] = PoolArrayAt(tree, i);
    uint32_t capacity = arrays[9]->capacityBytes;
    ResetDeviceTree(tree);
    ExpectEmptyTree(tree);
    EXPECT_EQ(arrays[9]->capacityBytes, capacity);

    ASSERT_EQ(ParseListing(tree, Directories(2).c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 3u);
    EXPECT_EQ(tree->arrayPool->count, 10u);
    for (uint32_t i = 0; i < 10; i++) {
        EXPECT_EQ(PoolArrayAt(tree, i), arrays[i]) << "array " << i << " replaced";
        EXPECT_EQ(PoolArrayAt(tree, i)->count, i == 0 ? 2u : i < 3 ? 1u : 0u) << "array " << i;
    }
    ASSERT_EQ(ParseListing(tree, (Directories(12) + " 3 ok.nc\r\n  garbage\r\n").c_str()), 0);
    ExpectEmptyTree(tree);
}

// Every directory outgrows its array's first capacity, and each subdirectory
// comes first, so its parent's array grows after the children were linked to
// the directory's old place: wide (40 directories of 57 entries) and deep
// (300 levels, each closed by a dozen files of its parent).
TEST_F(DeviceTreeTest, ParentLinksSurviveGrowingArrays)
{
    std::string wide = "header\r\n";
    for (int d = 0; d < 40; d++) {
        wide += "(dir) top" + std::to_string(d) + "\r\n (dir) sub\r\n";
        for (int f = 0; f < 30; f++)
            wide += "  " + std::to_string(f) + " inner" + std::to_string(f) + ".nc\r\n";
        for (int f = 0; f < 25; f++)
            wide += " " + std::to_string(f) + " outer" + std::to_string(f) + ".nc\r\n";
    }
    ASSERT_EQ(ParseListing(tree, wide.c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 81u);
    EXPECT_EQ(CheckParentLinks(tree), 40u * 57);
    DirEntry* last = EntryAt(tree->root.children, 39);
    EXPECT_STREQ(last->name, "top39");
    EXPECT_EQ(EntryAt(EntryAt(last->children, 0)->children, 29)->parent->parent, last);

    const int levels = 300;
    std::string deep;
    for (int level = 0; level < levels; level++)
        deep += std::string(level, ' ') + "(dir) level" + std::to_string(level) + "\r\n";
    for (int level = levels - 1; level >= 0; level--)
        for (int f = 0; f < 12; f++)
            deep += std::string(level + 1, ' ') + "1 f" + std::to_string(f) + "\r\n";
    ASSERT_EQ(ParseListing(tree, deep.c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, levels + 1u);
    EXPECT_EQ(CheckParentLinks(tree), levels * 13u);
    int depth = 0;
    for (const DirEntry* up = EntryAt(PoolArrayAt(tree, levels), 0)->parent; up != &tree->root; up = up->parent)
        depth++;
    EXPECT_EQ(depth, levels);
}
