// Sound as real files carry it, converted end to end and read back from the finished MP4:
// phone AMR packed many frames to a sample, the second of two AVI tracks, three and four
// channels, a source with no picture, Stop in the middle of the mux, and a companion audio
// file with a delay in its name beside a video that has its own track.
#include "E2eSupport.h"

#include "../PackedAmr.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

QString sine(double seconds, int frequency, int rate, const QString &layout)
{
    return QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3,aformat=channel_layouts=%4")
        .arg(frequency)
        .arg(rate)
        .arg(seconds)
        .arg(layout);
}

QStringList picture(double seconds, int rate = 10)
{
    return { "-f", "lavfi", "-i", QStringLiteral("testsrc=size=176x144:rate=%1:duration=%2").arg(rate).arg(seconds) };
}

const QStringList kMpeg4 = { "-c:v", "mpeg4", "-q:v", "5" };

QJsonObject onlyAudio(const QString &file)
{
    const QList<QJsonObject> audio = streams(probe(file), QStringLiteral("audio"));
    return audio.size() == 1 ? audio.first() : QJsonObject();
}

double number(const QJsonObject &o, const char *key)
{
    return o.value(QLatin1String(key)).toString().toDouble();
}

// The first output of a run, "[Qor] base.mp4" in folder.
QString output(const QString &folder, const QString &base)
{
    return folder + QStringLiteral("/[Qor] ") + base + QStringLiteral(".mp4");
}

bool done(const QString &status)
{
    return status.startsWith(QStringLiteral("완료: "));
}

} // namespace

TEST(E2eSourceAudio, AmrPackedManyFramesToASampleKeepsAllItsSound)
{
    Sandbox box;
    const QString amr = box.root() + QStringLiteral("/sound.amr");
    const QString plain = box.root() + QStringLiteral("/plain.3gp");
    ASSERT_TRUE(packedamr::writeAmrFile(amr.toStdString(), 250)); // 5 s
    // Two pictures a second give chunks of 25 frames, which are packed ten to a sample.
    ASSERT_TRUE(ffmpeg(picture(5, 2) + QStringList{ "-i", amr, "-map", "0:v", "-map", "1:a" } + kMpeg4
                           + QStringList{ "-c:a", "copy" },
                       plain));
    const QString src = box.mediaDir() + QStringLiteral("/phone.3gp");
    ASSERT_EQ(packedamr::packAmrSamples(plain.toStdString(), src.toStdString(), 10), 10);
    const QJsonObject packed = onlyAudio(src);
    ASSERT_EQ(packed.value("codec_name").toString(), QStringLiteral("amr_nb"));
    ASSERT_NEAR(number(packed, "duration"), 5.0, 0.05);

    const RunResult r = box.runCli({ src });
    ASSERT_TRUE(done(r.statusByPath()[src])) << r.out.toStdString() << r.err.toStdString();
    const QJsonObject sound = onlyAudio(output(box.mediaDir(), QStringLiteral("phone")));
    EXPECT_EQ(sound.value("codec_name").toString(), QStringLiteral("aac"));
    EXPECT_NEAR(number(sound, "duration"), 5.0, 0.25);
}

TEST(E2eSourceAudio, TheChosenAviTrackIsTheOneMuxed)
{
    Sandbox box;
    // Track 1: MP3 stereo, 44.1 kHz, 3 s. Track 2: AC-3 5.1, 48 kHz, 2 s.
    const QString src = box.mediaDir() + QStringLiteral("/two tracks.avi");
    ASSERT_TRUE(ffmpeg(picture(3) + QStringList{ "-f", "lavfi", "-i", sine(3, 440, 44100, "stereo"), "-f", "lavfi",
                                                 "-i", sine(2, 1000, 48000, "5.1") }
                           + kMpeg4
                           + QStringList{ "-map", "0:v", "-map", "1:a", "-map", "2:a", "-c:a:0", "libmp3lame",
                                          "-c:a:1", "ac3", "-b:a:1", "192k" },
                       src));
    ASSERT_EQ(streams(probe(src), QStringLiteral("audio")).size(), 2);

    const struct
    {
        const char *language; // --audio-language: 7 is "#1", 8 is "#2"
        int rate;
        double seconds;
    } cases[] = { { "8", 48000, 2.0 }, { "7", 44100, 3.0 } };
    for (const auto &c : cases) {
        QFile::remove(output(box.saveDir(), QStringLiteral("two tracks")));
        const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--audio-language", c.language, src });
        ASSERT_TRUE(done(r.statusByPath()[src])) << c.language << r.err.toStdString();
        const QJsonObject sound = onlyAudio(output(box.saveDir(), QStringLiteral("two tracks")));
        EXPECT_EQ(sound.value("sample_rate").toString().toInt(), c.rate) << c.language;
        EXPECT_EQ(sound.value("channels").toInt(), 2) << c.language;
        EXPECT_NEAR(number(sound, "duration"), c.seconds, 0.25) << c.language;
    }
}

