// The delete command text and where it stops fitting.
#include <gtest/gtest.h>

#include <string>

#include "app/delete_command.h"

namespace {

TEST(BuildDeleteCommand, JoinsPathAndNameWithoutSeparator)
{
    char command[DELETE_COMMAND_SIZE];
    ASSERT_EQ(BuildDeleteCommand(command, "/ram/cncprg/", "part.nc"), 1);
    EXPECT_STREQ(command, "d /ram/cncprg/part.nc\r");
    ASSERT_EQ(BuildDeleteCommand(command, "", "part.nc"), 1);
    EXPECT_STREQ(command, "d part.nc\r");
    char target[DELETE_COMMAND_SIZE];
    BuildDeleteCommand(command, "/ram/", "a b");
    GetDeleteTarget(command, target, sizeof(target));
    EXPECT_STREQ(target, "/ram/a b");
}

TEST(BuildDeleteCommand, UsesEveryByteButRefusesOneMore)
{
    char command[DELETE_COMMAND_SIZE];
    // "d " + path + name + "\r" + NUL = 512 exactly.
    std::string path = "/" + std::string(506, 'p');   // 507 characters
    ASSERT_EQ(BuildDeleteCommand(command, path.c_str(), "x"), 1);
    EXPECT_EQ(std::string(command).size(), 511u);
    EXPECT_EQ(command[510], '\r');

    std::string longer = path + "q";   // no room left for a name
    EXPECT_EQ(BuildDeleteCommand(command, longer.c_str(), "x"), 0);
    EXPECT_STREQ(command, "");
    EXPECT_EQ(BuildDeleteCommand(command, path.c_str(), "xy"), 0);   // never a cut name
    EXPECT_EQ(BuildDeleteCommand(command, "/ram/", ""), 0);
}

}  // namespace
