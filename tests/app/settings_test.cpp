// Settings in "Vantorix1.ini": defaults, the nine keys, the window rectangle
// in both meanings, low 8 bits, cut texts, the stop at a failing write, a
// program directory too long for the path, and the number rule they use.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/profile.h"
#include "app/program_dir.h"
#include "app/settings.h"
#include "lib/zem_lib.h"
#include "tests/support/scratch_dir.h"

namespace fs = std::filesystem;

TEST(NumberRule, WhiteSpaceSignDigitsAndWrap)
{
    for (const Row& c : ReadRows("app/numbers.rows"))
        EXPECT_EQ(ParseSettingNumber(c[0].c_str()), std::stol(c[1])) << c[0];
}

TEST(ProgramDir, NamesTheDirectoryOfTheRunningProgram)
{
    memset(ProgramDir, 'x', sizeof(ProgramDir));
    ASSERT_EQ(FindProgramDir(), 1);
    std::string dir = ProgramDir;
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), static_cast<char>(fs::path::preferred_separator));
    bool foundSelf = false;
    for (const auto& entry : fs::directory_iterator(dir))
        foundSelf |= entry.path().filename().string().rfind("app_tests", 0) == 0;
    EXPECT_TRUE(foundSelf) << dir;
}

namespace {

class SettingsFile : public testing::Test {
protected:
    ScratchDir dir;
    std::string iniPath = dir.File("Vantorix1.ini");

    void SetUp() override { Use(dir.Prefix()); }
    // Points ProgramDir at path and scribbles over the settings.
    void Use(const std::string& path)
    {
        ASSERT_LT(path.size(), sizeof(ProgramDir));
        snprintf(ProgramDir, sizeof(ProgramDir), "%s", path.c_str());
        iniPath = path + "Vantorix1.ini";
        memset(&Settings, 0x55, sizeof(Settings));
    }
    void Put(const std::string& contents) { std::ofstream(iniPath, std::ios::binary) << contents; }
    std::string Key(const char* section, const char* key)
    {
        char buffer[1024];
        ProfileReadString(section, key, "<absent>", buffer, sizeof(buffer), iniPath.c_str());
        return buffer;
    }
    // The nine keys in file order.
    std::string AllKeys()
    {
        std::string all;
        for (const char* key : {"LogFile", "UsePath", "Port", "Baudrate", "DefUplPath"})
            all += Key("Vantorix", key) + "|";
        for (const char* key : {"left", "top", "right", "bottom"})
            all += Key("VantorixPos", key) + "|";
        return all;
    }
    void ExpectDefaults()
    {
        EXPECT_EQ(Settings.LogFile, 0);
        EXPECT_EQ(Settings.UsePath, 0);
        EXPECT_STREQ(Settings.Port, "COM1");
        EXPECT_EQ(Settings.Baudrate, 57600);
        EXPECT_STREQ(Settings.DefUplPath, "");
        const WindowRectangle unset = {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
        EXPECT_EQ(memcmp(&Settings.WindowRect, &unset, sizeof(unset)), 0);
    }
    // A directory whose ProgramDir text, separator included, has this length.
    std::string DirectoryOfLength(size_t length)
    {
        std::string name(length - dir.Prefix().size() - 1, 'd');
        fs::create_directory(dir.path / name);
        return dir.Prefix() + name + static_cast<char>(fs::path::preferred_separator);
    }
};

}  // namespace

TEST_F(SettingsFile, FirstRunUsesDefaultsAndSavesAllNineKeys)
{
    EXPECT_EQ(LoadSettings(), 1);
    ExpectDefaults();
    EXPECT_FALSE(fs::exists(iniPath));
    EXPECT_EQ(SaveSettings(), 1);
    // Never shown, the default rectangle has no size of its own.
    EXPECT_EQ(AllKeys(), "0|0|COM1|57600||-2147483648|-2147483648|0|0|");
}

TEST_F(SettingsFile, WindowRectangleRoundTrip)
{
    LoadSettings();
    Settings.WindowRect = {100, 50, 740, 530};   // as the closed window leaves it
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(AllKeys(), "0|0|COM1|57600||100|50|640|480|");
    memset(&Settings, 0x55, sizeof(Settings));
    LoadSettings();
    const WindowRectangle loaded = {100, 50, 640, 480};
    EXPECT_EQ(memcmp(&Settings.WindowRect, &loaded, sizeof(loaded)), 0);
    // The difference wraps in 32 bits like the rest.
    Settings.WindowRect = {INT32_MAX, -10, INT32_MIN, 10};
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Key("VantorixPos", "right") + Key("VantorixPos", "bottom"), "120");
}

