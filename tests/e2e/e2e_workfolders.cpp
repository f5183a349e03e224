// Where runs keep their intermediate files: several marbleway-cli runs at once in the
// default temporary folder, each with its own work folder, and folders that are not the
// user's own refused without being touched.
#include "E2eSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace e2e;

namespace {

struct Source
{
    QString path;
    int width, sampleRate;
    double seconds;
};

double duration(const QJsonObject &stream)
{
    return stream.value(QStringLiteral("duration")).toString().toDouble();
}

// The output made from s in folder (named after it, or name) has s's picture width,
// sample rate and length.
void expectOwnSoundAndPicture(const Source &s, const QString &folder, const QString &name = QString())
{
    const QJsonObject out = probe(folder + QLatin1Char('/')
                                  + (name.isEmpty() ? QStringLiteral("[Qor] ") + QFileInfo(s.path).completeBaseName()
                                                          + QStringLiteral(".mp4")
                                                    : name));
    const QList<QJsonObject> video = streams(out, QStringLiteral("video"));
    const QList<QJsonObject> audio = streams(out, QStringLiteral("audio"));
    ASSERT_EQ(video.size(), 1);
    ASSERT_EQ(audio.size(), 1);
    EXPECT_EQ(video.first().value(QStringLiteral("width")).toInt(), s.width);
    EXPECT_NEAR(duration(video.first()), s.seconds, 0.1);
    EXPECT_EQ(audio.first().value(QStringLiteral("sample_rate")).toString().toInt(), s.sampleRate);
    EXPECT_NEAR(duration(audio.first()), s.seconds, 0.2);
}

bool makeSource(const Source &s)
{
    return ffmpeg({ "-f", "lavfi", "-i", QStringLiteral("testsrc=size=%1x%2:rate=25").arg(s.width).arg(s.width * 3 / 4),
                    "-f", "lavfi", "-i", QStringLiteral("sine=frequency=440:sample_rate=%1").arg(s.sampleRate), "-t",
                    QString::number(s.seconds), "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac" },
                  s.path);
}

TEST(E2eWorkFolders, ParallelRunsInTheDefaultFolderEachKeepTheirOwnSoundAndPicture)
{
    Sandbox box;
    box.useDefaultTempFolder();
    // Two different sources, and each once more in a folder of its own.
    const Source made[] = {
        { box.mediaDir() + QStringLiteral("/long.mp4"), 320, 44100, 6.0 },
        { box.mediaDir() + QStringLiteral("/short.mkv"), 160, 22050, 3.0 },
    };
    for (const Source &s : made)
        ASSERT_TRUE(makeSource(s));
    std::vector<Source> sources(std::begin(made), std::end(made));
    for (const Source &s : made) {
        const QString copy = box.mediaDir() + QStringLiteral("/again/") + QFileInfo(s.path).fileName();
        QDir().mkpath(QFileInfo(copy).path());
        ASSERT_TRUE(QFile::copy(s.path, copy));
        sources.push_back({ copy, s.width, s.sampleRate, s.seconds });
    }

    std::vector<std::unique_ptr<Sandbox::Running>> runs;
    for (const Source &s : sources)
        runs.push_back(box.startCli({ QStringLiteral("--save-folder"), QFileInfo(s.path).path(), s.path }));
    for (size_t i = 0; i < runs.size(); ++i) {
        const Source &s = sources[i];
        SCOPED_TRACE(s.path.toStdString());
        const RunResult r = box.finish(std::move(runs[i]));
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.statusByPath()[s.path].startsWith(QStringLiteral("완료"))) << r.err.toStdString();
        expectOwnSoundAndPicture(s, QFileInfo(s.path).path());
    }
    // The default folder is the user's alone, and every run took its work folder away.
    const QString folder = box.cacheDir() + QStringLiteral("/marbleway");
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x7077,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TEST(E2eWorkFolders, JobsSideBySideIntoOneFolderEachKeepTheirOwnSoundAndPicture)
{
    Sandbox box;
    const Source sources[] = {
        { box.mediaDir() + QStringLiteral("/a.mp4"), 320, 44100, 4.0 },
        { box.mediaDir() + QStringLiteral("/b.mkv"), 160, 22050, 2.0 },
        { box.mediaDir() + QStringLiteral("/c.mp4"), 240, 32000, 3.0 },
        // Named like another: its output takes a numbered name rather than replace that one's.
        { box.mediaDir() + QStringLiteral("/b.mp4"), 192, 48000, 1.0 },
    };
    const QString names[] = { "[Qor] a.mp4", "[Qor] b.mp4", "[Qor] c.mp4", "[Qor] b (2).mp4" };
    QStringList args = { QStringLiteral("--jobs"), QString::number(qMin(2, int(sysconf(_SC_NPROCESSORS_ONLN)))),
                         QStringLiteral("--save-folder"), box.saveDir() };
    for (const Source &s : sources) {
        ASSERT_TRUE(makeSource(s));
        args << s.path;
    }
    const RunResult r = box.runCli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (size_t i = 0; i < std::size(sources); ++i) {
        const Source &s = sources[i];
        SCOPED_TRACE(s.path.toStdString());
        EXPECT_TRUE(r.statusByPath()[s.path].startsWith(QStringLiteral("완료"))) << r.err.toStdString();
        expectOwnSoundAndPicture(s, box.saveDir(), names[i]);
    }
    // The results' lines keep the list's order, whatever order the rows ended in.
    QStringList listed;
    for (const QString &line : QString(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        listed << line.section(QLatin1Char('\t'), 1);
    EXPECT_EQ(listed, QStringList({ sources[0].path, sources[1].path, sources[2].path, sources[3].path }));
    // Every job took an in-progress name of its own and none is left.
    EXPECT_EQ(QDir(box.saveDir()).entryList(QDir::Files).filter(QStringLiteral("progressing")), QStringList());
    EXPECT_EQ(QDir(box.tempDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TEST(E2eWorkFolders, FoldersOfOthersAreRefusedWithoutTouchingThem)
{
    Sandbox box;
    const QString source = box.addMedia(QStringLiteral("mp4_h264_aac.mp4"), QStringLiteral("clip.mp4"));
    // Folders holding files under the names the stages write.
    auto planted = [&](const QString &name) {
        const QString folder = box.root() + QLatin1Char('/') + name;
        QDir().mkpath(folder);
        for (const char *file : { "temp.aac", "extractedaudio.wav", "runapp.cmd" }) {
            QFile f(folder + QLatin1Char('/') + QLatin1String(file));
            f.open(QIODevice::WriteOnly);
            f.write("not yours");
        }
        return folder;
    };
    auto contents = [](const QString &folder) {
        QStringList out;
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            out << name + QLatin1Char('=') + QString::fromLatin1(fileHash(dir.filePath(name)));
        return out;
    };
    const QString others = planted(QStringLiteral("Qor"));
    ASSERT_EQ(chown(QFile::encodeName(others).constData(), getuid() + 4242, getgid()), 0);
    const QString victim = planted(QStringLiteral("victim"));
    ASSERT_TRUE(QFile::link(victim, box.root() + QStringLiteral("/link")));
    const QStringList othersBefore = contents(others), victimBefore = contents(victim);

    struct Case
    {
        QString folder;
        const char *message;
    };
    const Case cases[] = {
        { others, "임시폴더의 소유자가 다른 사용자라서 사용하지 않음: " },
        { box.root() + QStringLiteral("/link"), "임시폴더가 심볼릭 링크라서 사용하지 않음: " },
    };
    for (const Case &c : cases) {
        const RunResult r = box.runCli({ QStringLiteral("--temp-folder"), c.folder, source });
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message) + c.folder)) << r.err.toStdString();
        EXPECT_TRUE(r.statusByPath().empty());
    }
    // The default folder planted as a link by someone else: refused too.
    QDir(box.cacheDir() + QStringLiteral("/marbleway")).removeRecursively();
    ASSERT_TRUE(QFile::link(victim, box.cacheDir() + QStringLiteral("/marbleway")));
    box.useDefaultTempFolder();
    const RunResult r = box.runCli({ source });
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("임시폴더가 심볼릭 링크라서 사용하지 않음: ") + box.cacheDir()
                               + QStringLiteral("/marbleway")))
        << r.err.toStdString();

    EXPECT_EQ(contents(others), othersBefore);
    EXPECT_EQ(contents(victim), victimBefore);
    EXPECT_FALSE(QFileInfo::exists(box.mediaDir() + QStringLiteral("/[Qor] clip.mp4")));
}

} // namespace
