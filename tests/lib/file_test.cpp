// The whole-file helpers: write dispositions, reads at an offset, the information record and the find.
#include "lib/zem_lib.h"
#include "tests/support/rows.h"
#include "tests/support/scratch_dir.h"

TEST(FileHelpers, WriteDispositions)
{
    ScratchDir dir;
    for (const Row& c : ReadRows("lib/file_writes.rows", {{"create", 5, 5}, {"append", 5, 5}})) {
        SCOPED_TRACE(c.Where());
        std::string path = dir.File(c[1]);
        int mode = c[0] == "append" ? ZEM_FILE_APPEND : ZEM_FILE_CREATE;
        EXPECT_EQ(ZemFileWrite(path.c_str(), c[2].data(), static_cast<uint32_t>(c[2].size()), mode), std::stoi(c[3]));
        char bytes[64];
        long n = ZemFileRead(path.c_str(), bytes, sizeof(bytes), 0, nullptr);
        EXPECT_EQ(n < 0 ? "~" : std::string(bytes, static_cast<size_t>(n)), c[4]);
    }
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
    EXPECT_EQ(found.attributes & ZEM_ATTR_DIRECTORY, ZEM_ATTR_DIRECTORY);
    EXPECT_STREQ(found.fileName, "sub");
    EXPECT_EQ(ZemFileFind(dir.File("gone.nc").c_str(), nullptr), 0);
    // Offsets between 2 GiB and 4 GiB, in a sparse file of 3 GiB.
    std::filesystem::resize_file(path, 0xC0000000u);
    EXPECT_EQ(ZemFileRead(path.c_str(), buffer, sizeof(buffer), 0xBFFFFFFEu, nullptr), 2);
}
