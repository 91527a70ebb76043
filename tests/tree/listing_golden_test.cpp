// Every tests/listings/NAME.txt is parsed and compared with
// NAME.expected.json; a listing that must be refused expects {"valid":false}.
#include <algorithm>
#include <filesystem>
#include <vector>

#include "tests/tree/tree_test_support.h"

namespace fs = std::filesystem;

TEST(ListingGolden, EverySampleParsesAsExpected)
{
    DeviceTree* tree = CreateDeviceTree();
    ASSERT_NE(tree, nullptr);
    std::vector<fs::path> samples;
    for (const auto& item : fs::directory_iterator(LISTINGS_DIR))
        if (item.path().extension() == ".txt")
            samples.push_back(item.path());
    std::sort(samples.begin(), samples.end());
    ASSERT_GE(samples.size(), 20u) << "samples missing in " << LISTINGS_DIR;

    // One tree for all samples: each parse must leave nothing of the one before.
    for (const fs::path& sample : samples) {
        SCOPED_TRACE(sample.filename().string());
        fs::path expectedPath = sample;
        expectedPath.replace_extension(".expected.json");
        std::string expected = CompactJson(ReadBytes(expectedPath.string()));
        ASSERT_FALSE(expected.empty()) << "no " << expectedPath.filename().string();

        std::string text = ReadBytes(sample.string());
        int valid = ParseListing(tree, text.c_str());
        if (!valid) {
            EXPECT_EQ(expected, "{\"valid\":false}");
            ExpectEmptyTree(tree);
            continue;
        }
        EXPECT_EQ(TreeJson(tree), expected);
        EXPECT_TRUE(CheckParentLinks(tree, nullptr));
        for (uint32_t i = tree->arraysInUse; i < tree->arrayPool->count; i++)
            EXPECT_EQ(PoolArrayAt(tree, i)->count, 0u) << "unused pool array " << i;
    }
    FreeDeviceTree(tree);
}

TEST(ListingGolden, WorkedExampleHandsOutArraysInListingOrder)
{
    DeviceTree* tree = CreateDeviceTree();
    ASSERT_NE(tree, nullptr);
    std::string text = ReadBytes(std::string(LISTINGS_DIR) + "/worked_example.txt");
    ASSERT_EQ(ParseListing(tree, text.c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 5u);
    EXPECT_STREQ(tree->root.name, "/");
    EXPECT_EQ(tree->root.tree, tree);
    EXPECT_EQ(tree->root.parent, nullptr);
    EXPECT_EQ(tree->root.children, PoolArrayAt(tree, 0));
    DirEntry* ram = EntryAt(PoolArrayAt(tree, 0), 0);
    DirEntry* rom = EntryAt(PoolArrayAt(tree, 0), 1);
    EXPECT_EQ(ram->children, PoolArrayAt(tree, 1));
    EXPECT_EQ(EntryAt(ram->children, 0)->children, PoolArrayAt(tree, 2));   // cncprg
    EXPECT_EQ(EntryAt(ram->children, 1)->children, PoolArrayAt(tree, 3));   // empty
    EXPECT_EQ(rom->children, PoolArrayAt(tree, 4));
    EXPECT_EQ(EntryAt(ram->children, 2)->children, nullptr);                // notes.txt
    EXPECT_EQ(EntryAt(ram->children, 2)->parent, ram);
    FreeDeviceTree(tree);
}