TEST(E2eSourceAudio, ThreeAndFourChannelsEndAsStereo)
{
    Sandbox box;
    // Quad AAC in MP4 (decoded, folded, re-encoded) and 3.0 PCM in Matroska (taken by the
    // converting extraction as it is, then folded).
    const struct
    {
        const char *name;
        const char *layout;
        QStringList codec;
    } cases[] = {
        { "quad.mp4", "quad", { "-c:a", "aac", "-b:a", "192k" } },
        { "three.mkv", "3.0", { "-c:a", "pcm_s16le" } },
    };
    for (const auto &c : cases) {
        const QString src = box.mediaDir() + QLatin1Char('/') + QLatin1String(c.name);
        ASSERT_TRUE(ffmpeg(picture(2) + QStringList{ "-f", "lavfi", "-i", sine(2, 440, 48000, c.layout) } + kMpeg4
                               + c.codec,
                           src));
        ASSERT_EQ(onlyAudio(src).value("channels").toInt(), QString::fromLatin1(c.layout) == "quad" ? 4 : 3);
        const RunResult r = box.runCli({ "--save-folder", box.saveDir(), src });
        ASSERT_TRUE(done(r.statusByPath()[src])) << c.name << r.err.toStdString();
        const QJsonObject sound = onlyAudio(output(box.saveDir(), QFileInfo(src).completeBaseName()));
        EXPECT_EQ(sound.value("codec_name").toString(), QStringLiteral("aac")) << c.name;
        EXPECT_EQ(sound.value("channels").toInt(), 2) << c.name;
        EXPECT_NEAR(number(sound, "duration"), 2.0, 0.25) << c.name;
    }
}

