#include "engine/LevelOption.h"

#include <gtest/gtest.h>

namespace {

QString level(int w, int h, const char *rate, bool nightly = false)
{
    return ChooseLevelOption(w, h, QString::fromUtf8(rate), nightly);
}

TEST(ChooseLevelOption, LimitsOfLevel3)
{
    EXPECT_EQ(level(720, 480, "29.970"), QStringLiteral(":level=3.0"));
    EXPECT_EQ(level(720, 576, "29.970"), QStringLiteral(":level=3.1"));
    EXPECT_EQ(level(640, 480, "30.000"), QStringLiteral(":level=3.0"));
    EXPECT_EQ(level(1280, 720, "23.976"), QStringLiteral(":level=3.1"));
    EXPECT_EQ(level(1280, 720, "1"), QStringLiteral(":level=3.1"));
    EXPECT_EQ(level(720, 576, "25.000"), QStringLiteral(":level=3.0"));
    EXPECT_EQ(level(352, 480, "61.4"), QStringLiteral(":level=3.0"));
    EXPECT_EQ(level(352, 480, "61.5"), QStringLiteral(":level=3.1"));
    EXPECT_EQ(level(352, 576, "51.1"), QStringLiteral(":level=3.0"));
    EXPECT_EQ(level(353, 288, "50"), QStringLiteral(":level=3.1"));
    EXPECT_EQ(level(720, 481, "25"), QStringLiteral(":level=3.0")); // row 4
    EXPECT_EQ(level(721, 400, "10"), QStringLiteral(":level=3.1"));
}

TEST(ChooseLevelOption, PicturesBeyondLevel31GetTheLevelTheyNeed)
{
    EXPECT_EQ(level(1920, 1080, "30"), QStringLiteral(":level=4.0"));
    EXPECT_EQ(level(1920, 1080, "29.970"), QStringLiteral(":level=4.0"));
    EXPECT_EQ(level(1920, 1080, ""), QStringLiteral(":level=4.0"));
    EXPECT_EQ(level(1080, 1920, "30"), QStringLiteral(":level=4.0")); // portrait
    EXPECT_EQ(level(1280, 720, "30"), QStringLiteral(":level=3.1"));
    EXPECT_EQ(level(720, 1280, "30"), QStringLiteral(":level=3.1"));
    EXPECT_EQ(level(1280, 720, "60"), QStringLiteral(":level=3.2"));
    EXPECT_EQ(level(1920, 1080, "60"), QStringLiteral(":level=4.2"));
    EXPECT_EQ(level(3840, 2160, "30"), QStringLiteral(":level=5.1"));
    // A strip as wide as 1080p has pixels but far fewer rows goes beyond 3.1 by its width.
    EXPECT_EQ(level(2720, 64, "25"), QStringLiteral(":level=3.2"));
    EXPECT_EQ(level(1920, 1080, "30", true), QStringLiteral(":level=40"));
}

TEST(ChooseLevelOption, FrameRateTextReadFromItsStart)
{
    EXPECT_DOUBLE_EQ(FrameRateNumber(QStringLiteral("23.976")), 23.976);
    EXPECT_DOUBLE_EQ(FrameRateNumber(QStringLiteral("29.970 (30000/1001)")), 29.97);
    EXPECT_DOUBLE_EQ(FrameRateNumber(QString()), 0.0);
    EXPECT_DOUBLE_EQ(FrameRateNumber(QStringLiteral("VFR")), 0.0);
    // Each unit is cut to its low byte: U+0132 reads as '2'.
    EXPECT_DOUBLE_EQ(FrameRateNumber(QString::fromUtf16(u"\u01325")), 25.0);
    // An empty rate counts as 0 and so fits level 3 at 720x576.
    EXPECT_EQ(level(720, 576, ""), QStringLiteral(":level=3.0"));
}

TEST(ChooseLevelOption, NightlyFormHasNoDot)
{
    EXPECT_EQ(level(720, 480, "29.970", true), QStringLiteral(":level=30"));
    EXPECT_EQ(level(1280, 720, "23.976", true), QStringLiteral(":level=31"));
}

} // namespace
