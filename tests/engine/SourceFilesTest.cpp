#include "engine/FileList.h"
#include "engine/SourceFiles.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace testsupport;

TEST(CheckExtension, AcceptedExtensionsAndTheirAliases)
{
    MemoryFileList list;
    for (const char *p : { "/s/a.avi", "/s/a.mkv", "/s/a.flv", "/s/a.ogm", "/s/a.ogg", "/s/a.mp4", "/s/a.mov",
                           "/s/a.3gp", "/s/a.swf", "/s/a.wmv", "/s/a.asf", "/s/a.mpg", "/s/a.dat", "/s/a.vob",
                           "/s/a.mpeg", "/s/a.qt", "/s/a.divx", "/s/A.AVI", "/s/b.MpEg", "/s/c.DivX", "/s/d.QT",
                           "/s/x.y.mkv", "/s/a.ts", "/s/a.m2ts", "/s/a.MTS", "/s/a.tp", "/s/a.trp" })
        EXPECT_EQ(CheckExtension(list, QLatin1String(p)), -1) << p;
}

TEST(CheckExtension, EverythingElseIsNotAcceptable)
{
    MemoryFileList list;
    for (const char *p : { "/s/a.mp3", "/s/a.srt", "/s/a.mpeg4", "/s/a.av", "/s/a.", "/s/noext", "/s.avi/noext",
                           "/s/a.avi.txt", "/s/a.tsv", "" })
        EXPECT_EQ(CheckExtension(list, QLatin1String(p)), kNotAcceptable) << p;
}

TEST(CheckExtension, AlreadyListedPathGivesItsRow)
{
    // File names differ by case on this system: Movie.avi and movie.avi are two files.
    MemoryFileList list;
    list.appendRow(QStringLiteral("Movie.avi"), QStringLiteral("/s/"));
    list.appendRow(QStringLiteral("other.mkv"), QStringLiteral("/s/"));
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/s/Movie.avi")), 0);
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/s/other.mkv")), 1);
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/s/movie.AVI")), -1);
    EXPECT_EQ(CheckExtension(list, QStringLiteral("/t/Movie.avi")), -1);
}

TEST(FindFirstMatch, WindowsWildcardInNameOrder)
{
    const QString folder = freshFolder(QStringLiteral("wildcards")) + QLatin1Char('/');
    auto touch = [&](const QString &name) { writeFile(folder + name, "x"); };
    touch(QStringLiteral("movie.kor.ac3"));
    touch(QStringLiteral("movie.eng.ac3"));
    touch(QStringLiteral("movie.avi"));
    QDir(folder).mkpath(QStringLiteral("movie.dir.ac3"));
    QDir(folder).mkpath(QStringLiteral("movie.aaa.ac3"));

    // Folders never match; of the files, the first in name order.
    EXPECT_EQ(FindFirstMatch(folder + QStringLiteral("movie*.ac3")), folder + QStringLiteral("movie.eng.ac3"));
    EXPECT_EQ(FindFirstMatch(folder + QStringLiteral("MOVIE*.AC3")), folder + QStringLiteral("movie.eng.ac3"));
    EXPECT_EQ(FindFirstMatch(folder + QStringLiteral("movie.???.ac3")), folder + QStringLiteral("movie.eng.ac3"));
    EXPECT_EQ(FindFirstMatch(folder + QStringLiteral("movie.k*")), folder + QStringLiteral("movie.kor.ac3"));
    EXPECT_EQ(FindFirstMatch(folder + QStringLiteral("*.avi")), folder + QStringLiteral("movie.avi"));
    EXPECT_TRUE(FindFirstMatch(folder + QStringLiteral("movie*.dts")).isEmpty());
    EXPECT_TRUE(FindFirstMatch(folder + QStringLiteral("movie.dir*")).isEmpty());
    EXPECT_TRUE(FindFirstMatch(folder + QStringLiteral("nowhere/movie*.ac3")).isEmpty());
    EXPECT_TRUE(FindFirstMatch(folder + QStringLiteral(".*")).isEmpty());

    // Brackets and other pattern characters in real names are plain characters.
    touch(QStringLiteral("clip [720p] (x+y).eng.ac3"));
    EXPECT_EQ(FindFirstMatch(folder + QStringLiteral("clip [720p] (x+y)*.ac3")),
              folder + QStringLiteral("clip [720p] (x+y).eng.ac3"));
    EXPECT_TRUE(FindFirstMatch(folder + QStringLiteral("clip [7]*.ac3")).isEmpty());
    touch(QString::fromUtf8("영화.한국어.ac3"));
    EXPECT_EQ(FindFirstMatch(folder + QString::fromUtf8("영화*.ac3")), folder + QString::fromUtf8("영화.한국어.ac3"));
}

