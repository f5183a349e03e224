// Probe end to end with a stand-in MediaInfo: a small script that records how it was
// called and prints a canned report.
#include "probe/MediaReport.h"

#include "ReportBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "../QtPrinters.h"

#include <gtest/gtest.h>

using namespace reports;

namespace {

class FakeMediaInfo
{
public:
    FakeMediaInfo()
    {
        EXPECT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("tools"));
        QDir(m_dir.path()).mkpath(QStringLiteral("work"));
        m_tool = m_dir.path() + QStringLiteral("/tools/MediaInfo");
        QFile tool(m_tool);
        EXPECT_TRUE(tool.open(QIODevice::WriteOnly));
        // Keeps a copy of the script it was started from, one line per argument, and
        // prints the canned report.
        tool.write("#!/bin/sh\n"
                   "cp \"" + workFolder().toUtf8() + "getinfo.cmd\" \"" + m_dir.path().toUtf8() + "/script.seen\"\n"
                   "printf '%s\\n' \"$@\" > \"" + m_dir.path().toUtf8() + "/args.seen\"\n"
                   "cat \"" + m_dir.path().toUtf8() + "/canned.txt\"\n");
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setReport(QByteArray());
    }

    void setReport(const QByteArray &report)
    {
        QFile f(m_dir.path() + QStringLiteral("/canned.txt"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(report);
    }

    QString toolPath() const { return m_tool; }
    QString workFolder() const { return m_dir.path() + QStringLiteral("/work/"); }
    QString root() const { return m_dir.path(); }

    QByteArray seen(const char *name) const
    {
        QFile f(m_dir.path() + QLatin1Char('/') + QLatin1String(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void forget() const
    {
        QFile::remove(m_dir.path() + QStringLiteral("/args.seen"));
        QFile::remove(m_dir.path() + QStringLiteral("/script.seen"));
    }

private:
    QTemporaryDir m_dir;
    QString m_tool;
};

QByteArray twoTracks()
{
    return general("Matroska") + section("Video", {{"ID", "1"}, {"Format", "AVC"}, {"Width", "640"}})
           + section("Audio #1", {{"ID", "2"}, {"Format", "AC-3"}, {"Language", "ko"}})
           + section("Audio #2", {{"ID", "3"}, {"Format", "AAC"}, {"Language", "en"}});
}

} // namespace

TEST(MediaReportProbe, RunsTheToolThroughTheScriptAndCleansUp)
{
    FakeMediaInfo fake;
    fake.setReport(twoTracks());
    const QString source = fake.root() + QString::fromUtf8("/내 영화 (2011) [720p].mkv");
    QFile(source).open(QIODevice::WriteOnly);

    MediaReport r(fake.toolPath(), fake.workFolder());
    r.Probe(source, QStringLiteral("en"));
    EXPECT_EQ(r.strProbedPath, source);
    EXPECT_EQ(r.iContainer, ContainerMkv);
    EXPECT_EQ(r.iVideoID, 1);
    ASSERT_EQ(r.iAudioCount, 2);
    EXPECT_EQ(r.audio[0].iPriority, 84);
    EXPECT_EQ(r.audio[1].iPriority, 97);

    // The tool got exactly "-f" and the path; the report went to mediainfo.txt through
    // the redirection of the script line.
    EXPECT_EQ(fake.seen("args.seen"), "-f\n" + source.toUtf8() + "\n");
    const QByteArray expectedScript = "@echo off\r\nchcp 949\r\n\"" + fake.toolPath().toUtf8() + "\" -f \"" + source.toUtf8()
                                      + "\" > \"" + fake.workFolder().toUtf8() + "mediainfo.txt\"\r\n";
    EXPECT_EQ(fake.seen("script.seen"), expectedScript);
    // Neither the script nor the report is left behind; the source is untouched.
    EXPECT_EQ(QDir(fake.workFolder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    EXPECT_TRUE(QFile::exists(source));
    EXPECT_EQ(QFile(source).size(), 0);

    // A second probe replaces every result.
    fake.setReport(general("ADTS") + section("Audio", {{"Format", "AAC"}, {"Format profile", "LC"}}));
    r.Probe(fake.root() + QStringLiteral("/final.aac"));
    EXPECT_EQ(r.iContainer, ContainerUnknown);
    EXPECT_EQ(r.iVideoID, -1);
    EXPECT_EQ(r.iWidth, 0);
    ASSERT_EQ(r.iAudioCount, 1);
    EXPECT_TRUE(r.audio[0].bLC);
    EXPECT_EQ(r.audio[0].iPriority, 7);
}

TEST(MediaReportProbe, NothingUsableWhenTheToolGivesNothing)
{
    FakeMediaInfo fake;
    MediaReport r(fake.toolPath(), fake.workFolder());
    r.Probe(fake.root() + QStringLiteral("/missing.avi"));
    EXPECT_EQ(r.iContainer, ContainerNone);
    EXPECT_EQ(r.iAudioCount, 0);

    // A tool that cannot be started leaves no report, and a report left over from
    // an earlier run is not taken for this file's.
    QFile stale(fake.workFolder() + QStringLiteral("mediainfo.txt"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(twoTracks());
    stale.close();
    MediaReport broken(fake.root() + QStringLiteral("/tools/NoSuchTool"), fake.workFolder());
    broken.Probe(fake.root() + QStringLiteral("/clip.mkv"));
    EXPECT_EQ(broken.iContainer, ContainerNone);
    EXPECT_EQ(broken.iAudioCount, 0);
    EXPECT_EQ(QDir(fake.workFolder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

TEST(MediaReportProbe, RefusesWhatCannotBeRunSafely)
{
    FakeMediaInfo fake;
    fake.setReport(twoTracks());

    // A tool path without a folder: nothing is written or run.
    MediaReport bare(QStringLiteral("MediaInfo"), fake.workFolder());
    bare.Probe(fake.root() + QStringLiteral("/a.mkv"));
    EXPECT_EQ(bare.iContainer, ContainerNone);
    EXPECT_EQ(bare.strProbedPath, fake.root() + QStringLiteral("/a.mkv"));
    MediaReport empty(QString(), fake.workFolder());
    empty.Probe(fake.root() + QStringLiteral("/a.mkv"));
    EXPECT_EQ(empty.iContainer, ContainerNone);

    // Names that would change the script line.
    MediaReport r(fake.toolPath(), fake.workFolder());
    for (const QString &bad : {fake.root() + QStringLiteral("/a\" > \"/tmp/x.mkv"), fake.root() + QStringLiteral("/a\nb.mkv")}) {
        fake.forget();
        r.Probe(bad);
        EXPECT_EQ(r.iContainer, ContainerNone);
        EXPECT_TRUE(fake.seen("args.seen").isEmpty());
    }
    EXPECT_EQ(QDir(fake.workFolder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());

    // The same object probes normally afterwards.
    r.Probe(fake.root() + QStringLiteral("/a.mkv"));
    EXPECT_EQ(r.iContainer, ContainerMkv);
    EXPECT_EQ(r.BestAudioTrack(), 1);
}
