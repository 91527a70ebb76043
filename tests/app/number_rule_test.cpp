// The number rule of settings and controls.
#include <gtest/gtest.h>

#include <climits>

#include "app/settings.h"

TEST(NumberRule, WhiteSpaceSignAndDigits)
{
    EXPECT_EQ(ParseSettingNumber("57600"), 57600);
    EXPECT_EQ(ParseSettingNumber(" \t\n\v\f\r-20"), -20);
    EXPECT_EQ(ParseSettingNumber("+7"), 7);
    EXPECT_EQ(ParseSettingNumber("0012abc"), 12);
    EXPECT_EQ(ParseSettingNumber("115200 baud"), 115200);
}

TEST(NumberRule, TextWithoutDigitsGivesZero)
{
    EXPECT_EQ(ParseSettingNumber(""), 0);
    EXPECT_EQ(ParseSettingNumber("abc"), 0);
    EXPECT_EQ(ParseSettingNumber("-"), 0);
    EXPECT_EQ(ParseSettingNumber("+-5"), 0);
    EXPECT_EQ(ParseSettingNumber(" - 5"), 0);
}

TEST(NumberRule, ArithmeticWrapsAtThirtyTwoBits)
{
    EXPECT_EQ(ParseSettingNumber("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseSettingNumber("2147483648"), INT32_MIN);
    EXPECT_EQ(ParseSettingNumber("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseSettingNumber("4294967295"), -1);
    EXPECT_EQ(ParseSettingNumber("4294967296"), 0);
    EXPECT_EQ(ParseSettingNumber("4294967306"), 10);
    EXPECT_EQ(ParseSettingNumber("-4294967297"), -1);
    EXPECT_EQ(ParseSettingNumber("99999999999999999999"), static_cast<int32_t>(1661992959u));
}
