// Complete conversions with sound: the AAC track reaches the output, and a source
// whose audio runs past its video gets the delay-corrected "[Qor-DC] " file.
#include "E2eSupport.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

// 25 frames of 320x240 H.264 with AAC-LC stereo of audioSeconds. With a gap, the
// frames from the 13th on come 200 ms late, as in a variable-rate recording whose
// container still states 25 fps: copied at that rate the video ends early.
QString makeClip(const Sandbox &box, const QString &name, const QString &audioSeconds, bool gap = false)
{
    const QString path = box.mediaDir() + QLatin1Char('/') + name;
    QStringList timing;
    if (gap)
        timing = { QStringLiteral("-vf"), QStringLiteral("setpts=N/25/TB+gte(N\\,12)*0.2/TB"),
                   QStringLiteral("-fps_mode"), QStringLiteral("passthrough") };
    ffmpeg(QStringList{ QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("testsrc2=size=320x240:rate=25:duration=1"), QStringLiteral("-f"), QStringLiteral("lavfi"),
             QStringLiteral("-i"), QStringLiteral("sine=frequency=440:sample_rate=48000:duration=") + audioSeconds,
             QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
             QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
             QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("128k") }
               + timing,
           path);
    return path;
}

double startOf(const QString &file, const QString &kind)
{
    const QList<QJsonObject> s = streams(probe(file), kind);
    return s.isEmpty() ? -1.0 : s.first().value(QStringLiteral("start_time")).toString().toDouble();
}

TEST(E2eMuxAudio, CopiedVideoWithAacAudio)
{
    Sandbox box;
    const QString src = makeClip(box, QStringLiteral("with sound.mkv"), QStringLiteral("1"));
    const QByteArray hash = fileHash(src);
    const RunResult r = box.runCli({ src });
    ASSERT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    const QString out = box.mediaDir() + QStringLiteral("/[Qor] with sound.mp4");
    const QJsonObject p = probe(out);
    const QList<QJsonObject> audio = streams(p, QStringLiteral("audio"));
    ASSERT_EQ(audio.size(), 1);
    EXPECT_EQ(audio.first().value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(audio.first().value(QStringLiteral("channels")).toInt(), 2);
    ASSERT_EQ(streams(p, QStringLiteral("video")).size(), 1);
    EXPECT_EQ(countVideoFrames(out), 25);
    EXPECT_EQ(fileHash(src), hash);
}

TEST(E2eMuxAudio, AudioPastTheVideoGetsTheCorrectedFile)
{
    Sandbox box;
    const QString src = makeClip(box, QStringLiteral("late.mkv"), QStringLiteral("1.5"), true);
    const QString first = box.saveDir() + QStringLiteral("/[Qor] late.mp4");
    const QString dc = box.saveDir() + QStringLiteral("/[Qor-DC] late.mp4");

    RunResult r = box.runCli({ QStringLiteral("--save-folder"), box.saveDir(), QStringLiteral("--create-dc"), src });
    ASSERT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    ASSERT_TRUE(QFile::exists(first));
    ASSERT_TRUE(QFile::exists(dc));
    // The first output starts both tracks together; the corrected one delays the video
    // by the audio's surplus, about half a second.
    EXPECT_NEAR(startOf(first, QStringLiteral("video")) - startOf(first, QStringLiteral("audio")), 0.0, 0.05);
    EXPECT_NEAR(startOf(dc, QStringLiteral("video")) - startOf(dc, QStringLiteral("audio")), 0.5, 0.1);

    // "DC→ Qor 덮어쓰기": the corrected file takes the first one's name.
    QFile::remove(first);
    QFile::remove(dc);
    r = box.runCli({ QStringLiteral("--save-folder"), box.saveDir(), QStringLiteral("--create-dc"),
                     QStringLiteral("--overwrite-dc"), src });
    ASSERT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dc));
    ASSERT_TRUE(QFile::exists(first));
    EXPECT_NEAR(startOf(first, QStringLiteral("video")) - startOf(first, QStringLiteral("audio")), 0.5, 0.1);
}

} // namespace
