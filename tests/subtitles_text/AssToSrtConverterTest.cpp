#include "subtitles/AssToSrtConverter.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace testfiles;

namespace {

const char *header = "[Events]\r"
                     "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r";

// SRT of the events, "\n" for CR; "FAILED" when the conversion refuses.
QString srtOf(const QString &ass)
{
    QString srt;
    if (!AssToSrtConverter::convertText(ass, srt))
        return QStringLiteral("FAILED");
    return srt.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QString dialogue(const char *line)
{
    return srtOf(QString::fromUtf8(header) + QString::fromUtf8(line));
}

QString text(const char *field)
{
    return AssToSrtConverter::convertDialogueText(QString::fromUtf8(field)).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QString time(const char *t)
{
    return AssToSrtConverter::convertTime(QString::fromUtf8(t));
}

} // namespace

TEST(AssFiles, StyledFileToGoldenSrt)
{
    Folder folder;
    const QString source = folder.write(QStringLiteral("스타일.ass"), readFile(fixture(QStringLiteral("styled.ass"))));
    const QString target = folder.file(QStringLiteral("SUB.srt"));
    EXPECT_EQ(AssToSrtConverter().Convert(source, target), 1);
    EXPECT_EQ(readable(readFile(target)), readable(readFile(fixture(QStringLiteral("styled.srt.expected")))));
    EXPECT_EQ(readFile(target), readFile(fixture(QStringLiteral("styled.srt.expected"))));
    EXPECT_EQ(readFile(source), readFile(fixture(QStringLiteral("styled.ass")))) << "the source is left alone";
}

TEST(AssFiles, WithoutTargetTheSourceIsRewritten)
{
    Folder folder;
    const QString source = folder.write(QStringLiteral("sub_003.srt"),
                                        QByteArray(header) + "Dialogue: 0,0:00:01.00,0:00:02.00,D,,0,0,0,,Hi\r");
    EXPECT_EQ(AssToSrtConverter().Convert(source), 1);
    EXPECT_EQ(readFile(source), utf8Output("1\n00:00:01,000 --> 00:00:02,000\nHi\n\n"));
    EXPECT_EQ(filesIn(folder.path()).size(), 1);
}

TEST(AssFiles, RefusedInputWritesNothing)
{
    Folder folder;
    const QString target = folder.file(QStringLiteral("out.srt"));
    const QByteArray line = "Dialogue: 0,0:00:01.00,0:00:02.00,D,,0,0,0,,Hi\r";
    const QByteArray refused[] = {
        QByteArray("[events]\rFormat: Layer, Start, End, Text\r") + line, // section names are case-sensitive
        QByteArray(" [Events]\rFormat: Layer, Start, End, Text\r") + line,
        QByteArray("[Events]\r") + line,                                  // no Format line
        QByteArray("Format: Start, End, Text\r[Events]\r") + line,       // Format before the section
        QByteArray("[Events]\rFormat: Layer, Start, Ende, Text\r") + line,
        QByteArray("[Events]\rFormat: Layer, Start, End\r") + line,
        QByteArray("x"),
    };
    for (const QByteArray &bytes : refused) {
        const QString source = folder.write(QStringLiteral("in.ass"), bytes);
        EXPECT_EQ(AssToSrtConverter().Convert(source, target), 0) << bytes.toStdString();
        EXPECT_FALSE(QFile::exists(target));
    }
    EXPECT_EQ(AssToSrtConverter().Convert(folder.file(QStringLiteral("missing.ass")), target), 0);
    EXPECT_EQ(AssToSrtConverter().Convert(folder.write(QStringLiteral("in.ass"), QByteArray(header) + line),
                                          folder.file(QStringLiteral("no folder/out.srt"))),
              0)
        << "an SRT that could not be written is no success";
}

TEST(AssEvents, FieldsFollowTheFormatLine)
{
    EXPECT_EQ(srtOf(QStringLiteral("[Events]\rFormat: Layer, Start, End, Style, Text\r"
                                   "Dialogue: 0,0:00:01.00,0:00:02.00,Default,Hi, there\r")),
              QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\nHi, there\n\n"));
    EXPECT_EQ(srtOf(QStringLiteral("[Events]\rFormat:Text,End,Start\r"
                                   "Dialogue:a,b,c\r")),
              QStringLiteral("1\n --> \na,b,c\n\n"))
        << "a Text field first takes the whole line";
    EXPECT_EQ(srtOf(QStringLiteral("[Events]\rFormat: Start,End,Text\r"
                                   "Dialogue:0:00:01.00,0:00:02.00\r"
                                   "Dialogue:0:00:01.00\r")),
              QString())
        << "missing fields are empty, and an empty Text skips the line";
}

TEST(AssEvents, FileOrderAndNumberingOverOnlyConvertedLines)
{
    EXPECT_EQ(dialogue("Dialogue: 0,0:00:05.00,0:00:06.00,D,,0,0,0,,late\r"
                       "Comment: 0,0:00:01.00,0:00:02.00,D,,0,0,0,,comment\r"
                       "Dialogue: 0,0:00:03.00,0:00:04.00,D,,0,0,0,,   \r"
                       "dialogue: 0,0:00:03.00,0:00:04.00,D,,0,0,0,,lower case\r"
                       "\r[Fonts]\r"
                       "Dialogue: 0,0:00:01.00,0:00:02.00,D,,0,0,0,,early"),
              QStringLiteral("1\n00:00:05,000 --> 00:00:06,000\nlate\n\n"
                             "2\n00:00:01,000 --> 00:00:02,000\nearly\n\n"));
}

TEST(AssTimes, ToSrtTimes)
{
    EXPECT_EQ(time("0:01:02.5"), QStringLiteral("00:01:02,500"));
    EXPECT_EQ(time("1:02:03.04"), QStringLiteral("01:02:03,040"));
    EXPECT_EQ(time("123:02:03.04"), QStringLiteral("23:02:03,040"));
    EXPECT_EQ(time(" 0 : 00 :01. 2345 "), QStringLiteral("00:00:01,234"));
    EXPECT_EQ(time("::."), QStringLiteral("00:00:00,000"));
    EXPECT_EQ(time("0:00:01"), QString());
    EXPECT_EQ(time("0:00.01:02"), QString()) << "the fraction's dot comes after the second colon";
    EXPECT_EQ(time("0.00:01"), QString());
    EXPECT_EQ(time(""), QString());
}

TEST(AssText, LineBreaksAndOverrides)
{
    EXPECT_EQ(text("{\\i1}Hello,{\\i0} world\\Nsecond line"), QStringLiteral("<i>Hello,</i> world\nsecond line"));
    EXPECT_EQ(text("a\\N\\N\\nb\\N"), QStringLiteral("a\nb"));
    EXPECT_EQ(text("{\\pos(320,240)}"), QStringLiteral("<b>"));
    EXPECT_EQ(text("\\N{\\an8}"), QStringLiteral("<b>"));
    EXPECT_EQ(text("{\\b1}Bold{\\b0}"), QStringLiteral("<b>Bold</b>"));
    EXPECT_EQ(text("{\\bord2}Text {\\blur3}x{\\be1}"), QStringLiteral("<b>Text <b>x<b>"));
    EXPECT_EQ(text("{\\u1}u{\\u0}{ \\i 1 }i{\\I1}{\\i}"), QStringLiteral("<u>u</u><i>i"));
    EXPECT_EQ(text("{\\i1\\b1}two in one"), QStringLiteral("two in one"));
    EXPECT_EQ(text("line {\\i1}\\N{\\i0} next"), QStringLiteral("line <i>\n</i> next"));
    EXPECT_EQ(text("trailing   \\Nblanks  "), QStringLiteral("trailing\nblanks  "));
    EXPECT_EQ(text("a}b"), QStringLiteral("a}b"));
    // The hard space is a no-break space, not the letters "\h".
    EXPECT_EQ(text("a\\hb\\h\\hc"), QStringLiteral("a\u00A0b\u00A0\u00A0c"));
}

TEST(AssText, Colours)
{
    EXPECT_EQ(text("{\\c&H00FFFF&}Yellow"), QStringLiteral("<font color=\"#FFFF00\">Yellow"));
    EXPECT_EQ(text("{\\c&H0000FF&}Red{\\c&HFF0000&}Blue"),
              QStringLiteral("<font color=\"#FF0000\">Red<font color=\"#0000FF\">Blue"));
    EXPECT_EQ(text("{\\c&&HFF8040&&}x"), QStringLiteral("<font color=\"#4080FF\">x"));
    EXPECT_EQ(text("{\\c&&}x"), QStringLiteral("<font color=\"#000000\">x"));
    EXPECT_EQ(text("{\\c&H00FFFF}x{\\1c&H00FFFF&}y{\\c}z"), QStringLiteral("xyz"));
}

TEST(AssText, UnclosedBlocksAndOddInputStayInside)
{
    EXPECT_EQ(text("Hello {unclosed"), QStringLiteral("Hello "));
    EXPECT_EQ(text("{"), QStringLiteral("<b>"));
    EXPECT_EQ(text("x{}{"), QStringLiteral("x"));
    EXPECT_EQ(text("\\"), QStringLiteral("\\"));
    EXPECT_EQ(text("a\\"), QStringLiteral("a\\"));
    EXPECT_EQ(text("{\\c&}x"), QStringLiteral("<font color=\"#000000\">x"));
    EXPECT_EQ(text("{\\c&{{&}x{y}z"), QStringLiteral("<font color=\"#{{0000\">xz"));
    EXPECT_EQ(dialogue("Dialogue:"), QString());
    EXPECT_EQ(dialogue("Dialogue: 0,0:00:01.00,0:00:02.00,D,,0,0,0,,{"),
              QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\n<b>\n\n"));
}
