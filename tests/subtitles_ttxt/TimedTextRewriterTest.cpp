#include "subtitles/TimedTextRewriter.h"

#include "GoldenDiff.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TextStream version=\"1.1\">\n"
                           "<TextStreamHeader width=\"400\" height=\"60\">\n"
                           "<Style styles=\"Normal\" fontID=\"1\" fontSize=\"18\" color=\"ff ff ff ff\"/>\n"
                           "</TextStreamHeader>";

QByteArray restyled(const QByteArray &in, int size = 18)
{
    QByteArray out;
    EXPECT_TRUE(TimedTextRewriter::restyleBuffer(in, size, out));
    return out;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

TEST(TimedTextRewriter, OnlyTheFirstFontSizeOfTheHeaderChanges)
{
    const QByteArray header
        = "<TextStreamHeader><Style fontSize=\"18\"/><Style fontSize=\"18\"/></TextStreamHeader>";
    EXPECT_EQ(restyled(header, 36),
        "<TextStreamHeader><Style fontSize=\"36\"/><Style fontSize=\"18\"/></TextStreamHeader>\r\n"
        "</TextStream>\r\n");
    EXPECT_EQ(restyled("<Style fontSize=\"12\"/></TextStreamHeader>", 0),
        "<Style fontSize=\"18\"/></TextStreamHeader>\r\n</TextStream>\r\n");
    // No attribute, or one that is never closed inside the header: the header stays as it is.
    EXPECT_EQ(restyled("<a/></TextStreamHeader>\"", 24), "<a/></TextStreamHeader>\r\n</TextStream>\r\n");
    EXPECT_EQ(restyled("<a fontSize=\"18</TextStreamHeader>\"", 24),
        "<a fontSize=\"18</TextStreamHeader>\r\n</TextStream>\r\n");
    QByteArray out = "stale";
    EXPECT_FALSE(TimedTextRewriter::restyleBuffer("<TextStreamHeader><TextSample sampleTime=\"", 18, out));
    EXPECT_TRUE(out.isEmpty());
}

TEST(TimedTextRewriter, SamplesAreRewrittenOneLineEach)
{
    const QByteArray in = kHeader
        + "\njunk before\n"
          "<TextSample sampleTime=\"00:00:05.000\" xml:space=\"preserve\"></TextSample>\n\n"
          "<TextSample sampleTime=\"00:00:06.000\" xml:space=\"preserve\">a\nb\n</TextSample>junk after";
    EXPECT_EQ(restyled(in, 24),
        QByteArray(kHeader).replace("\"18\"", "\"24\"")
            + "\r\n"
              "<TextSample sampleTime=\"00:00:05.000\" xml:space=\"preserve\"></TextSample>\r\n"
              "<TextSample sampleTime=\"00:00:06.000\" xml:space=\"preserve\">a\r\nb</TextSample>\r\n"
              "</TextStream>\r\n");
}

TEST(TimedTextRewriter, BrokenSamplesNeitherCrashNorSpill)
{
    const QByteArray start = "<TextSample sampleTime=\"00:00:01.000\">";
    // A sample without its closing tag ends the walk; the stream is still closed.
    EXPECT_EQ(restyled(kHeader + start + "ok</TextSample>" + start + "lost"),
        kHeader + "\r\n" + start + "ok</TextSample>\r\n</TextStream>\r\n");
    // An opening tag without ">" is kept as it stands.
    EXPECT_EQ(restyled(kHeader + "<TextSample sampleTime=\"</TextSample>"),
        kHeader + "\r\n<TextSample sampleTime=\"</TextSample>\r\n</TextStream>\r\n");
    EXPECT_EQ(restyled(kHeader + start + "&lt;font color=&quot;</TextSample>"),
        kHeader + "\r\n" + start + "</TextSample>\r\n</TextStream>\r\n");
    EXPECT_EQ(restyled(kHeader + start + "&</TextSample>" + start + "x;</TextSample>"),
        kHeader + "\r\n" + start + "</TextSample>\r\n" + start + "x;</TextSample>\r\n</TextStream>\r\n");
}

TEST(TimedTextRewriter, ShiftMovesOnlyTheTimeFields)
{
    const QByteArray in = "<x/><TextSample sampleTime=\"00:00:59.000\" a=\"1\">t</TextSample>\n"
                          "<TextSample sampleTime=\"00:59:59.999\">u</TextSample> tail";
    EXPECT_EQ(TimedTextRewriter::shiftBuffer(in, 1500),
        "<x/><TextSample sampleTime=\"00:01:00.500\" a=\"1\">t</TextSample>\n"
        "<TextSample sampleTime=\"01:00:01.499\">u</TextSample> tail");
    // Fields are parsed arithmetically: 75 minutes are written back as 1:15.
    EXPECT_EQ(TimedTextRewriter::shiftBuffer("<TextSample sampleTime=\"00:75:00.000\"></TextSample>", 0),
        "<TextSample sampleTime=\"01:15:00.000\"></TextSample>");
}

TEST(TimedTextRewriter, ShiftStaysInsideTheFixedWidthField)
{
    const auto shifted = [](const char *time, int ms) {
        const QByteArray in = QByteArray("<TextSample sampleTime=\"") + time + "\"></TextSample>";
        return TimedTextRewriter::shiftBuffer(in, ms).mid(24, 12);
    };
    EXPECT_EQ(shifted("00:00:01.000", -1500), "00:00:00.000");
    EXPECT_EQ(shifted("00:00:01.000", INT_MIN), "00:00:00.000");
    EXPECT_EQ(shifted("99:59:59.000", 1500), "99:59:59.999");
    EXPECT_EQ(shifted("00:00:00.000", INT_MAX), "99:59:59.999");
    EXPECT_EQ(shifted("99:99:99.999", 0), "99:59:59.999");
    // A field that holds no time is left alone rather than garbled.
    EXPECT_EQ(shifted("0a:00:01.000", 1000), "0a:00:01.000");
    EXPECT_EQ(TimedTextRewriter::shiftBuffer("<TextSample sampleTime=\"1:0</TextSample>", 5),
        "<TextSample sampleTime=\"1:0</TextSample>");
    EXPECT_EQ(TimedTextRewriter::shiftBuffer("<TextSample sampleTime=\"00:00:01.000\">", 5),
        "<TextSample sampleTime=\"00:00:01.000\">");
}

TEST(TimedTextRewriter, GoldenRestyleInPlaceUnderAKoreanName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("영화 자막.ttxt"));
    ASSERT_TRUE(QFile::copy(fixturePath("movie.ttxt"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    EXPECT_EQ(TimedTextRewriter().Restyle(path, QString(), 24), 1);
    EXPECT_TRUE(matchesGolden(readFile(path), fixturePath("movie.restyled24.ttxt")));
    // The replaced file keeps its mode (owner, group and other bits).
    EXPECT_EQ(
        QFileInfo(path).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    EXPECT_EQ(entries(dir.path()), QStringList { QStringLiteral("영화 자막.ttxt") });
}

TEST(TimedTextRewriter, GoldenShiftIntoAnAdjustedCopy)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("자막.ttxt"));
    const QString target = dir.filePath(QStringLiteral("자막_adj.ttxt"));
    ASSERT_TRUE(QFile::copy(fixturePath("movie.ttxt"), source));

    EXPECT_EQ(TimedTextRewriter().ShiftTimes(source, target, 1500), 1);
    EXPECT_TRUE(matchesGolden(readFile(target), fixturePath("movie.shifted1500.ttxt")));
    EXPECT_EQ(readFile(source), readFile(fixturePath("movie.ttxt")));
}

TEST(TimedTextRewriter, RestyleToATargetLeavesTheSourceAlone)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath("a.ttxt");
    const QString target = dir.filePath("b.ttxt");
    const QByteArray in = kHeader + "<TextSample sampleTime=\"00:00:01.000\">x&lt;/font&gt;</TextSample>";
    writeFile(source, in);
    writeFile(target, "older content that is replaced");
    EXPECT_EQ(TimedTextRewriter().Restyle(source, target, 18), 1);
    EXPECT_EQ(readFile(source), in);
    EXPECT_EQ(readFile(target), restyled(in));
}

TEST(TimedTextRewriter, FailedCallsLeaveEveryFileAsItWas)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TimedTextRewriter rewriter;
    const QString source = dir.filePath("sub.ttxt");
    const QString target = dir.filePath("out.ttxt");

    // Without a stream header nothing is written, in place or elsewhere.
    const QByteArray noHeader = "<TextSample sampleTime=\"00:00:01.000\">keep me</TextSample>";
    writeFile(source, noHeader);
    EXPECT_EQ(rewriter.Restyle(source, QString(), 24), 0);
    EXPECT_EQ(readFile(source), noHeader);
    writeFile(target, "previous");
    EXPECT_EQ(rewriter.Restyle(source, target, 24), 0);
    EXPECT_EQ(readFile(target), "previous");
    EXPECT_EQ(entries(dir.path()), (QStringList { "out.ttxt", "sub.ttxt" }));

    // Missing source, a folder as source: the target is not created.
    const QString fresh = dir.filePath("fresh.ttxt");
    EXPECT_EQ(rewriter.Restyle(dir.filePath("missing.ttxt"), fresh, 18), 0);
    EXPECT_EQ(rewriter.ShiftTimes(dir.filePath("missing.ttxt"), fresh, 10), 0);
    EXPECT_EQ(rewriter.Restyle(dir.path(), fresh, 18), 0);
    EXPECT_EQ(rewriter.ShiftTimes(dir.path(), fresh, 10), 0);
    EXPECT_EQ(rewriter.Restyle(QString(), QString(), 18), 0);
    EXPECT_FALSE(QFileInfo::exists(fresh));

    // A target that cannot be written.
    writeFile(source, kHeader);
    EXPECT_EQ(rewriter.Restyle(source, dir.filePath("no/such/folder/x.ttxt"), 18), 0);
    EXPECT_EQ(rewriter.ShiftTimes(source, dir.path(), 10), 0);
    EXPECT_EQ(readFile(source), kHeader);
    EXPECT_EQ(entries(dir.path()), (QStringList { "out.ttxt", "sub.ttxt" }));
}

TEST(TimedTextRewriter, ShiftInPlaceRewritesTheSameFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("s.ttxt");
    writeFile(path, "<TextSample sampleTime=\"00:00:01.000\"></TextSample>");
    EXPECT_EQ(TimedTextRewriter().ShiftTimes(path, QString(), 250), 1);
    EXPECT_EQ(readFile(path), "<TextSample sampleTime=\"00:00:01.250\"></TextSample>");
}