class CompanionsTest : public ::testing::Test
{
protected:
    void SetUp() override { dir = freshFolder(QStringLiteral("companions")) + QLatin1Char('/'); }
    int add(const QString &name)
    {
        writeFile(dir + name, "x");
        const int row = list.appendRow(name, dir);
        FindCompanions(list, row);
        return row;
    }
    void touch(const QString &name) { writeFile(dir + name, "x"); }

    MemoryFileList list;
    QString dir;
};

TEST_F(CompanionsTest, SubtitleBesideAndAudioThroughTheWildcard)
{
    touch(QStringLiteral("movie.srt"));
    touch(QStringLiteral("movie.eng.ac3"));
    const int row = add(QStringLiteral("movie.avi"));
    EXPECT_EQ(list.text(row, FileList::kSubtitle), QStringLiteral("srt"));
    EXPECT_EQ(list.text(row, FileList::kAudio), QStringLiteral("ac3"));
    EXPECT_EQ(FindFirstMatch(dir + QStringLiteral("movie*.ac3")), dir + QStringLiteral("movie.eng.ac3"));
}

TEST_F(CompanionsTest, FirstKindInTableOrderWins)
{
    for (const char *n : { "clip.ssa", "clip.srt", "clip.smi", "clip.mp3", "clip.wav", "clip.aac", "clip.x.dts" })
        touch(QLatin1String(n));
    const int row = add(QStringLiteral("clip.mkv"));
    EXPECT_EQ(list.text(row, FileList::kSubtitle), QStringLiteral("smi"));
    EXPECT_EQ(list.text(row, FileList::kAudio), QStringLiteral("aac"));
}

TEST_F(CompanionsTest, ExtensionsMatchInAnyLetterCaseTheExactOneFirst)
{
    touch(QStringLiteral("CLIP.SMI"));
    touch(QStringLiteral("CLIP.Ac3"));
    const int row = add(QStringLiteral("CLIP.AVI"));
    EXPECT_EQ(list.text(row, FileList::kSubtitle), QStringLiteral("smi"));
    EXPECT_EQ(list.text(row, FileList::kAudio), QStringLiteral("ac3"));
    EXPECT_EQ(CompanionFile(dir + QStringLiteral("CLIP"), QStringLiteral("smi")), dir + QStringLiteral("CLIP.SMI"));
    touch(QStringLiteral("CLIP.smi"));
    EXPECT_EQ(CompanionFile(dir + QStringLiteral("CLIP"), QStringLiteral("smi")), dir + QStringLiteral("CLIP.smi"));
    // Only the extension's case is free; a name of another case and wildcard-looking
    // characters in the name are no match.
    touch(QStringLiteral("clip.SRT"));
    touch(QStringLiteral("a*b.ssa"));
    EXPECT_EQ(CompanionFile(dir + QStringLiteral("CLIP"), QStringLiteral("srt")), QString());
    EXPECT_EQ(CompanionFile(dir + QStringLiteral("axb"), QStringLiteral("ssa")), QString());
    EXPECT_EQ(CompanionFile(dir + QStringLiteral("clip"), QStringLiteral("srt")), dir + QStringLiteral("clip.SRT"));
}

TEST_F(CompanionsTest, ExactAudioNameBeatsTheWildcard)
{
    touch(QStringLiteral("clip.kor.aac"));
    touch(QStringLiteral("clip.wma"));
    const int row = add(QStringLiteral("clip.mkv"));
    EXPECT_EQ(list.text(row, FileList::kAudio), QStringLiteral("wma"));
}

TEST_F(CompanionsTest, NamesWithWildcardLookingCharactersMatchLiterally)
{
    // Brackets are ordinary in file names: only * and ? are wildcards.
    touch(QStringLiteral("Show [1080p] (2011).eng.ac3"));
    touch(QStringLiteral("Show x1080p] (2011).kor.dts"));
    const int row = add(QStringLiteral("Show [1080p] (2011).mkv"));
    EXPECT_EQ(list.text(row, FileList::kAudio), QStringLiteral("ac3"));
    EXPECT_EQ(FindFirstMatch(dir + QStringLiteral("Show [1080p] (2011)*.dts")), QString());
    EXPECT_EQ(FindFirstMatch(dir + QStringLiteral("Show ?1080p] (2011)*.dts")),
              dir + QStringLiteral("Show x1080p] (2011).kor.dts"));
    touch(QStringLiteral("Clip.\U0001F3AC+.ENG.mp3"));
    EXPECT_EQ(FindFirstMatch(dir + QStringLiteral("clip.\U0001F3AC+*.mp3")), dir + QStringLiteral("Clip.\U0001F3AC+.ENG.mp3"));
}

