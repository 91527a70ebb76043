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
    std::string iniPath;

    void SetUp() override { Use(dir.Prefix()); }
    // Points ProgramDir at path and scribbles over the settings.
    void Use(const std::string& path)
    {
        snprintf(ProgramDir, sizeof(ProgramDir), "%s", path.c_str());
        iniPath = path + "Vantorix1.ini";
        memset(&Settings, 0x55, sizeof(Settings));
    }
    void Put(const std::string& contents) { std::ofstream(iniPath, std::ios::binary) << contents; }
    // The nine keys in file order, or the settings in the same order.
    std::string AllKeys()
    {
        std::string all;
        char value[1024];
        for (const char* key : {"Vantorix/LogFile", "Vantorix/UsePath", "Vantorix/Port", "Vantorix/Baudrate",
                                "Vantorix/DefUplPath", "VantorixPos/left", "VantorixPos/top", "VantorixPos/right",
                                "VantorixPos/bottom"}) {
            std::string section(key, strchr(key, '/'));
            ProfileReadString(section.c_str(), strchr(key, '/') + 1, "<absent>", value, sizeof(value), iniPath.c_str());
            all += std::string(value) + "|";
        }
        return all;
    }
    std::string Loaded()
    {
        const WindowRectangle& r = Settings.WindowRect;
        std::string all;
        for (long value : {long(Settings.LogFile), long(Settings.UsePath)})
            all += std::to_string(value) + "|";
        all += std::string(Settings.Port) + "|" + std::to_string(Settings.Baudrate) + "|" + Settings.DefUplPath + "|";
        for (long value : {r.left, r.top, r.right, r.bottom})
            all += std::to_string(value) + "|";
        return all;
    }
    // A directory whose ProgramDir text, separator included, has this length.
    std::string DirectoryOfLength(size_t length)
    {
        std::string name(length - dir.Prefix().size() - 1, 'd');
        fs::create_directory(dir.path / name);
        return dir.Prefix() + name + static_cast<char>(fs::path::preferred_separator);
    }
};

const std::string defaults = "0|0|COM1|57600||-2147483648|-2147483648|-2147483648|-2147483648|";

}  // namespace

TEST_F(SettingsFile, FirstRunUsesDefaultsAndSavesAllNineKeys)
{
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(Loaded(), defaults);
    EXPECT_FALSE(fs::exists(iniPath));
    EXPECT_EQ(SaveSettings(), 1);
    // Never shown, the default rectangle has no size of its own.
    EXPECT_EQ(AllKeys(), "0|0|COM1|57600||-2147483648|-2147483648|0|0|");
    // The closed window's edges are saved as width and height, read back as such.
    Settings.WindowRect = {100, 50, 740, 530};
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(AllKeys(), "0|0|COM1|57600||100|50|640|480|");
    memset(&Settings, 0x55, sizeof(Settings));
    LoadSettings();
    EXPECT_EQ(Loaded(), "0|0|COM1|57600||100|50|640|480|");
    // The difference wraps in 32 bits like the rest.
    Settings.WindowRect = {INT32_MAX, -10, INT32_MIN, 10};
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(AllKeys(), "0|0|COM1|57600||2147483647|-10|1|20|");
}

TEST_F(SettingsFile, ValuesAreUsedAsReadWithinTheirWidth)
{
    Put("[Vantorix]\r\nLogFile=256\r\nUsePath=200\r\nBaudrate=abc\r\nPort=" + std::string(30, 'P') +
        "\r\nDefUplPath=" + std::string(600, 'p') + "\r\n[VantorixPos]\r\nleft=-20\r\ntop=30\r\n");
    LoadSettings();
    EXPECT_EQ(Loaded(), "0|-56|" + std::string(19, 'P') + "|0|" + std::string(519, 'p') + "|-20|30|-2147483648|-2147483648|");
    // The connect command may store up to 99 characters: saved whole.
    snprintf(Settings.Port, sizeof(Settings.Port), "%s", std::string(99, 'T').c_str());
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(AllKeys().substr(0, 106), "0|-56|" + std::string(99, 'T') + "|");
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
    Settings.WindowRect = {10, 20, 30, 40};
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_EQ(AllKeys(), "1|1|COM2|9600|old|1|2|3|4|");
    // A directory in the file's place, or a missing directory: nothing written.
    fs::remove(iniPath);
    fs::create_directory(iniPath);
    LoadSettings();
    EXPECT_EQ(Loaded(), defaults);
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
    for (std::string tooLong : {DirectoryOfLength(243), std::string()}) {
        Use(tooLong);
        if (!tooLong.empty())
            Put("[Vantorix]\r\nPort=COM6\r\n");
        LoadSettings();
        EXPECT_EQ(Loaded(), defaults);
        EXPECT_EQ(SaveSettings(), 0);
        EXPECT_TRUE(tooLong.empty() || AllKeys().substr(0, 23) == "<absent>|<absent>|COM6|");
        EXPECT_FALSE(fs::exists(tooLong + "Vantorix1.in"));   // nor under a cut name
    }
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
    EXPECT_EQ(AllKeys().substr(0, 14), "0|0|COM1|9600|");
}
