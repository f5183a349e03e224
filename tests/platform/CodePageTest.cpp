#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform;

TEST(CodePage, KoreanRoundTripThroughCp949)
{
    const QByteArray cp949("\xC7\xD1\xB1\xDB", 4); // 한글
    bool ok = false;
    EXPECT_EQ(decodeCodePage(cp949, 949, &ok), QString::fromUtf8("한글"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(encodeCodePage(QString::fromUtf8("한글"), 949), cp949);
}

TEST(CodePage, ZeroMeansLegacyPageAndEnvironmentOverrides)
{
    unsetenv("MARBLEWAY_ANSI_CODEPAGE");
    EXPECT_EQ(legacyCodePage(), 949);
    EXPECT_EQ(decodeCodePage(QByteArray("\xC7\xD1", 2), 0), QString::fromUtf8("한"));
    setenv("MARBLEWAY_ANSI_CODEPAGE", "932", 1);
    EXPECT_EQ(legacyCodePage(), 932);
    EXPECT_EQ(decodeCodePage(QByteArray("\x82\xA0", 2), 0), QString::fromUtf8("あ"));
    setenv("MARBLEWAY_ANSI_CODEPAGE", "junk", 1);
    EXPECT_EQ(legacyCodePage(), 949);
    unsetenv("MARBLEWAY_ANSI_CODEPAGE");
}

TEST(CodePage, EveryPageIconvKnowsCanBeTheLegacyPageTheRestIsRefused)
{
    // Cyrillic, Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese, Thai, Traditional Chinese.
    const std::pair<const char *, QByteArray> pages[] = {
        { "1251", QByteArray("\xC4\xE0", 2) }, { "1253", QByteArray("\xC1", 1) }, { "1254", QByteArray("\xF0", 1) },
        { "1255", QByteArray("\xF9", 1) },      { "1256", QByteArray("\xC7", 1) }, { "1257", QByteArray("\xE0", 1) },
        { "1258", QByteArray("\xD0", 1) },      { "874", QByteArray("\xA1", 1) },  { "950", QByteArray("\xA4\xA4", 2) },
    };
    const char *expected[] = { "Да", "Α", "ğ", "ש", "ا", "ą", "Đ", "ก", "中" };
    int i = 0;
    for (const auto &[page, bytes] : pages) {
        setenv("MARBLEWAY_ANSI_CODEPAGE", page, 1);
        EXPECT_EQ(legacyCodePage(), atoi(page));
        EXPECT_EQ(refusedLegacyCodePage(), QString());
        EXPECT_EQ(decodeCodePage(bytes, 0), QString::fromUtf8(expected[i++])) << page;
    }
    for (const char *refused : { "9999", "junk", "-1", "1251x" }) {
        setenv("MARBLEWAY_ANSI_CODEPAGE", refused, 1);
        EXPECT_EQ(refusedLegacyCodePage(), QString::fromLatin1(refused));
        EXPECT_EQ(legacyCodePage(), 949);
    }
    unsetenv("MARBLEWAY_ANSI_CODEPAGE");
    EXPECT_EQ(refusedLegacyCodePage(), QString());
}

TEST(CodePage, EachSupportedPageDecodesItsOwnText)
{
    EXPECT_EQ(decodeCodePage(QByteArray("\xD6\xD0", 2), 936), QString::fromUtf8("中"));
    EXPECT_EQ(decodeCodePage(QByteArray("\x81", 1), 850), QString::fromUtf8("ü"));
    EXPECT_EQ(decodeCodePage(QByteArray("\xA5", 1), 852), QString::fromUtf8("ą"));
}

TEST(CodePage, BadBytesAreReplacedWithoutLosingTheRest)
{
    // 0xFF is no lead byte in CP949; the text after it must survive.
    QString s = decodeCodePage(QByteArray("a\xFF" "b\xC7", 4), 949);
    EXPECT_TRUE(s.startsWith(QLatin1String("a")));
    EXPECT_TRUE(s.contains(QLatin1Char('b')));
    EXPECT_TRUE(s.contains(QChar(0xFFFD)));
}

TEST(CodePage, UnknownPageReportsFailure)
{
    bool ok = true;
    EXPECT_TRUE(decodeCodePage("x", 12345, &ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_FALSE(isKnownCodePage(12345));
}
