#include "engine/ConvertJob.h"

#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace testsupport;

TEST(AddTempFile, PlainPathsAreAddedOnceEachInOrder)
{
    QStringList list;
    AddTempFile(list, QStringLiteral("/w/a.wav"));
    AddTempFile(list, QStringLiteral("/w/b.aac"));
    AddTempFile(list, QStringLiteral("/w/a.wav"));
    AddTempFile(list, QString());
    AddTempFile(list, QStringLiteral("   "));
    EXPECT_EQ(list, QStringList({ QStringLiteral("/w/a.wav"), QStringLiteral("/w/b.aac") }));
    // Equal means equal text: a different case is another file here.
    AddTempFile(list, QStringLiteral("/w/A.wav"));
    EXPECT_EQ(list.size(), 3);
}

TEST(AddTempFile, TextUpToTheFirstAndThenTheNextQuoteIsDropped)
{
    QStringList list;
    // A converted SAMI class entry: the quoted class name goes, the path stays.
    AddTempFile(list, QStringLiteral("\"KRCC\" /w/sub 한글.srt"));
    AddTempFile(list, QStringLiteral("\"ENCC\"/w/sub_en.srt"));
    // One quote only: what follows it, leading blanks trimmed.
    AddTempFile(list, QStringLiteral("x\"   /w/one.wav"));
    // Leading blanks without quotes are trimmed too.
    AddTempFile(list, QStringLiteral("  /w/lead.srt"));
    // Only the first two quotes count.
    AddTempFile(list, QStringLiteral("\"a\" \"/w/b\""));
    // The same path again after the rule is a duplicate.
    AddTempFile(list, QStringLiteral("\"JPCC\" /w/one.wav"));
    EXPECT_EQ(list, QStringList({ QStringLiteral("/w/sub 한글.srt"), QStringLiteral("/w/sub_en.srt"),
                                  QStringLiteral("/w/one.wav"), QStringLiteral("/w/lead.srt"),
                                  QStringLiteral("\"/w/b\"") }));
}

TEST(DeleteTempFiles, DeletesEveryListedFileUnlessKept)
{
    const QString dir = freshFolder();
    QStringList list;
    for (const char *name : { "a.wav", "b c.aac", "한글.srt" }) {
        const QString path = dir + QLatin1Char('/') + QString::fromUtf8(name);
        writeFile(path, "x");
        AddTempFile(list, path);
    }
    AddTempFile(list, dir + QStringLiteral("/never created.tmp"));
    const QStringList before = list;

    DeleteTempFiles(list, true);
    for (const QString &f : list.mid(0, 3))
        EXPECT_TRUE(QFile::exists(f));

    DeleteTempFiles(list, false);
    for (const QString &f : list)
        EXPECT_FALSE(QFile::exists(f));
    EXPECT_EQ(list, before);
}

TEST(ToolTable, EightToolsInOrderWithTheNightlyMuxer)
{
    const auto plain = BuildToolTable(QStringLiteral("/p/"), false);
    const char *names[] = { "ffmpeg", "neroAacEnc", "MP4Box", "mkvextract", "OGMDemuxer", "normalize", "chanfold",
                            "MediaInfo" };
    for (int i = 0; i < kToolCount; ++i) {
        EXPECT_EQ(plain[i].name, QLatin1String(names[i]));
        EXPECT_EQ(plain[i].fullPath, QStringLiteral("/p/tools/") + QLatin1String(names[i]));
    }
    EXPECT_EQ(BuildToolTable(QStringLiteral("/p/"), true)[kMP4Box].fullPath, QStringLiteral("/p/tools/Nightly/MP4Box"));
}
