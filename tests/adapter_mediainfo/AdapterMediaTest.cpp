// The MediaInfo adapter on freshly generated media: its reports must give the probe
// the same fields as the committed corpus.
#include "CorpusExpectations.h"

#include "probe/MediaReport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString env(const char *name, const char *fallback)
{
    const char *v = std::getenv(name);
    return QString::fromLocal8Bit(v && *v ? v : fallback);
}

QString adapterPath()
{
    return env("MARBLEWAY_BIN_DIR", "build/bin") + QStringLiteral("/tools/MediaInfo");
}

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
};

ToolRun runAdapter(const QStringList &args, const QString &workingDirectory)
{
    QProcess p;
    p.setWorkingDirectory(workingDirectory);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(adapterPath(), args);
    ToolRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    return r;
}

} // namespace

TEST(AdapterMedia, FreshReportsGiveTheProbeWhatEachFileIs)
{
    // One test, so the media are made once per run.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString script = env("MARBLEWAY_SOURCE_DIR", ".") + QStringLiteral("/scripts/make-probe-reports.sh");
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedChannels);
    gen.start(script, {QStringLiteral("--media"), dir.path()});
    ASSERT_TRUE(gen.waitForFinished(180000));
    ASSERT_EQ(gen.exitCode(), 0) << "media generation failed";
    // The corpus names every file the script makes.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), static_cast<qsizetype>(corpus::media().size()));

    for (const corpus::MediaExpect &e : corpus::media()) {
        const ToolRun r = runAdapter({QStringLiteral("-f"), QString::fromLatin1(e.file)}, dir.path());
        EXPECT_EQ(r.exitCode, 0) << e.file;
        MediaReport report(adapterPath(), dir.path() + QLatin1Char('/'));
        report.ReadReport(r.out);
        corpus::check(e, report);
    }

    // The whole probe: script, runner, adapter, report, parser.
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    for (const corpus::MediaExpect &e : corpus::media()) {
        if (std::string(e.file) != "mkv.mkv" && std::string(e.file) != "ogm.ogm")
            continue;
        MediaReport probed(adapterPath(), work.path() + QLatin1Char('/'));
        probed.Probe(dir.path() + QLatin1Char('/') + QLatin1String(e.file), QStringLiteral("en"));
        corpus::check(e, probed);
        EXPECT_EQ(probed.BestAudioTrack(), 1);
    }
    EXPECT_TRUE(QDir(work.path()).isEmpty());

    // An absolute path from elsewhere, and a name that looks like an option.
    ToolRun r = runAdapter({QStringLiteral("-f"), dir.path() + QStringLiteral("/mkv.mkv")}, QDir::rootPath());
    MediaReport report(adapterPath(), QString());
    report.ReadReport(r.out);
    EXPECT_EQ(report.iContainer, ContainerMkv);
    EXPECT_EQ(report.iAudioCount, 3);

    ASSERT_TRUE(QFile::copy(dir.path() + QStringLiteral("/avi_h264.avi"), dir.path() + QStringLiteral("/-x.avi")));
    r = runAdapter({QStringLiteral("-f"), QStringLiteral("-x.avi")}, dir.path());
    report.ReadReport(r.out);
    EXPECT_EQ(report.iContainer, ContainerAvi);
    EXPECT_EQ(report.iVideoFormat, VideoH264);
}

TEST(AdapterMedia, MissingFilesFoldersAndJunkGiveNoContainer)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QTemporaryDir *dir = &tmp;
    QDir(dir->path()).mkdir(QStringLiteral("folder.avi"));
    QFile inner(dir->path() + QStringLiteral("/folder.avi/inner.srt"));
    ASSERT_TRUE(inner.open(QIODevice::WriteOnly));
    inner.write("1\n00:00:01,000 --> 00:00:02,000\nHi\n\n");
    inner.close();
    QFile empty(dir->path() + QStringLiteral("/empty.avi"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile junk(dir->path() + QStringLiteral("/junk.mkv"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    QByteArray bytes(3000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
    junk.write(bytes);
    junk.close();

    for (const char *name : {"missing.avi", "folder.avi", "empty.avi", "junk.mkv"}) {
        const ToolRun r = runAdapter({QStringLiteral("-f"), QString::fromLatin1(name)}, dir->path());
        MediaReport report(adapterPath(), QString());
        report.ReadReport(r.out);
        EXPECT_EQ(report.iContainer, ContainerNone) << name;
        EXPECT_EQ(report.iAudioCount, 0) << name;
    }
    // mediainfo itself would report the files inside the folder.
    const ToolRun folder = runAdapter({QStringLiteral("-f"), QStringLiteral("folder.avi")}, dir->path());
    EXPECT_NE(folder.exitCode, 0);
    EXPECT_TRUE(folder.out.isEmpty());
}

TEST(AdapterMedia, OtherCallsPassThrough)
{
    const ToolRun r = runAdapter({QStringLiteral("--Version")}, QDir::tempPath());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("MediaInfoLib")) << r.out.constData();
}
