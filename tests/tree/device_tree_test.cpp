// The tree's storage: the pool of entry arrays, its growth and reuse, and
// parent links that stay good although arrays move while they grow.
#include <string>

#include "tests/tree/tree_test_support.h"

class DeviceTreeTest : public testing::Test {
protected:
    void SetUp() override { tree = CreateDeviceTree(); ASSERT_NE(tree, nullptr); }
    void TearDown() override { FreeDeviceTree(tree); }
    DeviceTree* tree = nullptr;
};

static std::string Directories(int count)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += "(dir) d" + std::to_string(i) + "\r\n 1 f.nc\r\n";
    return text;
}

TEST_F(DeviceTreeTest, StartsEmptyWithSixArrays)
{
    EXPECT_EQ(tree->arrayPool->count, 6u);
    EXPECT_GE(tree->arrayPool->capacityBytes, 10 * sizeof(EntryArray*));
    for (uint32_t i = 0; i < 6; i++)
        EXPECT_GE(PoolArrayAt(tree, i)->capacityBytes, 8 * sizeof(DirEntry));
    ExpectEmptyTree(tree);
    FreeDeviceTree(nullptr);   // harmless
}

TEST_F(DeviceTreeTest, PoolGrowsOneArrayAtATimeAndIsReusedBySmallerListings)
{
    // Root plus 9 directories need 10 arrays.
    ASSERT_EQ(ParseListing(tree, Directories(9).c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 10u);
    EXPECT_EQ(tree->arrayPool->count, 10u);
    EntryArray* arrays[10];
    for (uint32_t i = 0; i < 10; i++) {
        arrays[i] = PoolArrayAt(tree, i);
        if (i > 0) {
            EXPECT_EQ(EntryAt(tree->root.children, i - 1)->children, arrays[i]);
        }
    }

    ASSERT_EQ(ParseListing(tree, Directories(2).c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 3u);
    EXPECT_EQ(tree->arrayPool->count, 10u);
    for (uint32_t i = 0; i < 10; i++) {
        EXPECT_EQ(PoolArrayAt(tree, i), arrays[i]) << "array " << i << " replaced";
        EXPECT_EQ(PoolArrayAt(tree, i)->count, i == 0 ? 2u : i < 3 ? 1u : 0u) << "array " << i;
    }

    ASSERT_EQ(ParseListing(tree, "nothing\r\n"), 0);
    EXPECT_EQ(tree->arrayPool->count, 10u);
    ExpectEmptyTree(tree);
}

TEST_F(DeviceTreeTest, ResetEmptiesEveryArrayButKeepsStorage)
{
    ASSERT_EQ(ParseListing(tree, (Directories(7) + "Free RamDisk: 9\r\n").c_str()), 1);
    EXPECT_EQ(tree->ramDiskFree, 9u);
    uint32_t capacity = PoolArrayAt(tree, 7)->capacityBytes;
    ResetDeviceTree(tree);
    ExpectEmptyTree(tree);
    EXPECT_EQ(PoolArrayAt(tree, 7)->capacityBytes, capacity);
}

TEST_F(DeviceTreeTest, InvalidLineAfterManyEntriesLeavesNothingBehind)
{
    std::string text = Directories(12) + " 3 ok.nc\r\n  garbage\r\n";
    EXPECT_EQ(ParseListing(tree, text.c_str()), 0);
    ExpectEmptyTree(tree);
}

// Every directory holds more than its array's first capacity of 8, and each
// subdirectory comes first, so its parent's array grows after the children
// were linked to the directory's old place.
TEST_F(DeviceTreeTest, ParentLinksSurviveGrowingArraysInWideTrees)
{
    std::string text = "header\r\n";
    uint32_t entries = 0;
    for (int d = 0; d < 40; d++) {
        text += "(dir) top" + std::to_string(d) + "\r\n";
        text += " (dir) sub\r\n";
        for (int f = 0; f < 30; f++)
            text += "  " + std::to_string(f) + " inner" + std::to_string(f) + ".nc\r\n";
        for (int f = 0; f < 25; f++)
            text += " " + std::to_string(f) + " outer" + std::to_string(f) + ".nc\r\n";
        entries += 1 + 1 + 30 + 25;
    }
    ASSERT_EQ(ParseListing(tree, text.c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 81u);
    uint32_t seen = 0;
    EXPECT_TRUE(CheckParentLinks(tree, &seen));
    EXPECT_EQ(seen, entries);
    DirEntry* last = EntryAt(tree->root.children, 39);
    EXPECT_STREQ(last->name, "top39");
    EXPECT_EQ(EntryAt(EntryAt(last->children, 0)->children, 29)->parent->parent, last);
}

// 300 levels, each directory closed by a dozen files of its parent.
TEST_F(DeviceTreeTest, ParentLinksSurviveGrowingArraysInDeepTrees)
{
    const int levels = 300;
    std::string text;
    for (int level = 0; level < levels; level++)
        text += std::string(level, ' ') + "(dir) level" + std::to_string(level) + "\r\n";
    for (int level = levels - 1; level >= 0; level--)
        for (int f = 0; f < 12; f++)
            text += std::string(level + 1, ' ') + "1 f" + std::to_string(f) + "\r\n";
    ASSERT_EQ(ParseListing(tree, text.c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, static_cast<uint32_t>(levels + 1));
    uint32_t seen = 0;
    EXPECT_TRUE(CheckParentLinks(tree, &seen));
    EXPECT_EQ(seen, static_cast<uint32_t>(levels * 13));

    const DirEntry* deepest = EntryAt(PoolArrayAt(tree, levels), 0);
    int depth = 0;
    for (const DirEntry* up = deepest->parent; up != &tree->root; up = up->parent)
        depth++;
    EXPECT_EQ(depth, levels);
}

// The deepest nesting that fits the answer buffer: each level one blank
// deeper, empty names, lines ended by a lone CR.
TEST_F(DeviceTreeTest, DeepestNestingThatFitsTheAnswerBuffer)
{
    std::string text;
    uint32_t levels = 0;
    while (text.size() + levels + 7 <= ANSWER_BUFFER_SIZE - 1) {
        text += std::string(levels, ' ') + "(dir) \r";
        levels++;
    }
    ASSERT_EQ(ParseListing(tree, text.c_str()), 1);
    EXPECT_GT(levels, 700u);
    EXPECT_EQ(tree->arraysInUse, levels + 1);
    EXPECT_TRUE(CheckParentLinks(tree, nullptr));
}

TEST_F(DeviceTreeTest, FlatDirectoryOfManyFilesParsesWhole)
{
    std::string text = "(dir) flat\r\n";
    for (int f = 0; f < 20000; f++)
        text += " 1 f" + std::to_string(f) + "\r\n";
    ASSERT_EQ(ParseListing(tree, text.c_str()), 1);
    DirEntry* flat = EntryAt(tree->root.children, 0);
    EXPECT_EQ(flat->children->count, 20000u);
    EXPECT_STREQ(EntryAt(flat->children, 19999)->name, "f19999");
    EXPECT_TRUE(CheckParentLinks(tree, nullptr));
}

TEST_F(DeviceTreeTest, LongNamesFitOrInvalidateTheListing)
{
    std::string name259(259, 'a');
    ASSERT_EQ(ParseListing(tree, ("(dir) " + name259 + "\r\n").c_str()), 1);
    EXPECT_EQ(std::string(EntryAt(tree->root.children, 0)->name), name259);

    // Never cut: a cut name could pass for another file of the same directory.
    EXPECT_EQ(ParseListing(tree, ("(dir) " + std::string(260, 'a') + "\r\n").c_str()), 0);
    ExpectEmptyTree(tree);
    EXPECT_EQ(ParseListing(tree, ("(dir) ok\r\n 9 " + std::string(5000, 'b') + "\r\n").c_str()), 0);
    ExpectEmptyTree(tree);
}
