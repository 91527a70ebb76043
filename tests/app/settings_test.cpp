// Settings in "Vantorix1.ini", the program directory and the number rule they use.
#include <gmock/gmock.h>

#include "app/profile.h"
#include "app/program_dir.h"
#include "app/settings.h"
#include "lib/zem_lib.h"
#include "tests/support/rows.h"
#include "tests/support/scratch_dir.h"

namespace fs = std::filesystem;

TEST(NumberRule, WhiteSpaceSignDigitsAndWrap)
{
    for (const Row& c : ReadRows("app/numbers.rows", {{"", 2, 2}}))
        EXPECT_EQ(ParseSettingNumber(c[0].c_str()), std::stol(c[1])) << c.Where();
}

TEST(ProgramDir, NamesTheDirectoryOfTheRunningProgram)
{
    memset(ProgramDir, 'x', sizeof(ProgramDir));
    ASSERT_EQ(FindProgramDir(), 1);
    std::string dir = ProgramDir;
    ASSERT_EQ(dir.back(), static_cast<char>(fs::path::preferred_separator));
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(dir))
        names.push_back(item.path().filename().string());
    EXPECT_THAT(names, testing::Contains(testing::AnyOf("app_tests", "app_tests.exe"))) << dir;
}

class SettingsFile : public testing::Test {
protected:
    ScratchDir dir;
    std::string iniPath;

    void SetUp() override { Use(dir.Prefix()); }
    void Use(const std::string& path)
    {
        snprintf(ProgramDir, sizeof(ProgramDir), "%s", path.c_str());
        iniPath = path + "Vantorix1.ini";
        memset(&Settings, 0x55, sizeof(Settings));
    }
    // A directory whose ProgramDir text, separator included, has this length.
    std::string DirectoryOfLength(size_t length)
    {
        std::string name(length - dir.Prefix().size() - 1, 'd');
        fs::create_directory(dir.path / name);
        return dir.Prefix() + name + static_cast<char>(fs::path::preferred_separator);
    }
};

TEST_F(SettingsFile, LoadsAndSavesOfTheRows)
{
    const std::string least = "-2147483648";
    const std::map<std::string, std::string> defaults = {
        {"LogFile", "0"}, {"UsePath", "0"}, {"Port", "COM1"}, {"Baudrate", "57600"}, {"DefUplPath", ""},
        {"left", least}, {"top", least}, {"right", least}, {"bottom", least}};
    std::map<std::string, std::string> firstSave = defaults;
    firstSave["right"] = firstSave["bottom"] = "0";
    const std::vector<RowShape> shapes = {{"dir", 2, 2}, {"put", 2, 2},  {"absent", 2, 2}, {"load", 1, 10},
                                          {"set", 1, 10}, {"save", 2, 2}, {"down", 2, 2},   {"file", 1, 10}};
    for (const Row& c : ReadRows("app/settings.rows", shapes)) {
        SCOPED_TRACE(c.Where());
        if (c[0] == "dir")
            Use(c[1] == "scratch" ? dir.Prefix() : c[1] == "empty" ? "" : c[1] == "missing" ? dir.File("missing/") : DirectoryOfLength(std::stoul(c[1])));
        else if (c[0] == "put" && c[1] == "<dir>")
            fs::remove(iniPath), fs::create_directory(iniPath);
        else if (c[0] == "put")
            std::ofstream(iniPath, std::ios::binary) << c[1];
        else if (c[0] == "absent")
            EXPECT_FALSE(fs::exists(ProgramDir + c[1]));
        else if (c[0] == "load") {
            memset(&Settings, 0x55, sizeof(Settings));
            LoadSettings();
            auto want = c.Named(1, defaults);
            EXPECT_EQ(Settings.LogFile, std::stoi(want["LogFile"]));
            EXPECT_EQ(Settings.UsePath, std::stoi(want["UsePath"]));
            EXPECT_EQ(std::string(Settings.Port), want["Port"]);
            EXPECT_EQ(Settings.Baudrate, std::stoi(want["Baudrate"]));
            EXPECT_EQ(std::string(Settings.DefUplPath), want["DefUplPath"]);
            EXPECT_EQ(Settings.WindowRect.left, std::stoi(want["left"]));
            EXPECT_EQ(Settings.WindowRect.top, std::stoi(want["top"]));
            EXPECT_EQ(Settings.WindowRect.right, std::stoi(want["right"]));
            EXPECT_EQ(Settings.WindowRect.bottom, std::stoi(want["bottom"]));
        } else if (c[0] == "set") {
            auto put = c.Named(1, defaults);
            Settings.LogFile = static_cast<signed char>(std::stoi(put["LogFile"]));
            Settings.UsePath = static_cast<signed char>(std::stoi(put["UsePath"]));
            snprintf(Settings.Port, sizeof(Settings.Port), "%s", put["Port"].c_str());
            Settings.Baudrate = std::stoi(put["Baudrate"]);
            snprintf(Settings.DefUplPath, sizeof(Settings.DefUplPath), "%s", put["DefUplPath"].c_str());
            Settings.WindowRect = {std::stoi(put["left"]), std::stoi(put["top"]), std::stoi(put["right"]), std::stoi(put["bottom"])};
        } else if (c[0] == "file") {
            for (const auto& [key, value] : c.Named(1, firstSave)) {   // the edges (lower case) have a section of their own
                char held[1024];
                ProfileReadString(key[0] >= 'a' ? "VantorixPos" : "Vantorix", key.c_str(), "<absent>", held, sizeof(held), iniPath.c_str());
                EXPECT_EQ(std::string(held), value) << key;
            }
        } else {   // save, or save after the support library has shut down, as the program does
            if (c[0] == "down")
                ZemLibExit();
            int saved = SaveSettings();
            if (c[0] == "down") {
                ASSERT_EQ(ZemLibInit(), 1);
            }
            EXPECT_EQ(saved, std::stoi(c[1]));
        }
    }
}
