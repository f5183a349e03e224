#include "subtitles/SrtRewriter.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testfiles;

namespace {

// Rewritten text with "\n" for CR, after "<cues>|".
QString rewrite(const char *srt)
{
    QString out;
    const int cues = SrtRewriter::rewriteText(QString::fromUtf8(srt).replace(QLatin1Char('\n'), QLatin1Char('\r')), out);
    return QString::number(cues) + QLatin1Char('|') + out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

TEST(SrtFiles, Utf16FileWithHangulNameToGoldenUtf8)
{
    Folder in;
    Folder out;
    const QString source = in.write(QStringLiteral("한글 자막.SRT"), readFile(fixture(QStringLiteral("utf16le_bom.srt"))));
    QString outputPath;
    EXPECT_EQ(SrtRewriter().Rewrite(source, outputPath, out.path(), 0), 1);
    EXPECT_EQ(outputPath, out.file(QStringLiteral("한글 자막.UTF8.srt")));
    EXPECT_EQ(readable(readFile(outputPath)), readable(readFile(fixture(QStringLiteral("utf16le_bom.UTF8.srt.expected")))));
    EXPECT_EQ(readFile(outputPath), readFile(fixture(QStringLiteral("utf16le_bom.UTF8.srt.expected"))));
    EXPECT_EQ(filesIn(in.path()).size(), 1);
}

TEST(SrtFiles, ChosenCodePageDecodesLegacyText)
{
    unsetenv("MARBLEWAY_ANSI_CODEPAGE");
    Folder folder;
    const QByteArray cp949 = "1\r\n00:00:01,000 --> 00:00:02,000\r\n\xC7\xD1\xB1\xDB\r\n";
    QString outputPath;
    // Chinese chosen for a Korean file: the text is read (wrongly) as Chinese.
    const QString source = folder.write(QStringLiteral("k.srt"), cp949);
    EXPECT_EQ(SrtRewriter().Rewrite(source, outputPath, folder.path(), 936), 1);
    EXPECT_NE(readFile(outputPath), utf8Output("1\n00:00:01,000 --> 00:00:02,000\n한글\n\n"));
    EXPECT_EQ(SrtRewriter().Rewrite(source, outputPath, folder.path(), 949), 1);
    EXPECT_EQ(readFile(outputPath), utf8Output("1\n00:00:01,000 --> 00:00:02,000\n한글\n\n"));
}

TEST(SrtFiles, NothingToWriteOrNothingLoaded)
{
    Folder folder;
    QString outputPath = QStringLiteral("untouched");
    EXPECT_EQ(SrtRewriter().Rewrite(folder.file(QStringLiteral("missing.srt")), outputPath, folder.path(), 0), 0);
    EXPECT_EQ(outputPath, QStringLiteral("untouched"));

    const QString source = folder.write(QStringLiteral("x.srt"), "1\r\n00:00:01 -> 00:00:02\r\nno timing line\r\n");
    EXPECT_EQ(SrtRewriter().Rewrite(source, outputPath, folder.path(), 0), 0);
    EXPECT_EQ(outputPath, folder.file(QStringLiteral("x.UTF8.srt"))) << "the path is handed back all the same";
    EXPECT_FALSE(QFile::exists(outputPath));

    const QString good = folder.write(QStringLiteral("y.srt"), "1\r\n00:00:01,000 --> 00:00:02,000\r\nok\r\n");
    EXPECT_EQ(SrtRewriter().Rewrite(good, outputPath, folder.file(QStringLiteral("no folder/")), 0), 0)
        << "an output that could not be written is no success";
}

TEST(SrtPaths, UTF8NameInTheOutputFolder)
{
    EXPECT_EQ(SrtRewriter::outputPathFor(QStringLiteral("/a/Movie.SRT"), QStringLiteral("/out/")),
              QStringLiteral("/out/Movie.UTF8.srt"));
    EXPECT_EQ(SrtRewriter::outputPathFor(QStringLiteral("/a/Movie.sub"), QStringLiteral("/out/")),
              QStringLiteral("/out/Movie.sub.UTF8.srt"));
    EXPECT_EQ(SrtRewriter::outputPathFor(QStringLiteral("/a.srt/b"), QStringLiteral("/o/")),
              QStringLiteral("/o/b.UTF8.srt"));
    EXPECT_EQ(SrtRewriter::outputPathFor(QStringLiteral(".srt"), QStringLiteral("/o/")), QStringLiteral("/o/.UTF8.srt"));
}

TEST(SrtCues, RenumberedFromOne)
{
    EXPECT_EQ(rewrite("5\n00:00:01,000 --> 00:00:02,000\na\n\n"
                      "9\n00:00:03,000 --> 00:00:04,000\nb\n\n"
                      "12\n00:00:05,000 --> 00:00:06,000\nc\n"),
              QStringLiteral("3|1\n00:00:01,000 --> 00:00:02,000\na\n\n"
                             "2\n00:00:03,000 --> 00:00:04,000\nb\n\n"
                             "3\n00:00:05,000 --> 00:00:06,000\nc\n\n"));
}

TEST(SrtCues, BlankLinesTidied)
{
    EXPECT_EQ(rewrite("\n\n1\n00:00:01,000 --> 00:00:02,000\n\n\na\nb\n\n\n\n"
                      "2\n00:00:03,000 --> 00:00:04,000\nc"),
              QStringLiteral("2|1\n00:00:01,000 --> 00:00:02,000\na\nb\n\n"
                             "2\n00:00:03,000 --> 00:00:04,000\nc\n\n"));
    // A cue without text, at the end or between others.
    EXPECT_EQ(rewrite("1\n00:00:01,000 --> 00:00:02,000\n"),
              QStringLiteral("1|1\n00:00:01,000 --> 00:00:02,000\n\n"));
    EXPECT_EQ(rewrite("1\n00:00:01,000 --> 00:00:02,000\n\n\n\n"),
              QStringLiteral("1|1\n00:00:01,000 --> 00:00:02,000\n\n"));
}

TEST(SrtCues, TimingLinesAsRealFilesWriteThem)
{
    // Trailing blanks, '.' before the fraction, one- and three-digit hours, short and
    // long fractions, coordinates, no blanks around the arrow, text on the timing line,
    // a missing blank line: all read, all written in the one canonical form.
    EXPECT_EQ(rewrite("1\n00:00:01,000 --> 00:00:02,000 \ntrailing space\n\n"
                      "2\n00:00:02.000 --> 00:00:03.000\nfull stop\n\n"
                      "3\n0:00:03,5 --> 100:00:04,25\nhours and fractions\n\n"
                      "4\n00:00:04,1234 --> 00:00:05,000  X1:10 X2:20 Y1:1 Y2:2\nposition\n\n"
                      "5\n00:00:05,000-->00:00:06,000 on the timing line\nnext line\n"
                      "6\n 00:00:06,000 --> 00:00:07,000\nno blank line before\n\n"
                      "7\n00:00:0a,000 --> 00:00:08,000\nunreadable\n\n"
                      "8\n00:00:08,000 --> 00:00:09,000\nlast, no line break"),
              QStringLiteral("7|1\n00:00:01,000 --> 00:00:02,000\ntrailing space\n\n"
                             "2\n00:00:02,000 --> 00:00:03,000\nfull stop\n\n"
                             "3\n00:00:03,500 --> 100:00:04,250\nhours and fractions\n\n"
                             "4\n00:00:04,123 --> 00:00:05,000\nposition\n\n"
                             "5\n00:00:05,000 --> 00:00:06,000\non the timing line\nnext line\n\n"
                             "6\n00:00:06,000 --> 00:00:07,000\nno blank line before\n\n"
                             "7\n00:00:08,000 --> 00:00:09,000\nlast, no line break\n\n"));
    // A timing line starts its line.
    EXPECT_EQ(rewrite("x00:00:01,000 --> 00:00:02,000\ny"), QStringLiteral("0|"));
    // CR-only line ends.
    EXPECT_EQ(rewrite("1\r00:00:01,000 --> 00:00:02,000\ra\r\r2\r00:00:03,000 --> 00:00:04,000\rb\r"),
              QStringLiteral("2|1\n00:00:01,000 --> 00:00:02,000\na\n\n2\n00:00:03,000 --> 00:00:04,000\nb\n\n"));
    // A blank line inside a cue's text does not end it; stray lines after it stay text.
    EXPECT_EQ(rewrite("1\n00:00:01,000 --> 00:00:02,000\na\n\nb\n\n2\n00:00:03,000 --> 00:00:04,000\n12\n"),
              QStringLiteral("2|1\n00:00:01,000 --> 00:00:02,000\na\nb\n\n2\n00:00:03,000 --> 00:00:04,000\n12\n\n"));
}

TEST(SrtCues, ReferencesAndAssOverridesInTheText)
{
    // References become characters; those for '<', '>' and '&' stay references, so a
    // literal "<b>" is never read as a tag later. ASS override blocks go, "\h" is a
    // no-break space, braces without a backslash are text.
    EXPECT_EQ(rewrite("1\n00:00:01,000 --> 00:00:02,000\n"
                      "{\\an8}&quot;Hi&quot; &#54620;&#xAE00; &LT;b&GT; &#60;3 &amp;&nbsp;x\n"
                      "{\\alpha&H80&}{laughs}\\hend &bogus; &#1;\n"
                      "{\\pos(1,2)}\n"),
              QStringLiteral("1|1\n00:00:01,000 --> 00:00:02,000\n"
                             "\"Hi\" 한글 &lt;b&gt; &lt;3 &amp; x\n"
                             "{laughs}\u00A0end &bogus; &#1;\n\n"));
}

TEST(SrtCues, ShortAndEmptyTextStaysInside)
{
    EXPECT_EQ(rewrite(""), QStringLiteral("0|"));
    EXPECT_EQ(rewrite("\n"), QStringLiteral("0|"));
    EXPECT_EQ(rewrite("00:00:01,000 --> 00:00:02,000"), QStringLiteral("1|1\n00:00:01,000 --> 00:00:02,000\n\n"));
    EXPECT_EQ(rewrite("00:00:01,000 --> 00:00:02,000\n\n"), QStringLiteral("1|1\n00:00:01,000 --> 00:00:02,000\n\n"));
    EXPECT_EQ(rewrite("00:00:01,000 --> 00:00:02,000\na\n\n00:00:03,000 --> 00:00:04,000\n"),
              QStringLiteral("2|1\n00:00:01,000 --> 00:00:02,000\na\n\n2\n00:00:03,000 --> 00:00:04,000\n\n"));
}