TEST_F(SettingsFile, ValuesAreUsedAsReadWithinTheirWidth)
{
    Put("[Vantorix]\r\nLogFile=256\r\nUsePath=200\r\nBaudrate=abc\r\nPort=" + std::string(30, 'P') +
        "\r\nDefUplPath=" + std::string(600, 'p') + "\r\n[VantorixPos]\r\nleft=-20\r\ntop=30\r\n");
    LoadSettings();
    EXPECT_EQ(Settings.LogFile, 0);
    EXPECT_EQ(Settings.UsePath, -56);
    EXPECT_EQ(Settings.Baudrate, 0);
    EXPECT_EQ(std::string(Settings.Port), std::string(19, 'P'));
    EXPECT_EQ(std::string(Settings.DefUplPath), std::string(519, 'p'));
    EXPECT_EQ(Settings.WindowRect.left, -20);
    EXPECT_EQ(Settings.WindowRect.right, INT32_MIN);
    // The connect command may store up to 99 characters: saved whole.
    snprintf(Settings.Port, sizeof(Settings.Port), "%s", std::string(99, 'T').c_str());
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(AllKeys().substr(0, 6), "0|-56|");
    EXPECT_EQ(Key("Vantorix", "Port"), std::string(99, 'T'));
}

TEST_F(SettingsFile, FirstFailingWriteStopsTheRest)
{
    Put("[Vantorix]\r\nLogFile=0\r\nUsePath=0\r\nPort=COM2\r\nBaudrate=9600\r\nDefUplPath=old\r\n"
        "[VantorixPos]\r\nleft=1\r\ntop=2\r\nright=3\r\nbottom=4\r\n");
    LoadSettings();
    Settings.LogFile = Settings.UsePath = 1;
    // A line break cannot be stored in the line-based file: the Port write fails.
    snprintf(Settings.Port, sizeof(Settings.Port), "COM3\r\nLogFile=7");
    Settings.Baudrate = 115200;
    snprintf(Settings.DefUplPath, sizeof(Settings.DefUplPath), "new");
    Settings.WindowRect = {10, 20, 30, 40};
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_EQ(AllKeys(), "1|1|COM2|9600|old|1|2|3|4|");

    // A directory in the file's place, or a missing directory: nothing written.
    fs::remove(iniPath);
    fs::create_directory(iniPath);
    LoadSettings();
    ExpectDefaults();
    EXPECT_EQ(SaveSettings(), 0);
    Use(dir.Prefix() + "missing" + static_cast<char>(fs::path::preferred_separator));
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_FALSE(fs::exists(dir.path / "missing"));
}

TEST_F(SettingsFile, ProgramDirBeyondThePathBufferKeepsDefaults)
{
    // 242 characters and the 13 of the file name fill the 256 bytes exactly.
    Use(DirectoryOfLength(242));
    Put("[Vantorix]\r\nPort=COM5\r\n");
    LoadSettings();
    EXPECT_STREQ(Settings.Port, "COM5");
    EXPECT_EQ(SaveSettings(), 1);

    std::string tooLong = DirectoryOfLength(243);
    Use(tooLong);
    Put("[Vantorix]\r\nPort=COM6\r\n");
    LoadSettings();
    ExpectDefaults();
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_EQ(AllKeys(), "<absent>|<absent>|COM6|<absent>|<absent>|<absent>|<absent>|<absent>|<absent>|");
    EXPECT_FALSE(fs::exists(tooLong + "Vantorix1.in"));   // nor under a cut name

    Use("");
    LoadSettings();
    ExpectDefaults();
    EXPECT_EQ(SaveSettings(), 0);
}

// The program saves after the support library has shut down.
TEST_F(SettingsFile, SaveWorksAfterTheLibraryShutDown)
{
    LoadSettings();
    Settings.Baudrate = 9600;
    ZemLibExit();
    int saved = SaveSettings();
    ASSERT_EQ(ZemLibInit(), 1);
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(Key("Vantorix", "Baudrate"), "9600");
}