TEST_F(CompanionsTest, ColumnsAreOnlySetNeverClearedAndFoldersDoNotCount)
{
    QDir().mkpath(dir + QStringLiteral("film.eng.ac3"));
    QDir().mkpath(dir + QStringLiteral("film.srt"));
    writeFile(dir + QStringLiteral("film.avi"), "x");
    const int row = list.appendRow(QStringLiteral("film.avi"), dir);
    list.setText(row, FileList::kAudio, QStringLiteral("mp3"));
    list.setText(row, FileList::kSubtitle, QStringLiteral("ass"));
    FindCompanions(list, row);
    EXPECT_EQ(list.text(row, FileList::kAudio), QStringLiteral("mp3"));
    EXPECT_EQ(list.text(row, FileList::kSubtitle), QStringLiteral("ass"));

    const int other = add(QStringLiteral("film.mkv"));
    EXPECT_EQ(list.text(other, FileList::kAudio), QString());
    EXPECT_EQ(list.text(other, FileList::kSubtitle), QString());
}

TEST(AddSourcePaths, ScriptSafeNamesAreAddedOthersRefusedAndCounted)
{
    const QString dir = freshFolder(QStringLiteral("add")) + QLatin1Char('/');
    const QStringList good = {
        QStringLiteral("with space.avi"), QStringLiteral("%1 $(touch PWNED) `x`; a & b | c.mkv"),
        QStringLiteral("한글.mp4"), QStringLiteral("\u1112\u1161\u11AB\u1100\u1173\u11AF.mp4"),
    };
    const QStringList bad = { QStringLiteral("quote\"d.avi"), QStringLiteral("line\nbreak.avi"),
                              QStringLiteral("tab\tname.avi") };
    QStringList paths;
    for (const QString &n : good + bad) {
        writeFile(dir + n, "x");
        paths << dir + n;
    }
    QDir().mkpath(dir + QStringLiteral("folder.avi"));
    paths << dir + QStringLiteral("not there.avi") // gone before it was added
          << dir + QStringLiteral("folder.avi")    // folders are skipped silently
          << dir + QStringLiteral("notes.txt")     // not a video: silently
          << dir + good.first();                   // already listed: silently

    MemoryFileList list;
    const AddFilesResult r = AddSourcePaths(list, paths);
    EXPECT_EQ(r.added, good.size());
    // Each reason counted apart: a missing file is no naming problem.
    EXPECT_EQ(r.unsafe, bad.size());
    EXPECT_EQ(r.missing, 1);
    EXPECT_EQ(r.refused, 0);
    ASSERT_EQ(list.rowCount(), good.size());
    for (int i = 0; i < good.size(); ++i) {
        EXPECT_EQ(list.text(i, FileList::kName), good[i]);
        EXPECT_EQ(list.text(i, FileList::kFolder), dir);
    }
    EXPECT_EQ(AddFilesMessage(r), QStringLiteral("1개의 파일이 존재하지 않음!\n"
                                                 "3개의 파일에서 파일명에 사용할 수 없는 문자(\", \\, 제어 문자) 포함!"));
    EXPECT_EQ(AddFilesMessage(AddFilesResult{ 2, 0, 0, 0 }), QString());
    EXPECT_EQ(RefusedNamesMessage(4), QStringLiteral("4개의 파일에서 파일명에 비 ASCII 문자 포함!"));
}

TEST(AddSourcePaths, OneFileNamedTwoWaysIsListedOnce)
{
    const QString dir = freshFolder(QStringLiteral("twice"));
    QDir().mkpath(dir + QStringLiteral("/a"));
    writeFile(dir + QStringLiteral("/a/x.avi"), "x");
    ASSERT_TRUE(QFile::link(dir + QStringLiteral("/a/x.avi"), dir + QStringLiteral("/link.avi")));
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir);
    MemoryFileList list;
    const AddFilesResult r = AddSourcePaths(list, { QStringLiteral("a/x.avi"), dir + QStringLiteral("/a/x.avi"),
                                                    dir + QStringLiteral("/a/../a/x.avi"), QStringLiteral("./a//x.avi"),
                                                    dir + QStringLiteral("/link.avi") });
    QDir::setCurrent(before);
    EXPECT_EQ(r.added, 1);
    EXPECT_EQ(list.rowCount(), 1);
    // Names differing only in case are different files here.
    writeFile(dir + QStringLiteral("/a/X.avi"), "x");
    EXPECT_EQ(AddSourcePaths(list, { dir + QStringLiteral("/a/X.avi") }).added, 1);
}

TEST(AddSourcePaths, NameThatIsNotUtf8IsRefused)
{
    const QString dir = freshFolder(QStringLiteral("bytes")) + QLatin1Char('/');
    const QByteArray raw = QFile::encodeName(dir) + "bad\xFF\xFEname.avi";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    // The name as a dropped path carries it: decoded, the bad bytes replaced, so it
    // no longer names the file and must be refused and counted, not skipped.
    const QString name = QFile::decodeName(QByteArray("bad\xFF\xFEname.avi"));
    MemoryFileList list;
    const AddFilesResult r = AddSourcePaths(list, { dir + name });
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(r.refused, 1);
    EXPECT_EQ(list.rowCount(), 0);
}
