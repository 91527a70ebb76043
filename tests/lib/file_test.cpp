// The whole-file helpers: dispositions of the write, reads at an offset,
// the information record and the directory attribute of the find.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "lib/zem_lib.h"
#include "tests/support/scratch_dir.h"

namespace {

std::string Contents(const std::string& path)
{
    char bytes[64];
    long n = ZemFileRead(path.c_str(), bytes, sizeof(bytes), 0, nullptr);
    return n < 0 ? "<missing>" : std::string(bytes, static_cast<size_t>(n));
}

}  // namespace

TEST(FileHelpers, WriteDispositions)
{
    ScratchDir dir;
    std::string path = dir.File("log.txt");
    ASSERT_EQ(ZemFileWrite(path.c_str(), "a long first text", 17, ZEM_FILE_CREATE), 1);
    ASSERT_EQ(ZemFileWrite(path.c_str(), "new", 3, ZEM_FILE_CREATE), 1);
    ASSERT_EQ(ZemFileWrite(path.c_str(), "+more", 5, ZEM_FILE_APPEND), 1);
    EXPECT_EQ(Contents(path), "new+more");
    std::string fresh = dir.File("fresh.txt");
    ASSERT_EQ(ZemFileWrite(fresh.c_str(), "abc", 3, ZEM_FILE_APPEND), 1);
    EXPECT_EQ(Contents(fresh), "abc");
    ASSERT_EQ(ZemFileWrite(path.c_str(), "", 0, ZEM_FILE_CREATE), 1);
    EXPECT_EQ(Contents(path), "");
    std::string lost = dir.File("missing") + "/x.txt";
    EXPECT_EQ(ZemFileWrite(lost.c_str(), "abc", 3, ZEM_FILE_CREATE), 0);
    EXPECT_EQ(ZemFileWrite(lost.c_str(), "abc", 3, ZEM_FILE_APPEND), 0);
}

TEST(FileHelpers, ReadAtOffsetsAndFind)
{
    ScratchDir dir;
    std::string path = dir.File("data.bin");
    ASSERT_EQ(ZemFileWrite(path.c_str(), "0123456789", 10, ZEM_FILE_CREATE), 1);
    char buffer[16] = {};
    ZemFileInfo info{};
    EXPECT_EQ(ZemFileRead(path.c_str(), buffer, 4, 0, &info), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(info.sizeLow, 10u);
    EXPECT_EQ(info.sizeHigh, 0u);
    EXPECT_EQ(info.attributes & ZEM_ATTR_DIRECTORY, 0u);
    EXPECT_EQ(ZemFileRead(path.c_str(), buffer, sizeof(buffer), 6, nullptr), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(ZemFileRead(path.c_str(), buffer, sizeof(buffer), 20, nullptr), 0);
    EXPECT_EQ(ZemFileRead(dir.File("none.bin").c_str(), buffer, sizeof(buffer), 0, nullptr), -1);
    EXPECT_EQ(ZemFileRead(dir.path.string().c_str(), buffer, sizeof(buffer), 0, nullptr), -1);

    ZemFindData found;
    memset(&found, 0x5A, sizeof(found));
    ASSERT_EQ(ZemFileFind(path.c_str(), &found), 1);
    EXPECT_EQ(found.attributes & ZEM_ATTR_DIRECTORY, 0u);
    EXPECT_EQ(found.sizeLow, 10u);
    EXPECT_STREQ(found.fileName, "data.bin");
    std::filesystem::create_directory(dir.path / "sub");
    ASSERT_EQ(ZemFileFind(dir.File("sub").c_str(), &found), 1);
    EXPECT_NE(found.attributes & ZEM_ATTR_DIRECTORY, 0u);
    EXPECT_STREQ(found.fileName, "sub");
    EXPECT_EQ(ZemFileFind(dir.File("gone.nc").c_str(), nullptr), 0);

    // Offsets between 2 GiB and 4 GiB, in a sparse file of 3 GiB.
    std::filesystem::resize_file(path, 0xC0000000u);
    EXPECT_EQ(ZemFileRead(path.c_str(), buffer, sizeof(buffer), 0xBFFFFFFEu, nullptr), 2);
}
