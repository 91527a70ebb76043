// The listing parser: single lines, golden samples, the pool and paths of entries.
#include <set>

#include "tests/support/rows.h"
#include "tests/support/scratch_dir.h"
#include "tree/device_tree.h"
#include "tree/tree_json.h"

// The tree as JSON with one entry a line, each indented by its depth, as the golden files are written.
std::string OneEntryALine(const std::string& json)
{
    std::string out;
    int depth = 0, inString = 0;
    for (size_t i = 0; i < json.size(); i++) {
        char c = json[i];
        if (inString && c == '\\') {
            out += c;
            c = json[++i];
        } else if (c == '"') {
            inString = !inString;
        } else if (!inString && c == '{' && i > 0) {
            out += "\n" + std::string(2 * depth, ' ');
        } else if (!inString) {
            depth += (c == '[') - (c == ']');
        }
        out += c;
    }
    return out;
}

// A tree as new after a parse that failed or a reset: the pool's arrays may stay, empty.
void ExpectAsNew(const DeviceTree* tree)
{
    static const DirEntry zero{};
    EXPECT_EQ(tree->arraysInUse, 0u);
    EXPECT_EQ(tree->ramDiskFree, 0u);
    EXPECT_EQ(tree->flashDiskFree, 0u);
    EXPECT_EQ(memcmp(&tree->root, &zero, sizeof(zero)), 0) << "a root is left";
    for (uint32_t i = 0; i < tree->arrayPool->count; i++)
        EXPECT_EQ(PoolArrayAt(tree, i)->count, 0u) << "entries left in array " << i;
}

// Links into moved storage show even without AddressSanitizer. The number of entries, or 0.
uint32_t CheckParentLinks(const DeviceTree* tree)
{
    std::set<const DirEntry*> directories{&tree->root};
    uint32_t seen = 0;
    for (uint32_t pass = 0; pass < 2; pass++)
        for (uint32_t a = 0; a < tree->arrayPool->count; a++)
            for (uint32_t i = 0; i < PoolArrayAt(tree, a)->count; i++, seen += pass) {
                const DirEntry* entry = EntryAt(PoolArrayAt(tree, a), i);
                if (a >= tree->arraysInUse || (pass && (entry->tree != tree || !directories.count(entry->parent) ||
                                                        entry->parent->children != PoolArrayAt(tree, a))))
                    return 0;
                if (entry->isDirectory)
                    directories.insert(entry);
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

class DeviceTreeTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(tree = CreateDeviceTree(), nullptr); }
    void TearDown() override { FreeDeviceTree(tree); }
    DeviceTree* tree = nullptr;
};

TEST(ClassifyLine, EachLineGetsItsKindAndValues)
{
    const std::vector<std::string> kinds = {"OTHER", "FILE", "DIRECTORY", "RAMDISK_FREE", "FLASHDISK_FREE", "EMPTY", "END"};
    for (const Row& c : ReadRows("tree/lines.rows", {{"", 2, 6}})) {
        SCOPED_TRACE(c.Where());
        auto want = c.Named(2, {{"number", "0"}, {"name", "~"}, {"depth", "0"}, {"next", std::to_string(c[0].size())}});
        ListingLine line;
        memset(&line, 0xEE, sizeof(line));
        int kind = ClassifyLine(&line, c[0].c_str());
        EXPECT_EQ(kinds.at(kind), c[1]);
        EXPECT_EQ(line.depth, std::stoul(want["depth"]));
        EXPECT_EQ(line.next, kind == LINE_END ? nullptr : c[0].c_str() + std::stoul(want["next"]));
        if (kind == LINE_FILE || kind == LINE_RAMDISK_FREE || kind == LINE_FLASHDISK_FREE) {
            EXPECT_EQ(line.number, std::stoul(want["number"]));
        }
        EXPECT_EQ(line.text ? std::string(line.text, line.length) : "~", want["name"]);
        EXPECT_EQ(line.length, want["name"] == "~" ? 0u : want["name"].size());
    }
}

// NAME.txt against NAME.expected.json, all in one tree: each parse leaves nothing of the last.
TEST_F(DeviceTreeTest, EveryGoldenSampleParsesAsExpected)
{
    std::set<std::filesystem::path> samples;
    for (const auto& item : std::filesystem::directory_iterator(std::string(TESTS_DIR) + "/listings"))
        if (item.path().extension() == ".txt")
            samples.insert(item.path());
    ASSERT_GE(samples.size(), 28u);
    for (std::filesystem::path sample : samples) {
        SCOPED_TRACE(sample.filename().string());
        int parsed = ParseListing(tree, ReadBytes(sample.string()).c_str());
        std::string expected = ReadBytes(sample.replace_extension(".expected.json").string());
        std::string json = "{\"valid\":false}";
        if (parsed) {   // a named scratch file works alike on Linux and under Wine, where tmpfile() wants the drive's root
            FILE* out = fopen("tree-json-scratch.json", "w+b");
            WriteTreeJson(out, tree);
            fclose(out);
            json = ReadBytes("tree-json-scratch.json");
            EXPECT_NE(CheckParentLinks(tree), 0u);
        } else {
            ExpectAsNew(tree);
        }
        EXPECT_EQ(OneEntryALine(json) + "\n", expected);
    }
}

