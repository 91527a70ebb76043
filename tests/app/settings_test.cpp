// Settings in "Vantorix1.ini": defaults, the nine keys, the window rectangle
// in both meanings, low 8 bits, cut texts, the stop at a failing write and a
// program directory too long for the path.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/profile.h"
#include "app/settings.h"
#include "lib/zem_lib.h"
#include "tests/support/scratch_dir.h"

namespace {

class SettingsFile : public testing::Test {
protected:
    ScratchDir dir;
    std::string iniPath = dir.File("Vantorix1.ini");

    void SetUp() override
    {
        UseProgramDir(dir.Prefix());
        memset(&Settings, 0x55, sizeof(Settings));
    }
    void UseProgramDir(const std::string& path)
    {
        ASSERT_LT(path.size(), sizeof(ProgramDir));
        snprintf(ProgramDir, sizeof(ProgramDir), "%s", path.c_str());
    }
    void Put(const std::string& contents)
    {
        std::ofstream out(iniPath, std::ios::binary | std::ios::trunc);
        out << contents;
    }
    std::string Key(const char* section, const char* key)
    {
        char buffer[1024];
        ProfileReadString(section, key, "<absent>", buffer, sizeof(buffer), iniPath.c_str());
        return buffer;
    }
    void ExpectDefaults()
    {
        EXPECT_EQ(Settings.LogFile, 0);
        EXPECT_EQ(Settings.UsePath, 0);
        EXPECT_STREQ(Settings.Port, "COM1");
        EXPECT_EQ(Settings.Baudrate, 57600);
        EXPECT_STREQ(Settings.DefUplPath, "");
        EXPECT_EQ(Settings.WindowRect.left, INT32_MIN);
        EXPECT_EQ(Settings.WindowRect.top, INT32_MIN);
        EXPECT_EQ(Settings.WindowRect.right, INT32_MIN);
        EXPECT_EQ(Settings.WindowRect.bottom, INT32_MIN);
    }
    // A directory whose ProgramDir text, separator included, has this length.
    std::string DirectoryOfLength(size_t length)
    {
        std::string base = dir.Prefix();
        EXPECT_GT(length, base.size() + 1);
        std::string name(length - base.size() - 1, 'd');
        std::filesystem::create_directory(dir.path / name);
        std::string result = base + name + static_cast<char>(std::filesystem::path::preferred_separator);
        EXPECT_EQ(result.size(), length);
        return result;
    }
};

}  // namespace

TEST_F(SettingsFile, FirstRunUsesDefaultsAndSavesAllNineKeys)
{
    EXPECT_EQ(LoadSettings(), 1);
    ExpectDefaults();
    EXPECT_FALSE(std::filesystem::exists(iniPath));

    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Key("Vantorix", "LogFile"), "0");
    EXPECT_EQ(Key("Vantorix", "UsePath"), "0");
    EXPECT_EQ(Key("Vantorix", "Port"), "COM1");
    EXPECT_EQ(Key("Vantorix", "Baudrate"), "57600");
    EXPECT_EQ(Key("Vantorix", "DefUplPath"), "");
    EXPECT_EQ(Key("VantorixPos", "left"), "-2147483648");
    EXPECT_EQ(Key("VantorixPos", "top"), "-2147483648");
    // Never shown, the default rectangle has no size of its own.
    EXPECT_EQ(Key("VantorixPos", "right"), "0");
    EXPECT_EQ(Key("VantorixPos", "bottom"), "0");
}

TEST_F(SettingsFile, WindowRectangleRoundTrip)
{
    LoadSettings();
    // As the closed window leaves it: screen coordinates.
    Settings.WindowRect = {100, 50, 740, 530};
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Key("VantorixPos", "left"), "100");
    EXPECT_EQ(Key("VantorixPos", "top"), "50");
    EXPECT_EQ(Key("VantorixPos", "right"), "640");
    EXPECT_EQ(Key("VantorixPos", "bottom"), "480");

    memset(&Settings, 0x55, sizeof(Settings));
    LoadSettings();
    EXPECT_EQ(Settings.WindowRect.left, 100);
    EXPECT_EQ(Settings.WindowRect.top, 50);
    EXPECT_EQ(Settings.WindowRect.right, 640);
    EXPECT_EQ(Settings.WindowRect.bottom, 480);

    // The difference wraps in 32 bits like the rest.
    Settings.WindowRect = {INT32_MAX, -10, INT32_MIN, 10};
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Key("VantorixPos", "right"), "1");
    EXPECT_EQ(Key("VantorixPos", "bottom"), "20");
}

