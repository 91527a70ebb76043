// The whole-file helpers: write dispositions, reads at an offset, the information record and the find.
#include "lib/zem_lib.h"
#include "tests/support/scratch_dir.h"

TEST(FileHelpers, WriteDispositions)
{
    ScratchDir dir;
    const struct {
        const char *name, *text;
        int mode, result;
        const char* after;   // the file's contents afterwards
    } steps[] = {
        {"log.txt", "a long first text", ZEM_FILE_CREATE, 1, "a long first text"}, {"log.txt", "new", ZEM_FILE_CREATE, 1, "new"},
        {"log.txt", "+more", ZEM_FILE_APPEND, 1, "new+more"}, {"fresh.txt", "abc", ZEM_FILE_APPEND, 1, "abc"},
        {"log.txt", "", ZEM_FILE_CREATE, 1, ""}, {"missing/x.txt", "abc", ZEM_FILE_CREATE, 0, "<missing>"},
        {"missing/x.txt", "abc", ZEM_FILE_APPEND, 0, "<missing>"},
    };
    for (const auto& s : steps) {
        std::string path = dir.File(s.name);
        EXPECT_EQ(ZemFileWrite(path.c_str(), s.text, static_cast<uint32_t>(strlen(s.text)), s.mode), s.result) << s.name;
        char bytes[64];
        long n = ZemFileRead(path.c_str(), bytes, sizeof(bytes), 0, nullptr);
        EXPECT_EQ(n < 0 ? "<missing>" : std::string(bytes, static_cast<size_t>(n)), s.after) << s.name;
    }
}

TEST(FileHelpers, ReadAtOffsetsAndFind)
{
    ScratchDir dir;
    std::string path = dir.File("data.bin");
    ASSERT_EQ(ZemFileWrite(path.c_str(), "0123456789", 10, ZEM_FILE_CREATE), 1);
    char buffer[16] = {};
    ZemFileInfo info{};
    EXPECT_TRUE(ZemFileRead(path.c_str(), buffer, 4, 0, &info) == 4 && std::string(buffer, 4) == "0123");
    EXPECT_EQ(info.sizeLow + info.sizeHigh + (info.attributes & ZEM_ATTR_DIRECTORY), 10u);
    EXPECT_TRUE(ZemFileRead(path.c_str(), buffer, sizeof(buffer), 6, nullptr) == 4 && std::string(buffer, 4) == "6789");
    EXPECT_EQ(ZemFileRead(path.c_str(), buffer, sizeof(buffer), 20, nullptr), 0);
    EXPECT_EQ(ZemFileRead(dir.File("none.bin").c_str(), buffer, sizeof(buffer), 0, nullptr), -1);
    EXPECT_EQ(ZemFileRead(dir.path.string().c_str(), buffer, sizeof(buffer), 0, nullptr), -1);
    ZemFindData found;
    memset(&found, 0x5A, sizeof(found));
    ASSERT_EQ(ZemFileFind(path.c_str(), &found), 1);
    EXPECT_TRUE((found.attributes & ZEM_ATTR_DIRECTORY) == 0 && found.sizeLow == 10 && !strcmp(found.fileName, "data.bin"));
    std::filesystem::create_directory(dir.path / "sub");
    ASSERT_EQ(ZemFileFind(dir.File("sub").c_str(), &found), 1);
    EXPECT_TRUE((found.attributes & ZEM_ATTR_DIRECTORY) && !strcmp(found.fileName, "sub"));
    EXPECT_EQ(ZemFileFind(dir.File("gone.nc").c_str(), nullptr), 0);
    // Offsets between 2 GiB and 4 GiB, in a sparse file of 3 GiB.
    std::filesystem::resize_file(path, 0xC0000000u);
    EXPECT_EQ(ZemFileRead(path.c_str(), buffer, sizeof(buffer), 0xBFFFFFFEu, nullptr), 2);
}
