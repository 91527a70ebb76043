// How single lines are classified, one row per line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tree/device_tree.h"

struct LineCase {
    const char* text;        // the line, with whatever follows it
    int kind;
    uint32_t number;         // checked for files and free-space lines
    const char* name;        // checked for files and directories
    uint32_t depth;
    uint32_t nextOffset;     // where the following line starts
};

static const LineCase lineCases[] = {
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

TEST(ClassifyLine, EachLineGetsItsKindAndValues)
{
    for (const LineCase& c : lineCases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        ListingLine line;
        memset(&line, 0xEE, sizeof(line));
        int kind = ClassifyLine(&line, c.text);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(line.depth, c.depth);
        if (kind == LINE_END) {
            EXPECT_EQ(line.next, nullptr);
        } else {
            EXPECT_EQ(line.next - c.text, static_cast<ptrdiff_t>(c.nextOffset));
        }
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
