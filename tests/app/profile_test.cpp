// Profile strings: defaults, cutting, letter case, blanks, line ends,
// replacing in place, refused writes and hostile files.
#include <gtest/gtest.h>

#include <filesystem>
#include <cctype>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "app/profile.h"
#include "tests/support/scratch_dir.h"

namespace {

class Profile : public testing::Test {
protected:
    ScratchDir dir;
    std::string path = dir.File("test.ini");

    void Put(const std::string& contents)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << contents;
    }
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

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(Read("Vantorix", "Port", "COM1"), "COM1");
    Put("[Other]\r\nPort=COM7\r\n[Vantorix]\r\nBaudrate=9600\r\n");
    EXPECT_EQ(Read("Vantorix", "Port", "COM1"), "COM1");
    EXPECT_EQ(Read("Missing", "Baudrate", "57600"), "57600");
    EXPECT_EQ(Read("Vantorix", "Baudrate"), "9600");
    EXPECT_EQ(Read("Vantorix", "Port", ""), "");
}

TEST_F(Profile, LongValuesAndDefaultsAreCutToTheBuffer)
{
    Put("[S]\r\nkey=abcdefghij\r\n");
    EXPECT_EQ(Read("S", "key", "", 4), "abc");
    EXPECT_EQ(Read("S", "key", "", 11), "abcdefghij");
    EXPECT_EQ(Read("S", "other", "0123456789", 5), "0123");
}

TEST_F(Profile, NamesIgnoreCaseAndBlanksAroundAreDropped)
{
    Put("[VANTORIX]\nport = COM3 \n  Baudrate\t=\t19200\nempty=\n[vantorixpos]\nLEFT=-20");
    EXPECT_EQ(Read("Vantorix", "Port"), "COM3");
    EXPECT_EQ(Read("vantorix", "BAUDRATE"), "19200");
    EXPECT_EQ(Read("Vantorix", "empty"), "");
    EXPECT_EQ(Read("VantorixPos", "left"), "-20");
}

TEST_F(Profile, WriteCreatesFileSectionAndKey)
{
    EXPECT_EQ(Write("Vantorix", "LogFile", "0"), 1);
    EXPECT_EQ(Contents(), "[Vantorix]\r\nLogFile=0\r\n");
    EXPECT_EQ(Write("Vantorix", "Port", "COM1"), 1);
    EXPECT_EQ(Write("VantorixPos", "left", "100"), 1);
    EXPECT_EQ(Read("Vantorix", "LogFile"), "0");
    EXPECT_EQ(Read("Vantorix", "Port"), "COM1");
    EXPECT_EQ(Read("VantorixPos", "left"), "100");
    EXPECT_EQ(Write("Vantorix", "DefUplPath", ""), 1);
    EXPECT_EQ(Read("Vantorix", "DefUplPath"), "");
}

TEST_F(Profile, ReplaceKeepsTheOtherKeysAndSections)
{
    Put("[Vantorix]\r\nLogFile=1\r\nPort=COM2\r\nBaudrate=9600\r\n\r\n[VantorixPos]\r\nleft=5\r\n");
    EXPECT_EQ(Write("vantorix", "PORT", "COM9"), 1);
    EXPECT_EQ(Write("VantorixPos", "top", "7"), 1);
    EXPECT_EQ(Read("Vantorix", "Port"), "COM9");
    EXPECT_EQ(Read("Vantorix", "LogFile"), "1");
    EXPECT_EQ(Read("Vantorix", "Baudrate"), "9600");
    EXPECT_EQ(Read("VantorixPos", "left"), "5");
    EXPECT_EQ(Read("VantorixPos", "top"), "7");
    std::string text = Contents();
    EXPECT_EQ(text.find("COM2"), std::string::npos);
    EXPECT_EQ(text.find("Port", text.find("Port") + 1), std::string::npos) << text;

    // A key added to the first section stays in it.
    EXPECT_EQ(Write("Vantorix", "UsePath", "1"), 1);
    text = Contents();
    EXPECT_LT(text.find("UsePath"), text.find("[VantorixPos]")) << text;
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
    EXPECT_EQ(Contents(), "[Vantorix]\r\nPort=COM2\r\n");

    std::string inMissingDir = dir.File("missing") + "/test.ini";
    EXPECT_EQ(ProfileWriteString("Vantorix", "Port", "COM1", inMissingDir.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "missing"));

    std::filesystem::create_directory(dir.path / "adir");
    EXPECT_EQ(ProfileWriteString("Vantorix", "Port", "COM1", dir.File("adir").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path / "adir"));
}

TEST_F(Profile, ReadOnlyFileRefusesTheWrite)
{
    Put("[Vantorix]\r\nPort=COM2\r\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    EXPECT_EQ(Write("Vantorix", "Port", "COM1"), 0);
    EXPECT_EQ(Read("Vantorix", "Port"), "COM2");
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    EXPECT_EQ(Write("Vantorix", "Port", "COM1"), 1);
    EXPECT_EQ(Read("Vantorix", "Port"), "COM1");
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

static bool SameIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; a++, b++)
        if (tolower(static_cast<unsigned char>(*a)) != tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// Random files of the characters that matter to the format: a write must
// read back as written and leave every other key as it read before.
TEST_F(Profile, WritesOnRandomFilesTouchOnlyTheirKey)
{
    const char alphabet[] = "[]=\r\n\0 \tsSkKxX";
    const char* const sections[] = {"s", "S", "x", "sk"};
    const char* const keys[] = {"k", "K", "x", "kk"};
    std::mt19937 random(20240601);
    for (int round = 0; round < 150; round++) {
        std::string contents;
        size_t length = random() % 120;
        for (size_t i = 0; i < length; i++)
            contents += alphabet[random() % (sizeof(alphabet) - 1)];
        Put(contents);

        const char* section = sections[random() % 4];
        const char* key = keys[random() % 4];
        std::string value = "v" + std::to_string(round);
        std::string before[4][4];
        for (int s = 0; s < 4; s++)
            for (int k = 0; k < 4; k++)
                before[s][k] = Read(sections[s], keys[k]);

        ASSERT_EQ(Write(section, key, value.c_str()), 1);
        std::string file = Contents();
        for (int s = 0; s < 4; s++) {
            for (int k = 0; k < 4; k++) {
                bool written = SameIgnoringCase(sections[s], section) && SameIgnoringCase(keys[k], key);
                std::string expected = written ? value : before[s][k];
                ASSERT_EQ(Read(sections[s], keys[k]), expected)
                    << "round " << round << " read [" << sections[s] << "] " << keys[k] << " wrote [" << section << "] " << key << "\nbefore: "
                    << testing::PrintToString(contents) << "\nafter: " << testing::PrintToString(file);
            }
        }
    }
}
