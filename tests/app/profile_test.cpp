// Profile strings: defaults, cutting, letter case, blanks, line ends,
// replacing in place, refused writes and hostile files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/profile.h"
#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

class Profile : public testing::Test {
protected:
    ScratchDir dir;
    std::string path = dir.File("test.ini");

    void Put(const std::string& contents) { std::ofstream(path, std::ios::binary) << contents; }
    std::string Contents()
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string Read(const char* section, const char* key, const char* defaultText = "<default>", uint32_t size = 64)
    {
        std::string buffer(size + 1, '#');
        uint32_t length = ProfileReadString(section, key, defaultText, buffer.data(), size, path.c_str());
        EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
        std::string value(buffer.c_str());
        EXPECT_EQ(length, value.size());
        return value;
    }
    int Write(const char* section, const char* key, const char* value)
    {
        return ProfileWriteString(section, key, value, path.c_str());
    }
};

}  // namespace

TEST_F(Profile, ReadingDefaultsCutsCaseAndBlanks)
{
    EXPECT_EQ(Read("Vantorix", "Port", "COM1"), "COM1");   // no file
    Put("[Other]\r\nPort=COM7\r\n[VANTORIX]\nport = COM3 \n  Baudrate\t=\t19200\nempty=\nkey=abcdefghij\n");
    EXPECT_EQ(Read("Vantorix", "Port"), "COM3");
    EXPECT_EQ(Read("vantorix", "BAUDRATE"), "19200");
    EXPECT_EQ(Read("Vantorix", "empty"), "");
    EXPECT_EQ(Read("Vantorix", "LogFile", ""), "");
    EXPECT_EQ(Read("Missing", "Baudrate", "57600"), "57600");
    EXPECT_EQ(Read("Vantorix", "key", "", 4), "abc");
    EXPECT_EQ(Read("Vantorix", "key", "", 11), "abcdefghij");
    EXPECT_EQ(Read("Vantorix", "other", "0123456789", 5), "0123");
}

TEST_F(Profile, WritesCreateOrReplaceInPlace)
{
    EXPECT_EQ(Write("Vantorix", "LogFile", "0"), 1);
    EXPECT_EQ(Contents(), "[Vantorix]\r\nLogFile=0\r\n");
    Put("[Vantorix]\r\nLogFile=1\r\nPort=COM2\r\nBaudrate=9600\r\n\r\n[VantorixPos]\r\nleft=5\r\n");
    EXPECT_EQ(Write("vantorix", "PORT", "COM9"), 1);
    EXPECT_EQ(Write("VantorixPos", "top", "7"), 1);
    EXPECT_EQ(Write("Vantorix", "UsePath", ""), 1);
    EXPECT_EQ(Write("New", "k", "v"), 1);
    EXPECT_EQ(Read("Vantorix", "Port") + Read("Vantorix", "LogFile") + Read("Vantorix", "Baudrate") +
                  Read("VantorixPos", "left") + Read("VantorixPos", "top") + Read("New", "k"),
              "COM9196005" "7v");
    // Replaced in place, and a key added to the first section stays in it.
    std::string text = Contents();
    EXPECT_EQ(text.find("COM2"), std::string::npos) << text;
    EXPECT_LT(text.find("UsePath="), text.find("[VantorixPos]")) << text;
    EXPECT_LT(text.find("top=7"), text.find("[New]")) << text;
}

TEST_F(Profile, RefusedWritesLeaveTheFileAsItWas)
{
    Put("[Vantorix]\r\nPort=COM2\r\n");
    EXPECT_EQ(Write("Vantorix", "Port", "COM1\r\nLogFile=1"), 0);
    EXPECT_EQ(Write("Vantorix", "Port", "COM1\n"), 0);
    EXPECT_EQ(Write("Vantorix", "Po=rt", "x"), 0);
    EXPECT_EQ(Write("Van]torix", "Port", "x"), 0);
    EXPECT_EQ(Write(" Vantorix", "Port", "x"), 0);
    EXPECT_EQ(Write("Vantorix", "Port\t", "x"), 0);
    EXPECT_EQ(Write("Vantorix", " [Port", "x"), 0);
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_EQ(Write("Vantorix", "Port", "COM1"), 0);
    EXPECT_EQ(Contents(), "[Vantorix]\r\nPort=COM2\r\n");
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(Write("Vantorix", "Port", "COM1"), 1);
    EXPECT_EQ(Read("Vantorix", "Port"), "COM1");

    std::string inMissingDir = dir.File("missing") + "/test.ini";
    EXPECT_EQ(ProfileWriteString("Vantorix", "Port", "COM1", inMissingDir.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.path / "missing"));
    fs::create_directory(dir.path / "adir");
    EXPECT_EQ(ProfileWriteString("Vantorix", "Port", "COM1", dir.File("adir").c_str()), 0);
}

TEST_F(Profile, HostileFilesAreReadSafely)
{
    std::string longLine(300000, 'x');
    Put("[Vantorix]\r\nnoise=" + longLine + "\r\nPort=" + longLine);
    EXPECT_EQ(Read("Vantorix", "Port", "", 20), std::string(19, 'x'));
    EXPECT_EQ(Write("Vantorix", "Baudrate", "9600"), 1);
    EXPECT_EQ(Read("Vantorix", "Baudrate"), "9600");
    EXPECT_EQ(Read("Vantorix", "noise", "", 8), "xxxxxxx");

    Put(std::string("[Vantorix]\r\nPort=CO\0M5\r\nBaudrate=1200\r\n[\0]\r\n", 40));
    EXPECT_EQ(Read("Vantorix", "Port").substr(0, 2), "CO");
    EXPECT_EQ(Read("Vantorix", "Baudrate"), "1200");

    Put("no section=here\r\n[unclosed\r\nPort=COM4\r\n=\r\n[]\r\n[Vantorix]\r\nPort");
    EXPECT_EQ(Read("Vantorix", "Port", "COM1"), "COM1");
    EXPECT_EQ(Read("Vantorix", "no section", "none"), "none");
}
