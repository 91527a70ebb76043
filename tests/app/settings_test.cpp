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
    // The nine keys in file order, each as the file holds it.
    static constexpr const char* keys[9] = {"Vantorix/LogFile",    "Vantorix/UsePath",  "Vantorix/Port",
                                            "Vantorix/Baudrate",   "Vantorix/DefUplPath", "VantorixPos/left",
                                            "VantorixPos/top",     "VantorixPos/right", "VantorixPos/bottom"};
    std::string KeyInFile(const char* key)
    {
        char value[1024];
        std::string section(key, strcspn(key, "/"));
        ProfileReadString(section.c_str(), strchr(key, '/') + 1, "<absent>", value, sizeof(value), iniPath.c_str());
        return value;
    }
    // The loaded setting of each key, in the same order.
    std::vector<std::string> Loaded()
    {
        const WindowRectangle& r = Settings.WindowRect;
        return {std::to_string(Settings.LogFile), std::to_string(Settings.UsePath), Settings.Port,
                std::to_string(Settings.Baudrate), Settings.DefUplPath, std::to_string(r.left),
                std::to_string(r.top), std::to_string(r.right), std::to_string(r.bottom)};
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
    const std::vector<RowShape> shapes = {{"dir", 2, 2},   {"put", 2, 2},  {"absent", 2, 2}, {"load", 11, 11},
                                          {"set", 11, 11}, {"save", 2, 12}, {"down", 12, 12}};
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
            std::vector<std::string> loaded = Loaded();
            for (size_t i = 0; i < 9; i++)
                EXPECT_EQ(loaded[i], c[i + 1]) << keys[i];
        } else if (c[0] == "set") {
            Settings.LogFile = static_cast<signed char>(std::stoi(c[1]));
            Settings.UsePath = static_cast<signed char>(std::stoi(c[2]));
            snprintf(Settings.Port, sizeof(Settings.Port), "%s", c[3].c_str());
            Settings.Baudrate = std::stoi(c[4]);
            snprintf(Settings.DefUplPath, sizeof(Settings.DefUplPath), "%s", c[5].c_str());
            Settings.WindowRect = {std::stoi(c[6]), std::stoi(c[7]), std::stoi(c[8]), std::stoi(c[9])};
        } else {   // save, or save after the support library has shut down, as the program does
            if (c[0] == "down")
                ZemLibExit();
            int saved = SaveSettings();
            if (c[0] == "down") {
                ASSERT_EQ(ZemLibInit(), 1);
            }
            EXPECT_EQ(saved, std::stoi(c[1]));
            if (c.size() > 2) {
                for (size_t i = 0; i < 9; i++)
                    EXPECT_EQ(KeyInFile(keys[i]), c[i + 2]) << keys[i];
            }
        }
    }
}

