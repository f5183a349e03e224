#include "subtitles/SubtitleText.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testfiles;

namespace {

QString loaded(const QByteArray &bytes, int codePage = 0, int *result = nullptr)
{
    Folder folder;
    const QString path = folder.write(QStringLiteral("in.txt"), bytes);
    SubtitleText t;
    const int r = t.Load(path, codePage);
    if (result)
        *result = r;
    return t.text;
}

QByteArray saved(const QString &text)
{
    Folder folder;
    SubtitleText t;
    t.text = text;
    EXPECT_TRUE(t.Save(folder.file(QStringLiteral("out.srt"))));
    return readFile(folder.file(QStringLiteral("out.srt")));
}

class SubtitleTextLoad : public ::testing::Test
{
protected:
    void SetUp() override { unsetenv("MARBLEWAY_ANSI_CODEPAGE"); }
    void TearDown() override { unsetenv("MARBLEWAY_ANSI_CODEPAGE"); }
};

} // namespace

TEST_F(SubtitleTextLoad, EveryLineBreakBecomesOneCarriageReturn)
{
    int r = 0;
    EXPECT_EQ(loaded("\r\n", 0, &r), QStringLiteral("\r"));
    EXPECT_EQ(r, 1);
    for (const char *bytes : {"a\r\n\r\nb", "a\n\nb", "a\r\rb"})
        EXPECT_EQ(loaded(bytes), QStringLiteral("a\r\rb")) << bytes;
    // A lone LF after CR LF is a second break, not part of the first.
    EXPECT_EQ(loaded("a\r\n\nb"), QStringLiteral("a\r\rb"));
    EXPECT_EQ(loaded("a\n\rb"), QStringLiteral("a\r\rb"));
}

TEST_F(SubtitleTextLoad, TooShortMissingOrFolderFails)
{
    Folder folder;
    SubtitleText t;
    t.text = QStringLiteral("old");
    EXPECT_EQ(t.Load(folder.write(QStringLiteral("one"), "a"), 0), 0);
    EXPECT_TRUE(t.text.isEmpty()) << "a failed load leaves the object empty";
    EXPECT_EQ(t.Load(folder.write(QStringLiteral("empty"), ""), 0), 0);
    EXPECT_EQ(t.Load(folder.file(QStringLiteral("missing")), 0), 0);
    EXPECT_EQ(t.Load(folder.path(), 0), 0);
    EXPECT_EQ(t.Load(QString(), 0), 0);
}

TEST_F(SubtitleTextLoad, Utf16LittleEndianWithByteOrderMark)
{
    EXPECT_EQ(loaded(QByteArray("\xFF\xFE\x41\x00\x0D\x00\x0A\x00", 8)), QStringLiteral("A\r"));
    // The odd last byte is ignored; a zero unit is dropped, not the end of the text.
    EXPECT_EQ(loaded(QByteArray("\xFF\xFE\x41\x00\x42", 5)), QStringLiteral("A"));
    EXPECT_EQ(loaded(QByteArray("\xFF\xFE\x41\x00\x00\x00\x42\x00", 8)), QStringLiteral("AB"));
    int r = 0;
    EXPECT_EQ(loaded(QByteArray("\xFF\xFE", 2), 0, &r), QString());
    EXPECT_EQ(r, 1) << "an empty text still loads";
    // Hangul in UTF-16 keeps its code units.
    EXPECT_EQ(loaded(QByteArray("\xFF\xFE\x5C\xD5\x00\xAE", 6)), QStringLiteral("한글"));
}

TEST_F(SubtitleTextLoad, Utf8WithAndWithoutByteOrderMark)
{
    EXPECT_EQ(loaded("\xEF\xBB\xBF\xEA\xB0\x80\r\n"), QStringLiteral("가\r"));
    EXPECT_EQ(loaded("\xEA\xB0\x80 \xC3\xA9"), QStringLiteral("가 é"));
    // Bytes that also make sense in code page 850 are still taken as UTF-8
    // when every high byte forms a proper sequence.
    EXPECT_EQ(loaded("caf\xC3\xA9", 850), QStringLiteral("café"));
    // A zero byte is dropped.
    EXPECT_EQ(loaded(QByteArray("\xEF\xBB\xBF" "ab\0cd", 8)), QStringLiteral("abcd"));
}

TEST_F(SubtitleTextLoad, BrokenUtf8AfterByteOrderMarkNeverReadsPastTheEnd)
{
    const QString bad(QChar(0xFFFD));
    // Truncated sequences at the very end of the file.
    EXPECT_EQ(loaded("\xEF\xBB\xBF" "A\xE4"), QStringLiteral("A") + bad);
    EXPECT_EQ(loaded("\xEF\xBB\xBF" "A\xE4\xB8"), QStringLiteral("A") + bad + bad);
    EXPECT_EQ(loaded("\xEF\xBB\xBF" "A\xF0\x9F\x98"), QStringLiteral("A") + bad + bad + bad);
    // A lead byte followed by ASCII does not swallow it.
    EXPECT_EQ(loaded("\xEF\xBB\xBF\xC3" "ab"), bad + QStringLiteral("ab"));
    // Stray continuation bytes and an overlong zero each take one place.
    EXPECT_EQ(loaded("\xEF\xBB\xBF\x80x\xC0\x80y"), bad + QStringLiteral("x") + bad + QStringLiteral("y"));
    // Just the byte-order mark (and part of one) is an empty text.
    int r = 0;
    EXPECT_EQ(loaded("\xEF\xBB\xBF", 0, &r), QString());
    EXPECT_EQ(r, 1);
}

