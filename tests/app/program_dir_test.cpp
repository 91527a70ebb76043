// ProgramDir names the directory of the running program, separator included.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app/program_dir.h"
#include "app/settings.h"

TEST(ProgramDir, NamesTheDirectoryOfTheRunningProgram)
{
    memset(ProgramDir, 'x', sizeof(ProgramDir));
    ASSERT_EQ(FindProgramDir(), 1);
    std::string dir = ProgramDir;
    ASSERT_LT(dir.size(), sizeof(ProgramDir));
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), static_cast<char>(std::filesystem::path::preferred_separator));
    EXPECT_TRUE(std::filesystem::is_directory(dir));

    bool foundSelf = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        foundSelf |= entry.path().filename().string().rfind("app_tests", 0) == 0;
    EXPECT_TRUE(foundSelf) << dir;
}