TEST_F(SettingsFile, ValuesAreUsedAsReadWithinTheirWidth)
{
    Put("[Vantorix]\r\nLogFile=256\r\nUsePath=200\r\nBaudrate=abc\r\n[VantorixPos]\r\nleft=-20\r\ntop=30\r\n");
    LoadSettings();
    EXPECT_EQ(Settings.LogFile, 0);
    EXPECT_EQ(Settings.UsePath, -56);
    EXPECT_EQ(Settings.Baudrate, 0);
    EXPECT_EQ(Settings.WindowRect.left, -20);
    EXPECT_EQ(Settings.WindowRect.top, 30);
    EXPECT_EQ(Settings.WindowRect.right, INT32_MIN);
    EXPECT_EQ(Settings.WindowRect.bottom, INT32_MIN);

    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Key("Vantorix", "LogFile"), "0");
    EXPECT_EQ(Key("Vantorix", "UsePath"), "-56");
    EXPECT_EQ(Key("Vantorix", "Baudrate"), "0");
}

TEST_F(SettingsFile, TextsAreCutOnLoadButSavedWhole)
{
    std::string longPort(30, 'P');
    std::string longPath(600, 'p');
    Put("[Vantorix]\r\nPort=" + longPort + "\r\nDefUplPath=" + longPath + "\r\n");
    LoadSettings();
    EXPECT_EQ(std::string(Settings.Port), std::string(19, 'P'));
    EXPECT_EQ(std::string(Settings.DefUplPath), std::string(519, 'p'));

    // The connect command may store up to 99 characters.
    std::string typed(99, 'T');
    snprintf(Settings.Port, sizeof(Settings.Port), "%s", typed.c_str());
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Key("Vantorix", "Port"), typed);
}

TEST_F(SettingsFile, FirstFailingWriteStopsTheRest)
{
    Put("[Vantorix]\r\nLogFile=0\r\nUsePath=0\r\nPort=COM2\r\nBaudrate=9600\r\nDefUplPath=old\r\n"
        "[VantorixPos]\r\nleft=1\r\ntop=2\r\nright=3\r\nbottom=4\r\n");
    LoadSettings();
    Settings.LogFile = 1;
    Settings.UsePath = 1;
    // A line break cannot be stored in the line-based file: the Port write fails.
    snprintf(Settings.Port, sizeof(Settings.Port), "COM3\r\nLogFile=7");
    Settings.Baudrate = 115200;
    snprintf(Settings.DefUplPath, sizeof(Settings.DefUplPath), "new");
    Settings.WindowRect = {10, 20, 30, 40};
    EXPECT_EQ(SaveSettings(), 0);

    EXPECT_EQ(Key("Vantorix", "LogFile"), "1");
    EXPECT_EQ(Key("Vantorix", "UsePath"), "1");
    EXPECT_EQ(Key("Vantorix", "Port"), "COM2");
    EXPECT_EQ(Key("Vantorix", "Baudrate"), "9600");
    EXPECT_EQ(Key("Vantorix", "DefUplPath"), "old");
    EXPECT_EQ(Key("VantorixPos", "left"), "1");
    EXPECT_EQ(Key("VantorixPos", "bottom"), "4");
}

TEST_F(SettingsFile, UnwritablePlaceFailsAtTheFirstKey)
{
    std::filesystem::create_directory(iniPath);
    LoadSettings();
    ExpectDefaults();
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(iniPath));

    UseProgramDir(dir.Prefix() + "missing" + static_cast<char>(std::filesystem::path::preferred_separator));
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "missing"));
}

TEST_F(SettingsFile, ProgramDirBeyondThePathBufferKeepsDefaults)
{
    // 242 characters and the 13 of the file name fill the 256 bytes exactly.
    std::string fits = DirectoryOfLength(242);
    iniPath = fits + "Vantorix1.ini";
    Put("[Vantorix]\r\nPort=COM5\r\n");
    UseProgramDir(fits);
    LoadSettings();
    EXPECT_STREQ(Settings.Port, "COM5");
    EXPECT_EQ(SaveSettings(), 1);

    std::string tooLong = DirectoryOfLength(243);
    iniPath = tooLong + "Vantorix1.ini";
    Put("[Vantorix]\r\nPort=COM6\r\n");
    UseProgramDir(tooLong);
    memset(&Settings, 0x55, sizeof(Settings));
    LoadSettings();
    ExpectDefaults();
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_EQ(Key("Vantorix", "Port"), "COM6");
    EXPECT_EQ(Key("Vantorix", "LogFile"), "<absent>");

    // Nor was a file of the cut name written.
    EXPECT_FALSE(std::filesystem::exists(tooLong + "Vantorix1.in"));
}

TEST_F(SettingsFile, EmptyProgramDirKeepsDefaults)
{
    UseProgramDir("");
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