TEST_F(SubtitleTextLoad, CharactersBeyondTheBasicPlaneSurviveTheRoundTrip)
{
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(loaded("\xEF\xBB\xBF\xF0\x9F\x98\x80!"), smile + QStringLiteral("!"));
    EXPECT_EQ(saved(smile), QByteArray("\xEF\xBB\xBF\xF0\x9F\x98\x80"));
}

TEST_F(SubtitleTextLoad, LegacyTextGoesThroughTheGivenCodePage)
{
    const QByteArray cp949("\xC7\xD1\xB1\xDB\r\n", 6); // 한글 in code page 949
    EXPECT_EQ(loaded(cp949, 949), QStringLiteral("한글\r"));
    EXPECT_EQ(loaded(cp949, 0), QStringLiteral("한글\r")) << "949 is the legacy page by default";
    // With another legacy page, 0 follows it and only an explicit 949 reads Korean.
    setenv("MARBLEWAY_ANSI_CODEPAGE", "1252", 1);
    EXPECT_NE(loaded(cp949, 0), QStringLiteral("한글\r"));
    EXPECT_EQ(loaded(cp949, 949), QStringLiteral("한글\r"));
    EXPECT_EQ(loaded("\x81\x82", 850), QStringLiteral("üé"));
    // Plain ASCII, and code-page text, without their zero bytes.
    EXPECT_EQ(loaded(QByteArray("ab\0c", 4), 949), QStringLiteral("abc"));
    EXPECT_EQ(loaded(QByteArray("\xC7\xD1\0\xB1\xDB", 5), 949), QStringLiteral("한글"));
}

TEST_F(SubtitleTextLoad, BigEndianUtf16AndStrayZeroBytes)
{
    EXPECT_EQ(loaded(QByteArray("\xFE\xFF\xD5\x5C\xAE\x00\x00\x0D\x00\x0A\x00\x41", 12)), QStringLiteral("한글\rA"));
    // A NUL in the middle of a subtitle file: everything after it is still read,
    // whatever the encoding.
    const QByteArray cues = QByteArray("1\r\n00:00:01,000 --> 00:00:02,000\r\nfirst") + QByteArray(1, '\0')
        + "\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nsecond";
    const QString rest = QStringLiteral("first\r\r2\r00:00:03,000 --> 00:00:04,000\rsecond");
    EXPECT_TRUE(loaded("\xEF\xBB\xBF" + cues).endsWith(rest));
    EXPECT_TRUE(loaded(cues, 949).endsWith(rest));
    EXPECT_EQ(loaded("\xC7\xD1" + cues + "\xB1\xDB", 949), QStringLiteral("한1\r00:00:01,000 --> 00:00:02,000\r") + rest + QStringLiteral("글"));
}

TEST_F(SubtitleTextLoad, MostlyUtf8WithAFewBrokenBytesStaysUtf8)
{
    const QString bad(QChar(0xFFFD));
    // 200 Hangul syllables in UTF-8 and one byte that breaks it: not CP949 mojibake.
    QByteArray bytes;
    for (int i = 0; i < 200; ++i)
        bytes += "\xED\x95\x9C"; // 한
    bytes += "\xFF!\r\n";
    EXPECT_EQ(loaded(bytes, 949), QString(200, QChar(0xD55C)) + bad + QStringLiteral("!\r"));
    // Not overwhelmingly UTF-8 (one bad byte in 50 sequences): the code page reads it.
    QByteArray few;
    for (int i = 0; i < 50; ++i)
        few += "\xED\x95\x9C";
    few += "\xFF";
    EXPECT_FALSE(loaded(few, 949).startsWith(QString(50, QChar(0xD55C))));
    // A real CP949 file with a stray byte has no UTF-8 shape and stays CP949.
    EXPECT_EQ(loaded("\xC7\xD1\xB1\xDB\xC7\xD1\xB1\xDB", 949), QStringLiteral("한글한글"));
}

TEST_F(SubtitleTextLoad, UnknownCodePageFailsInsteadOfGuessing)
{
    int r = 1;
    loaded("\xC7\xD1\xB1\xDB", 12345, &r);
    EXPECT_EQ(r, 0);
}

TEST(SubtitleTextSave, Utf8WithByteOrderMarkAndCrLf)
{
    EXPECT_EQ(saved(QStringLiteral("가\r")), QByteArray("\xEF\xBB\xBF\xEA\xB0\x80\r\n"));
    EXPECT_EQ(saved(QStringLiteral("a\nb\xE9")), QByteArray("\xEF\xBB\xBF" "a\nb\xC3\xA9"));
    EXPECT_EQ(saved(QString()), QByteArray("\xEF\xBB\xBF"));
    // A lone surrogate is written on its own, as the text model holds it.
    EXPECT_EQ(saved(QString(QChar(0xD800))), QByteArray("\xEF\xBB\xBF\xED\xA0\x80"));
}

TEST(SubtitleTextSave, ReplacesTheTargetAndFailsCleanly)
{
    Folder folder;
    const QString path = folder.write(QStringLiteral("자막 파일.srt"), "old contents that are longer");
    SubtitleText t;
    t.text = QStringLiteral("새\r");
    EXPECT_TRUE(t.Save(path));
    EXPECT_EQ(readFile(path), QByteArray("\xEF\xBB\xBF\xEC\x83\x88\r\n"));
    SubtitleText back;
    EXPECT_EQ(back.Load(path, 0), 1);
    EXPECT_EQ(back.text, t.text);

    EXPECT_FALSE(t.Save(folder.file(QStringLiteral("no such folder/out.srt"))));
    EXPECT_EQ(filesIn(folder.path()), QStringList{QStringLiteral("자막 파일.srt")})
        << "no temporary file is left behind";
}
