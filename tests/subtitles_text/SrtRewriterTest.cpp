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

    const QString source = folder.write(QStringLiteral("x.srt"), "1\r\n00:00:01,000 --> 00:00:02,000");
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

TEST(SrtCues, MalformedTimingLinesAreDroppedWithTheirText)
{
    EXPECT_EQ(rewrite("1\n0:00:01,000 --> 0:00:02,000\nshort hours\n\n"
                      "2\n00:00:02.000 --> 00:00:03,000\nfull stop\n\n"
                      "3\n00:00:03,000 --> 00:00:04,000 \ntrailing space\n\n"
                      "4\n00:00:04,000 --> 00:00:05,000 X1:1 X2:2\nposition\n\n"
                      "5\n00:00:05,000 --> 00:00:06,000\nkept\n\n"
                      "stray line\n\n"
                      "6\n00:00:0a,000 --> 00:00:07,000\nletter\n\n"
                      "7\n00:00:07,000 --> 00:00:08,000"),
              QStringLiteral("1|1\n00:00:05,000 --> 00:00:06,000\nkept\n\n"));
    // A timing line need not start its line.
    EXPECT_EQ(rewrite("x00:00:01,000 --> 00:00:02,000\ny"),
              QStringLiteral("1|1\n00:00:01,000 --> 00:00:02,000\ny\n\n"));
}

TEST(SrtCues, ShortAndEmptyTextStaysInside)
{
    EXPECT_EQ(rewrite(""), QStringLiteral("0|"));
    EXPECT_EQ(rewrite("\n"), QStringLiteral("0|"));
    EXPECT_EQ(rewrite("00:00:01,000 --> 00:00:02,000"), QStringLiteral("0|"));
    EXPECT_EQ(rewrite("00:00:01,000 --> 00:00:02,000\n\n"), QStringLiteral("1|1\n00:00:01,000 --> 00:00:02,000\n\n"));
    EXPECT_EQ(rewrite("00:00:01,000 --> 00:00:02,000\na\n\n00:00:03,000 --> 00:00:04,000\n"),
              QStringLiteral("2|1\n00:00:01,000 --> 00:00:02,000\na\n\n2\n00:00:03,000 --> 00:00:04,000\n\n"));
}
