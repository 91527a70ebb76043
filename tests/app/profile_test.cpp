// Profile strings: defaults, cutting, letter case, blanks, line ends, refused writes and hostile files.
#include "app/profile.h"
#include "tests/support/rows.h"
#include "tests/support/scratch_dir.h"

namespace fs = std::filesystem;

class Profile : public testing::Test {
protected:
    ScratchDir dir;
    std::string path = dir.File("test.ini");

    int Write(const char* section, const char* key, const char* value) { return ProfileWriteString(section, key, value, path.c_str()); }
};

TEST_F(Profile, ReadsAndWritesOfTheRows)
{
    for (const Row& c : ReadRows("app/profile.rows", {{"put", 2, 2}, {"read", 4, 6}, {"write", 5, 5}, {"file", 2, 2}})) {
        SCOPED_TRACE(c.Where());
        if (c[0] == "put" && c[1] == "~")
            fs::remove(path);
        else if (c[0] == "put")
            std::ofstream(path, std::ios::binary) << c[1];
        else if (c[0] == "read") {
            auto given = c.Named(4, {{"default", "<default>"}, {"size", "64"}});
            std::string buffer(std::stoul(given["size"]) + 1, '#');
            uint32_t length = ProfileReadString(c[1].c_str(), c[2].c_str(), given["default"].c_str(), buffer.data(),
                                                std::stoul(given["size"]), path.c_str());
            EXPECT_EQ(buffer.back(), '#') << "wrote past the buffer";
            EXPECT_EQ(length, strlen(buffer.c_str()));
            EXPECT_EQ(buffer.c_str(), c[3]);
        } else if (c[0] == "write")
            EXPECT_EQ(Write(c[1].c_str(), c[2].c_str(), c[3].c_str()), std::stoi(c[4]));
        else   // file
            EXPECT_EQ(ReadBytes(path), c[1]);
    }
}

TEST_F(Profile, RefusedWrites)
{
    std::ofstream(path, std::ios::binary) << "[Vantorix]\r\nPort=COM2\r\n";
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_EQ(Write("Vantorix", "Port", "COM1"), 0);
    EXPECT_EQ(ReadBytes(path), "[Vantorix]\r\nPort=COM2\r\n");
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(Write("Vantorix", "Port", "COM1"), 1);
    std::string inMissingDir = dir.File("missing") + "/test.ini";
    EXPECT_EQ(ProfileWriteString("Vantorix", "Port", "COM1", inMissingDir.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.path / "missing"));
    fs::create_directory(dir.path / "adir");
    EXPECT_EQ(ProfileWriteString("Vantorix", "Port", "COM1", dir.File("adir").c_str()), 0);
}