TEST(E2eSourceAudio, AudioOnlySourceIsRefusedInEveryMode)
{
    Sandbox box;
    const QString src = box.mediaDir() + QStringLiteral("/song.mkv");
    ASSERT_TRUE(ffmpeg(QStringList{ "-f", "lavfi", "-i", sine(2, 440, 48000, "stereo"), "-c:a", "aac" }, src));
    for (const char *mode : { "0", "1", "2", "3" }) {
        const RunResult r = box.runCli({ "--mode", mode, "--keep-temp", "--save-folder", box.saveDir(), src });
        EXPECT_EQ(r.statusByPath()[src], QStringLiteral("수용불가 비디오")) << mode;
        // Refused before any tool ran: no intermediate and no output.
        for (const QString &left : box.leftoverTempFiles())
            EXPECT_FALSE(left.contains(QLatin1String("audio")) || left.contains(QLatin1String(".aac"))
                         || left.contains(QLatin1String(".wav")))
                << mode << " " << left.toStdString();
        EXPECT_TRUE(QDir(box.saveDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty())
            << mode;
    }
}

TEST(E2eSourceAudio, StopDuringTheMuxLeavesNoFolderAndNoProcess)
{
    Sandbox box;
    const QString src = box.mediaDir() + QStringLiteral("/clip.mkv");
    ASSERT_TRUE(ffmpeg(picture(2) + QStringList{ "-f", "lavfi", "-i", sine(2, 440, 48000, "stereo") } + kMpeg4
                           + QStringList{ "-c:a", "aac" },
                       src));
    // The real MP4Box adapter muxes with an ffmpeg that never finishes; once the adapter has
    // made its temporary folder, the wrapper presses Stop (SIGINT to marbleway-cli).
    const QString program = box.root() + QStringLiteral("/program/");
    const QString tools = program + QStringLiteral("tools/");
    QDir().mkpath(tools);
    const QDir built(binDir() + QStringLiteral("/tools"));
    for (const QString &name : built.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (name != QLatin1String("MP4Box"))
            QFile::link(built.filePath(name), tools + name);
    }
    const QString marker = QStringLiteral("31.4159");
    const QString hangingFfmpeg = box.root() + QStringLiteral("/hanging-ffmpeg");
    const QString seen = box.root() + QStringLiteral("/folder seen");
    const QString scripts[][2] = {
        { hangingFfmpeg, QStringLiteral("#!/bin/sh\nexec sleep %1\n").arg(marker) },
        { tools + QStringLiteral("MP4Box"),
          QStringLiteral("#!/bin/sh\n"
                         "case \"$*\" in *-ipod*) ;; *) exec '%1' \"$@\" ;; esac\n"
                         "MARBLEWAY_SYSTEM_FFMPEG='%2' '%1' \"$@\" &\n"
                         "made() { for d in '%3'/.mp4box-* '%3'/*/.mp4box-* '%4'/.mp4box-*; do [ -d \"$d\" ] && return 0; done; return 1; }\n"
                         "i=0\n"
                         "while [ $i -lt 200 ] && ! made; do sleep 0.05; i=$((i+1)); done\n"
                         "made && : > '%5'\n"
                         "sleep 0.3\n"
                         "pid=$$\n"
                         "while [ \"$pid\" -gt 1 ]; do\n"
                         "  pid=$(sed -n 's/^PPid:[[:space:]]*//p' /proc/$pid/status)\n"
                         "  if [ \"$(cat /proc/$pid/comm)\" = marbleway-cli ]; then kill -INT $pid; break; fi\n"
                         "done\n"
                         "wait\n")
              .arg(built.filePath(QStringLiteral("MP4Box")), hangingFfmpeg, box.tempDir(), box.saveDir(), seen) },
    };
    for (const auto &s : scripts) {
        QFile f(s[0]);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(s[1].toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), src }, program, 120000);
    EXPECT_EQ(r.exitCode, 130) << r.err.toStdString();
    ASSERT_TRUE(QFile::exists(seen)) << "Stop came before the mux had made its temporary folder";
    EXPECT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("중단"))) << r.statusByPath()[src].toStdString();
    // Neither the adapter's temporary folder nor anything of the mux is left anywhere.
    for (const QString &folder : { box.saveDir(), box.mediaDir(), box.tempDir() }) {
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            EXPECT_FALSE(QFileInfo(path).fileName().startsWith(QLatin1String(".mp4box-"))) << path.toStdString();
            EXPECT_FALSE(path.endsWith(QLatin1String(".mp4")) && folder == box.saveDir()) << path.toStdString();
        }
    }
    // The tool and what it started are gone once the run has ended.
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (pid.toInt() > 0 && cmdline.open(QIODevice::ReadOnly)) {
            EXPECT_FALSE(cmdline.readAll().contains(marker.toUtf8())) << "process " << pid.toStdString() << " left";
        }
    }
}

TEST(E2eSourceAudio, CompanionAudioKeepsTheDelayInItsName)
{
    Sandbox box;
    // The AVI's own track: MP3, 44.1 kHz, 2 s. The companion: AC-3 5.1, 48 kHz, 1.5 s, to
    // start 300 ms before the picture.
    const QString src = box.mediaDir() + QStringLiteral("/movie.avi");
    ASSERT_TRUE(ffmpeg(picture(2) + QStringList{ "-f", "lavfi", "-i", sine(2, 440, 44100, "stereo") } + kMpeg4
                           + QStringList{ "-c:a", "libmp3lame" },
                       src));
    ASSERT_TRUE(ffmpeg(QStringList{ "-f", "lavfi", "-i", sine(1.5, 1000, 48000, "5.1"), "-c:a", "ac3" },
                       box.mediaDir() + QStringLiteral("/movie DELAY -300ms.ac3")));
    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), src });
    ASSERT_TRUE(done(r.statusByPath()[src])) << r.err.toStdString();
    const QString out = output(box.saveDir(), QStringLiteral("movie"));
    const QJsonObject sound = onlyAudio(out);
    EXPECT_EQ(sound.value("sample_rate").toString().toInt(), 48000);
    EXPECT_NEAR(number(sound, "duration"), 1.5, 0.25);
    // A sound 300 ms early is muxed as a picture 300 ms late.
    const QList<QJsonObject> video = streams(probe(out), QStringLiteral("video"));
    ASSERT_EQ(video.size(), 1);
    EXPECT_NEAR(number(video.first(), "start_time") - number(sound, "start_time"), 0.3, 0.05);
}
