// Every container the converter reads, through marbleway-cli with the real tools:
// the row's summary names the container and video format, and sources the device
// cannot play under "playable video only" are refused with the design's text.
#include "E2eSupport.h"

#include <QFile>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

struct Case
{
    const char *media;
    const char *summaryStart; // empty: refused
    const char *refusal;      // status text when refused
};

const Case kCases[] = {
    { "avi_mpeg4_mp3.avi", "AVI / MPEG4(160x120, 25fps", nullptr },
    { "avi_h264_ac3.avi", "AVI / H.264(160x120, 25fps", nullptr },
    { "mkv_h264_multi.mkv", "MKV / H.264(160x120, 25fps", nullptr },
    { "mkv_mpeg4_aac.mkv", "MKV / MPEG4(160x120, 25fps", nullptr },
    { "mp4_h264_aac.mp4", "MP4 / H.264(160x120, 25fps", nullptr },
    { "mov_h264_aac.mov", "QT / H.264(160x120, 25fps", nullptr },
    { "flv_h264_aac.flv", "FLV / H.264(160x120, 25fps", nullptr },
    { "ogm_h264_mp3.ogm", "OGM / H.264(160x120, 25fps", nullptr },
    { "3gp_h263_aac.3gp", nullptr, "수용불가 비디오" },
    { "swf_flv1_mp3.swf", nullptr, "수용불가 비디오" },
    { "ogg_theora_vorbis.ogg", nullptr, "수용불가 비디오" },
    { "mpeg_ps_mpeg2_mp2.mpg", nullptr, "수용불가 비디오" },
    { "wmv_wmv2_wma.wmv", nullptr, "수용불가 비디오" },
};

const QStringList kRefusals = { QStringLiteral("수용불가 비디오"), QStringLiteral("확장자 오류!"),
                                QStringLiteral("파일 읽기 오류"),  QStringLiteral("변환 불가 포맷"),
                                QStringLiteral("원본 읽기 오류!") };

TEST(E2eIdentify, EveryContainerIsRecognisedAndJudged)
{
    Sandbox box;
    QStringList files;
    std::map<QString, QByteArray> hashes;
    for (const Case &c : kCases) {
        const QString path = box.addMedia(QString::fromLatin1(c.media), QString::fromLatin1(c.media));
        ASSERT_TRUE(QFile::exists(path)) << c.media;
        files << path;
        hashes[path] = fileHash(path);
    }
    // Wrong extension, not media at all, and an empty file.
    const QString renamed = box.addMedia(QStringLiteral("mkv_h264_multi.mkv"), QStringLiteral("matroska.avi"));
    const QString text = box.mediaDir() + QStringLiteral("/not video.mkv");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a video file\n");
    }
    const QString empty = box.mediaDir() + QStringLiteral("/empty.mp4");
    QFile(empty).open(QIODevice::WriteOnly);
    files << renamed << text << empty;

    const RunResult r = box.runCli(QStringList{ QStringLiteral("--mode"), QStringLiteral("1"),
                                                QStringLiteral("--device"), QStringLiteral("1") }
                                   + files);
    ASSERT_NE(r.exitCode, -1) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString(); // some rows are refused
    const auto status = r.statusByPath();
    ASSERT_EQ(status.size(), static_cast<size_t>(files.size())) << r.out.toStdString();

    for (const Case &c : kCases) {
        const QString path = box.mediaDir() + QLatin1Char('/') + QString::fromLatin1(c.media);
        const QString s = status.at(path);
        if (c.refusal) {
            EXPECT_EQ(s, QString::fromUtf8(c.refusal)) << c.media;
        } else {
            EXPECT_FALSE(kRefusals.contains(s)) << c.media << ": " << s.toStdString();
            EXPECT_TRUE(r.err.contains(QStringLiteral("  ") + QString::fromUtf8(c.summaryStart)))
                << c.media << "\n" << r.err.toStdString();
        }
        EXPECT_EQ(fileHash(path), hashes[path]) << c.media << " was modified";
    }
    EXPECT_EQ(status.at(renamed), QStringLiteral("확장자 오류!"));
    EXPECT_EQ(status.at(text), QStringLiteral("파일 읽기 오류"));
    EXPECT_EQ(status.at(empty), QStringLiteral("파일 읽기 오류"));
}

