#include "shell/Formatters.h"

#include <gtest/gtest.h>

#include <climits>

TEST(FormatElapsed, MinutesBelowAnHourHoursAbove)
{
    EXPECT_EQ(FormatElapsed(0), QStringLiteral("0:00"));
    EXPECT_EQ(FormatElapsed(999), QStringLiteral("0:00"));
    EXPECT_EQ(FormatElapsed(7 * 60000 + 5000 + 999), QStringLiteral("7:05"));
    EXPECT_EQ(FormatElapsed(3599999), QStringLiteral("59:59"));
    EXPECT_EQ(FormatElapsed(3600000), QStringLiteral("1:00:00"));
    EXPECT_EQ(FormatElapsed(3600000 + 61000), QStringLiteral("1:01:01"));
}

TEST(FormatElapsed, FromOneHundredHoursEveryFieldShows99)
{
    EXPECT_EQ(FormatElapsed(99u * 3600000u + 59u * 60000u + 59000u), QStringLiteral("99:59:59"));
    EXPECT_EQ(FormatElapsed(100u * 3600000u), QStringLiteral("99:99:99"));
    EXPECT_EQ(FormatElapsed(UINT32_MAX), QStringLiteral("99:99:99"));
}

TEST(FormatGrouped, CommasEveryThreeDigitsFromTheRight)
{
    EXPECT_EQ(FormatGrouped(0), QStringLiteral("0"));
    EXPECT_EQ(FormatGrouped(123), QStringLiteral("123"));
    EXPECT_EQ(FormatGrouped(1234), QStringLiteral("1,234"));
    EXPECT_EQ(FormatGrouped(123456), QStringLiteral("123,456"));
    EXPECT_EQ(FormatGrouped(1000000), QStringLiteral("1,000,000"));
    EXPECT_EQ(FormatGrouped(1234567), QStringLiteral("1,234,567"));
    EXPECT_EQ(FormatGrouped(INT_MAX), QStringLiteral("2,147,483,647"));
}

TEST(FormatGrouped, Negatives)
{
    EXPECT_EQ(FormatGrouped(-7), QStringLiteral("-7"));
    EXPECT_EQ(FormatGrouped(-4500), QStringLiteral("-4,500"));
    EXPECT_EQ(FormatGrouped(-123456), QStringLiteral("-123,456"));
    EXPECT_EQ(FormatGrouped(INT_MIN), QStringLiteral("-2,147,483,648"));
}

TEST(Fmt, UserTextIsNeverReScanned)
{
    EXPECT_EQ(Fmt("Source filename: %s").s(QStringLiteral("/a/%1 %s %d %%.avi")).str(),
              QStringLiteral("Source filename: /a/%1 %s %d %%.avi"));
    EXPECT_EQ(Fmt("%d/%d").d(2).d(3).str(), QStringLiteral("2/3"));
    EXPECT_EQ(Fmt("%d%% in use").d(42).str(), QStringLiteral("42% in use"));
}
