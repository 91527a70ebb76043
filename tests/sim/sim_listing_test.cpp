// The listing of the simulated controller: its exact text for the sample,
// and that our parser reads it back into the tree its folder holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "tests/sim/sim_process.h"
#include "tree/device_tree.h"

namespace fs = std::filesystem;

namespace {

class SimListing : public testing::Test {
protected:
    void TearDown() override { StopSim(&sim); }
    SimProcess sim;
};

// One line per entry, "name/" for directories and "name size" for files,
// indented by depth: the same picture from the folder and from the tree.
// Hidden names, links and files at the top are no part of the controller.
void DescribeFolder(const fs::path& dir, int depth, std::string* out)
{
    std::vector<fs::directory_entry> entries(fs::directory_iterator(dir), fs::directory_iterator{});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return std::strcmp(a.path().filename().c_str(), b.path().filename().c_str()) < 0;
    });
    for (const fs::directory_entry& entry : entries) {
        std::string name = entry.path().filename().string();
        if (name[0] == '.' || entry.is_symlink())
            continue;
        if (entry.is_directory()) {
            *out += std::string(depth, ' ') + name + "/\n";
            DescribeFolder(entry.path(), depth + 1, out);
        } else if (depth > 0) {
            *out += std::string(depth, ' ') + name + " " + std::to_string(entry.file_size()) + "\n";
        }
    }
}

void DescribeEntries(const EntryArray* array, int depth, std::string* out)
{
    for (uint32_t i = 0; i < array->count; i++) {
        const DirEntry* entry = EntryAt(array, i);
        *out += std::string(depth, ' ') + entry->name;
        *out += entry->isDirectory ? "/\n" : " " + std::to_string(entry->size) + "\n";
        if (entry->isDirectory)
            DescribeEntries(entry->children, depth + 1, out);
    }
}

TEST_F(SimListing, SampleListingHasTheExactFormat)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    std::string expected =
        "Directory of the controller\r\n"
        "(dir) ROM\r\n"
        " (dir) macros\r\n"
        "  54 toolchange.nc\r\n"
        " 54 setup.dat\r\n"
        "(dir) ram\r\n"
        " (dir) cncprg\r\n"
        "  (dir) fixtures\r\n"
        "   30 clamp.nc\r\n"
        "   (dir) deep\r\n"
        "    (dir) deeper\r\n"
        "     71 drill.nc\r\n"
        "  69 part b.nc\r\n"
        "  108 part1.nc\r\n"
        " (dir) empty\r\n"
        " 56 notes.txt\r\n"
        "Free RamDisk: 1048242\r\n"
        "Free FlashDisk: 4194196\r\n"
        "\r\n";
    EXPECT_EQ(Command(sim.port, "l\r\n"), expected);
    // The same text again: the order does not depend on the folder's order.
    EXPECT_EQ(Command(sim.port, "l\r\n"), expected);
}

TEST_F(SimListing, ParsesIntoTheTreeOfItsFolder)
{
    sim.root = MakeControllerFolder(true);
    fs::create_directories(sim.root + "/ram/a/b/c/d/e/f");
    WriteHostFile(sim.root + "/ram/a/b/c/d/e/f/deepest file.nc", "G0\r\n");
    fs::create_directories(sim.root + "/ram/ blank first");
    WriteHostFile(sim.root + "/ram/ blank first/two  blanks.nc", "x");
    fs::create_directories(sim.root + "/spare");   // a third top-level folder
    WriteHostFile(sim.root + "/ram/.hidden.nc", "");
    WriteHostFile(sim.root + "/toplevel.txt", "not a directory");
    ASSERT_EQ(symlink("/etc", (sim.root + "/ram/outside").c_str()), 0);
    ASSERT_EQ(symlink("/etc/hostname", (sim.root + "/ram/linked.nc").c_str()), 0);
    ASSERT_TRUE(StartSim(&sim, {"--ram-size", "5000", "--flash-size", "7000"}));

    DeviceTree* tree = CreateDeviceTree();
    ASSERT_TRUE(ParseListing(tree, Command(sim.port, "l\r\n").c_str()));
    std::string parsed, folder;
    DescribeEntries(tree->root.children, 0, &parsed);
    DescribeFolder(sim.root, 0, &folder);
    EXPECT_EQ(parsed, folder);
    EXPECT_NE(parsed.find("  part b.nc 69\n"), std::string::npos);
    EXPECT_NE(parsed.find(" empty/\n notes.txt 56\n"), std::string::npos) << "empty stays without entries";
    EXPECT_NE(parsed.find("       deepest file.nc 4\n"), std::string::npos);
    EXPECT_NE(parsed.find("  two  blanks.nc 1\n"), std::string::npos);
    EXPECT_EQ(tree->ramDiskFree, 5000u - 334u - 4u - 1u);
    EXPECT_EQ(tree->flashDiskFree, 7000u - 108u);
    FreeDeviceTree(tree);
}

TEST_F(SimListing, MakesBothDisksInAnEmptyRootAndFreeSpaceStaysAtZero)
{
    sim.root = MakeControllerFolder(false);
    ASSERT_TRUE(StartSim(&sim, {"--ram-size", "100", "--flash-size", "200"}));
    EXPECT_EQ(Command(sim.port, "l\r\n"),
              "Directory of the controller\r\n(dir) ROM\r\n(dir) ram\r\n (dir) cncprg\r\n"
              "Free RamDisk: 100\r\nFree FlashDisk: 200\r\n\r\n");
    StopSim(&sim);
    ASSERT_TRUE(StartSim(&sim, {"--ram-size", "10"}));
    EXPECT_NE(Command(sim.port, "l\r\n").find("Free RamDisk: 0\r\n"), std::string::npos);
}

}   // namespace