TEST(E2eIdentify, ReencodingModeAcceptsWhatThePlayableModeRefuses)
{
    Sandbox box;
    const QString wmv = box.addMedia(QStringLiteral("wmv_wmv2_wma.wmv"), QStringLiteral("clip.wmv"));
    const QString mpg = box.addMedia(QStringLiteral("mpeg_ps_mpeg2_mp2.mpg"), QStringLiteral("clip.mpg"));
    // Mode 0 takes H.264/MPEG-4 without checks but still refuses other video.
    const RunResult r0 = box.runCli({ QStringLiteral("--mode"), QStringLiteral("0"), wmv, mpg });
    EXPECT_EQ(r0.statusByPath().at(wmv), QStringLiteral("수용불가 비디오"));
    EXPECT_TRUE(r0.err.contains(QStringLiteral("수용불가 비디오")));
}

TEST(E2eIdentify, WebmAndQuickTimeUnderMp4NamesAreConverted)
{
    Sandbox box;
    // What browsers and phones write: VP9/Opus WebM, and QuickTime-branded MP4.
    const QString webm = box.mediaDir() + QStringLiteral("/clip.webm");
    const QString phone = box.mediaDir() + QStringLiteral("/phone.mp4");
    const QStringList input = { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi",
                                "-i", "sine=frequency=440:sample_rate=48000", "-t", "2" };
    ASSERT_TRUE(ffmpeg(input + QStringList{ "-c:v", "libvpx-vp9", "-b:v", "100k", "-c:a", "libopus" }, webm));
    ASSERT_TRUE(ffmpeg(input + QStringList{ "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-f", "mov" },
                       phone));

    // Playable video only: the QuickTime file goes through; VP9 is no video the device plays.
    const RunResult r1 = box.runCli({ QStringLiteral("--mode"), QStringLiteral("1"), webm, phone });
    EXPECT_EQ(r1.statusByPath()[webm], QStringLiteral("수용불가 비디오")) << r1.err.toStdString();
    EXPECT_TRUE(r1.statusByPath()[phone].startsWith(QStringLiteral("완료"))) << r1.err.toStdString();
    EXPECT_TRUE(r1.err.contains(QStringLiteral("  QT / H.264(160x120, 25fps"))) << r1.err.toStdString();
    // Re-encoding when needed: the WebM becomes H.264 with its Opus sound as AAC.
    const RunResult r2 = box.runCli({ QStringLiteral("--mode"), QStringLiteral("2"), webm });
    EXPECT_TRUE(r2.statusByPath()[webm].startsWith(QStringLiteral("완료"))) << r2.err.toStdString();
    EXPECT_TRUE(r2.err.contains(QStringLiteral("  MKV / "))) << r2.err.toStdString();

    for (const QString &out : { QStringLiteral("/[Qor] clip.mp4"), QStringLiteral("/[Qor] phone.mp4") }) {
        SCOPED_TRACE(out.toStdString());
        const QJsonObject p = probe(box.mediaDir() + out);
        const QList<QJsonObject> video = streams(p, QStringLiteral("video"));
        const QList<QJsonObject> audio = streams(p, QStringLiteral("audio"));
        ASSERT_EQ(video.size(), 1);
        ASSERT_EQ(audio.size(), 1);
        EXPECT_EQ(video.first().value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
        EXPECT_EQ(audio.first().value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
        EXPECT_NEAR(audio.first().value(QStringLiteral("duration")).toString().toDouble(), 2.0, 0.15);
    }
}

} // namespace
