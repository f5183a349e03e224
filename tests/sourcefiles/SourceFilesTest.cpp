// Adding files to the list: the extension test, the wildcard search and the companion
// files beside a source.
#include "engine/FileList.h"
#include "engine/SourceFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "../QtPrinters.h"

#include <gtest/gtest.h>

namespace {

class Folder
{
public:
    Folder() { EXPECT_TRUE(m_dir.isValid()); }
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    QString touch(const QString &name) const
    {
        QFile f(path() + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        return f.fileName();
    }
    void mkdir(const QString &name) const { QDir(path()).mkpath(name); }

private:
    QTemporaryDir m_dir;
};

} // namespace

TEST(SourceFiles, CheckExtensionAcceptsTheVideoExtensionsOnly)
{
    MemoryFileList list;
    for (const char *ok : {"a.avi", "a.AVI", "a.divx", "a.mkv", "a.flv", "a.ogm", "a.ogg", "a.mp4", "a.mov", "a.qt",
                           "a.3gp", "a.swf", "a.wmv", "a.asf", "a.mpg", "a.MPEG", "a.dat", "a.vob", "a.b.avi"})
        EXPECT_EQ(CheckExtension(list, QStringLiteral("/v/") + QLatin1String(ok)), -1) << ok;
    for (const char *bad : {"a", "a.", "a.m2ts", "a.ts", "a.mp3", "a.av", "a.i;m", "a.avi;", "a.mkv.txt", "a.avi "})
        EXPECT_EQ(CheckExtension(list, QStringLiteral("/v/") + QLatin1String(bad)), kNotAcceptable) << bad;
    // A dot in a folder name is no extension.
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/v/movies.avi/clip")), kNotAcceptable);
}

TEST(SourceFiles, CheckExtensionFindsTheListedRow)
{
    MemoryFileList list;
    list.appendRow(QStringLiteral("one.avi"), QStringLiteral("/v/"));
    list.appendRow(QStringLiteral("two.mkv"), QStringLiteral("/v/"));
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/v/two.mkv")), 1);
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/v/one.avi")), 0);
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/w/two.mkv")), -1);
    // Names that differ in case are different files on this system.
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/v/TWO.mkv")), -1);
    // An unacceptable file is refused before the list is looked at.
    list.appendRow(QStringLiteral("notes.txt"), QStringLiteral("/v/"));
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/v/notes.txt")), kNotAcceptable);
}

TEST(SourceFiles, FindFirstMatchIsWindowsWildcardInNameOrder)
{
    Folder d;
    d.touch(QStringLiteral("movie.kor.ac3"));
    d.touch(QStringLiteral("movie.eng.ac3"));
    d.touch(QStringLiteral("movie.avi"));
    d.mkdir(QStringLiteral("movie.dir.ac3"));
    d.mkdir(QStringLiteral("movie.aaa.ac3"));

    // Folders never match; of the files, the first in name order.
    EXPECT_EQ(FindFirstMatch(d.path() + QStringLiteral("movie*.ac3")), d.path() + QStringLiteral("movie.eng.ac3"));
    EXPECT_EQ(FindFirstMatch(d.path() + QStringLiteral("MOVIE*.AC3")), d.path() + QStringLiteral("movie.eng.ac3"));
    EXPECT_EQ(FindFirstMatch(d.path() + QStringLiteral("movie.???.ac3")), d.path() + QStringLiteral("movie.eng.ac3"));
    EXPECT_EQ(FindFirstMatch(d.path() + QStringLiteral("movie.k*")), d.path() + QStringLiteral("movie.kor.ac3"));
    EXPECT_EQ(FindFirstMatch(d.path() + QStringLiteral("*.avi")), d.path() + QStringLiteral("movie.avi"));
    EXPECT_TRUE(FindFirstMatch(d.path() + QStringLiteral("movie*.dts")).isEmpty());
    EXPECT_TRUE(FindFirstMatch(d.path() + QStringLiteral("movie.dir*")).isEmpty());
    EXPECT_TRUE(FindFirstMatch(d.path() + QStringLiteral("nowhere/movie*.ac3")).isEmpty());
    EXPECT_TRUE(FindFirstMatch(d.path() + QStringLiteral(".*")).isEmpty());

    // Brackets and other pattern characters in real names are plain characters.
    d.touch(QStringLiteral("clip [720p] (x+y).eng.ac3"));
    EXPECT_EQ(FindFirstMatch(d.path() + QStringLiteral("clip [720p] (x+y)*.ac3")),
              d.path() + QStringLiteral("clip [720p] (x+y).eng.ac3"));
    EXPECT_TRUE(FindFirstMatch(d.path() + QStringLiteral("clip [7]*.ac3")).isEmpty());
    d.touch(QString::fromUtf8("영화.한국어.ac3"));
    EXPECT_EQ(FindFirstMatch(d.path() + QString::fromUtf8("영화*.ac3")), d.path() + QString::fromUtf8("영화.한국어.ac3"));
}

TEST(SourceFiles, CompanionsBesideTheSource)
{
    Folder d;
    d.touch(QStringLiteral("movie.avi"));
    d.touch(QStringLiteral("movie.srt"));
    d.touch(QStringLiteral("movie.eng.ac3"));
    MemoryFileList list;
    const int row = list.appendRow(QStringLiteral("movie.avi"), d.path());
    FindCompanions(list, row);
    EXPECT_EQ(list.text(row, FileList::kSubtitle), QStringLiteral("srt"));
    EXPECT_EQ(list.text(row, FileList::kAudio), QStringLiteral("ac3"));

    // SAMI before SRT; an exact audio name before any wildcard match.
    d.touch(QStringLiteral("movie.smi"));
    d.touch(QStringLiteral("movie.mp3"));
    MemoryFileList again;
    const int r2 = again.appendRow(QStringLiteral("movie.avi"), d.path());
    FindCompanions(again, r2);
    EXPECT_EQ(again.text(r2, FileList::kSubtitle), QStringLiteral("smi"));
    EXPECT_EQ(again.text(r2, FileList::kAudio), QStringLiteral("mp3"));
}

TEST(SourceFiles, CompanionPatternsInExtensionOrderAndColumnsNeverCleared)
{
    Folder d;
    d.touch(QStringLiteral("show.mkv"));
    d.touch(QStringLiteral("show.part1.ac3"));
    d.touch(QStringLiteral("show.part2.aac"));
    MemoryFileList list;
    const int row = list.appendRow(QStringLiteral("show.mkv"), d.path());
    FindCompanions(list, row);
    EXPECT_EQ(list.text(row, FileList::kAudio), QStringLiteral("aac"));
    EXPECT_TRUE(list.text(row, FileList::kSubtitle).isEmpty());

    // Nothing found leaves what the columns held.
    Folder empty;
    empty.touch(QStringLiteral("show.mkv"));
    const int other = list.appendRow(QStringLiteral("show.mkv"), empty.path());
    list.setText(other, FileList::kAudio, QStringLiteral("dts"));
    list.setText(other, FileList::kSubtitle, QStringLiteral("ass"));
    FindCompanions(list, other);
    EXPECT_EQ(list.text(other, FileList::kAudio), QStringLiteral("dts"));
    EXPECT_EQ(list.text(other, FileList::kSubtitle), QStringLiteral("ass"));

    // A folder named like a companion is not one.
    Folder withDir;
    withDir.touch(QStringLiteral("a.avi"));
    withDir.mkdir(QStringLiteral("a.srt"));
    withDir.mkdir(QStringLiteral("a.wav"));
    const int third = list.appendRow(QStringLiteral("a.avi"), withDir.path());
    FindCompanions(list, third);
    EXPECT_TRUE(list.text(third, FileList::kAudio).isEmpty());
    EXPECT_TRUE(list.text(third, FileList::kSubtitle).isEmpty());
}