TEST_F(DeviceTreeTest, PoolGrowsIsReusedAndKeepsParentLinks)
{
    ExpectAsNew(tree);
    ASSERT_EQ(ParseListing(tree, (Directories(9) + "Free RamDisk: 9\r\n").c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 10u);   // the root and 9 directories
    EXPECT_EQ(tree->arrayPool->count, 10u);
    std::vector<EntryArray*> arrays;
    for (uint32_t i = 0; i < 10; i++)
        arrays.push_back(PoolArrayAt(tree, i));
    ResetDeviceTree(tree);
    ExpectAsNew(tree);
    ASSERT_EQ(ParseListing(tree, Directories(2).c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 3u);
    EXPECT_EQ(tree->arrayPool->count, 10u);   // reused, not grown
    for (uint32_t i = 0; i < 10; i++)
        EXPECT_EQ(PoolArrayAt(tree, i), arrays[i]) << "array " << i << " replaced";
    EXPECT_EQ(CheckParentLinks(tree), 4u);
    ASSERT_EQ(ParseListing(tree, (Directories(12) + " 3 ok.nc\r\n  garbage\r\n").c_str()), 0);
    ExpectAsNew(tree);
    // A parent's array grows after its subdirectory's children were linked to the old place: wide, 40 directories
    // each holding a subdirectory of 30 files (sizes 0 to 29) and then 25 files of their own (sizes 30 to 54) ...
    std::string wide = "header\r\n";
    for (int d = 0; d < 40; d++) {
        wide += "(dir) top" + std::to_string(d) + "\r\n (dir) sub\r\n";
        for (int f = 0; f < 55; f++)
            wide += std::string(f < 30 ? 2 : 1, ' ') + std::to_string(f) + " file" + std::to_string(f) + ".nc\r\n";
    }
    ASSERT_EQ(ParseListing(tree, wide.c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 81u);          // the root's, and 40 of each level
    EXPECT_EQ(CheckParentLinks(tree), 2280u);   // 40 directories, 40 subdirectories, 2200 files
    auto sizeOf = [&](std::string path) {
        const DirEntry* entry = FindEntryByPath(tree, path.data());
        return entry ? std::to_string(entry->size) : "none";
    };
    EXPECT_EQ(sizeOf("/top0/sub/file0.nc"), "0");
    EXPECT_EQ(sizeOf("/top39/sub/file29.nc"), "29");
    EXPECT_EQ(sizeOf("/top39/file54.nc"), "54");
    // ... and deep, 300 directories in a chain, the files of each (12) listed after all of them.
    std::string deep;
    for (int level = 0; level < 300; level++)
        deep += std::string(level, ' ') + "(dir) level" + std::to_string(level) + "\r\n";
    for (int level = 299; level >= 0; level--)
        for (int f = 0; f < 12; f++)
            deep += std::string(level + 1, ' ') + "1 f" + std::to_string(f) + "\r\n";
    ASSERT_EQ(ParseListing(tree, deep.c_str()), 1);
    EXPECT_EQ(tree->arraysInUse, 301u);
    EXPECT_EQ(CheckParentLinks(tree), 300 * 13u);
}

// Nothing is written behind a directory's last entry: in an array that is full that would be past its end. Short of
// memory a pool that cannot grow refuses a listing of one directory more than it holds, whole.
TEST_F(DeviceTreeTest, NothingPastTheEntriesAndAPoolThatCannotGrowRefuses)
{
    DirEntry* untouched;
    memset(&untouched, 0xAB, sizeof(untouched));
    for (uint32_t a = 0; a < tree->arrayPool->count; a++)
        memset(PoolArrayAt(tree, a)->data, 0xAB, PoolArrayAt(tree, a)->capacityBytes);
    ASSERT_EQ(ParseListing(tree, "(dir) d\r\n 1 a\r\n"), 1);
    EXPECT_EQ(EntryAt(EntryAt(tree->root.children, 0)->children, 1)->parent, untouched);
    tree->arrayPool->growthBytes = 0xFFFFFFFFu;   // any growth would pass the 32-bit limit
    EXPECT_EQ(ParseListing(tree, Directories(10).c_str()), 0);
    ExpectAsNew(tree);
}

TEST_F(DeviceTreeTest, PathsOfEntriesAndEntriesOfPaths)
{
    ASSERT_EQ(ParseListing(tree, "(dir) ram\r\n (dir) cncprg\r\n  12 a.nc\r\n3 c\r\n"), 1);
    auto name = [](const DirEntry* entry) {
        char path[64] = "~";
        return entry && !GetEntryPath(entry, path, sizeof(path)) ? "?" : std::string(path);
    };
    for (const Row& c : ReadRows("tree/paths.rows", {{"get", 4, 4}, {"find", 3, 3}})) {
        SCOPED_TRACE(c.Where());
        std::string path = c[1];
        DirEntry* entry = c[0] + path == "get/" ? &tree->root : FindEntryByPath(tree, path.data());
        if (c[0] == "find") {
            EXPECT_EQ(name(entry), c[2]) << c[1];
            continue;
        }
        char buffer[32] = "x";
        uint32_t size = std::stoul(c[2]);
        EXPECT_EQ(GetEntryPath(entry, buffer, size), !c[3].empty()) << c[1] << " in " << size;
        EXPECT_EQ(size ? buffer : "", c[3]);
    }
}
