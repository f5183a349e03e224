// Today's iPhones and iPads (device 3): what they play is copied untouched, what they do
// not is re-encoded to H.264 High at its own size; the older devices keep their limits.
#include "E2eSupport.h"

#include <QJsonArray>
#include <QProcess>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

QString statusOf(const RunResult &r, const QString &source)
{
    const auto status = r.statusByPath();
    const auto it = status.find(source);
    return it == status.end() ? QString() : it->second;
}

// The sizes of the video packets in file order, as ffprobe reads them.
QList<int> videoPacketSizes(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), { "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=size", "-of",
                                         "csv=p=0", file });
    p.waitForFinished(60000);
    QList<int> sizes;
    // A transport stream's lines end with an empty side-data column ("16490,").
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QByteArray size = line.split(',').first().trimmed();
        if (!size.isEmpty())
            sizes << size.toInt();
    }
    return sizes;
}

TEST(E2eTodaysDevices, FullHdHighProfileIsCopiedForTodaysDevicesOnly)
{
    Sandbox box;
    const QString src = box.mediaDir() + QStringLiteral("/full hd.mkv");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25:duration=2", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "libx264", "-preset", "veryfast",
                         "-profile:v", "high", "-level", "4.1", "-pix_fmt", "yuv420p", "-ac", "6", "-c:a", "ac3" },
                       src));
    ASSERT_EQ(firstStream(src, "audio").value(QStringLiteral("channels")).toInt(), 6);

    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "3", src });
    EXPECT_TRUE(statusOf(r, src).startsWith(QStringLiteral("완료"))) << statusOf(r, src).toStdString() << r.err.toStdString();
    const QString out = box.saveDir() + QStringLiteral("/[Qor] full hd.mp4");
    const QJsonObject v = firstStream(out, "video"), a = firstStream(out, "audio");
    EXPECT_EQ(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(v.value(QStringLiteral("profile")).toString(), QStringLiteral("High"));
    EXPECT_EQ(v.value(QStringLiteral("level")).toInt(), 41);
    // The pictures are the source's own, packet for packet; the first one also carries the
    // parameter sets the raw stream repeats in front of it (a few dozen bytes).
    const QList<int> before = videoPacketSizes(src), after = videoPacketSizes(out);
    ASSERT_EQ(after.size(), 50);
    ASSERT_EQ(before.size(), 50);
    EXPECT_EQ(after.mid(1), before.mid(1));
    EXPECT_GE(after[0], before[0]);
    EXPECT_LE(after[0], before[0] + 64);
    EXPECT_EQ(a.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(a.value(QStringLiteral("channels")).toInt(), 2);

    // The iPhone 4 still refuses it in the same mode.
    const RunResult old = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "1", src });
    EXPECT_EQ(statusOf(old, src), QStringLiteral("720p 초과 H.264"));
}

TEST(E2eTodaysDevices, Vp9WebmIsReencodedToHighProfileAtItsOwnSizeAndRate)
{
    Sandbox box;
    const QString src = box.mediaDir() + QStringLiteral("/clip.webm");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=854x480:rate=50:duration=2", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "libvpx-vp9", "-deadline",
                         "realtime", "-cpu-used", "8", "-b:v", "1M", "-c:a", "libopus" },
                       src));
    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "2", "--device", "3", "--profile", "3", src });
    EXPECT_TRUE(statusOf(r, src).startsWith(QStringLiteral("완료"))) << statusOf(r, src).toStdString() << r.err.toStdString();
    const QString out = box.saveDir() + QStringLiteral("/[Qor] clip.mp4");
    const QJsonObject v = firstStream(out, "video"), a = firstStream(out, "audio");
    EXPECT_EQ(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(v.value(QStringLiteral("profile")).toString(), QStringLiteral("High"));
    EXPECT_EQ(v.value(QStringLiteral("pix_fmt")).toString(), QStringLiteral("yuv420p"));
    // 854 is made even, not scaled down to a device size; 50 frames a second stay 50.
    EXPECT_EQ(v.value(QStringLiteral("width")).toInt(), 854);
    EXPECT_EQ(v.value(QStringLiteral("height")).toInt(), 480);
    EXPECT_EQ(v.value(QStringLiteral("avg_frame_rate")).toString(), QStringLiteral("50/1"));
    EXPECT_EQ(a.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
}

TEST(E2eTodaysDevices, HevcMain10IsCopiedUnderTheHvc1Entry)
{
    Sandbox box;
    const QString src = box.mediaDir() + QStringLiteral("/phone hevc.mkv");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=30:duration=2", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "libx265", "-preset", "ultrafast",
                         "-pix_fmt", "yuv420p10le", "-x265-params", "log-level=error", "-c:a", "ac3" },
                       src));
    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "3", src });
    EXPECT_TRUE(statusOf(r, src).startsWith(QStringLiteral("완료"))) << statusOf(r, src).toStdString() << r.err.toStdString();
    const QString out = box.saveDir() + QStringLiteral("/[Qor] phone hevc.mp4");
    const QJsonObject v = firstStream(out, "video");
    EXPECT_EQ(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("hevc"));
    EXPECT_EQ(v.value(QStringLiteral("codec_tag_string")).toString(), QStringLiteral("hvc1"));
    EXPECT_EQ(v.value(QStringLiteral("profile")).toString(), QStringLiteral("Main 10"));
    const QList<int> before = videoPacketSizes(src), after = videoPacketSizes(out);
    ASSERT_EQ(after.size(), 60);
    EXPECT_EQ(after.mid(1), before.mid(1));
    EXPECT_EQ(firstStream(out, "audio").value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));

    // The iPhone 4S does not decode HEVC: refused in mode 1.
    const RunResult old = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "2", src });
    EXPECT_EQ(statusOf(old, src), QStringLiteral("수용불가 비디오"));
}

TEST(E2eTodaysDevices, TransportStreamStartingTenSecondsInIsCopiedInSync)
{
    Sandbox box;
    // A camcorder-style .m2ts whose clock starts at 10 s, with two AC-3 sound tracks: the
    // second one, chosen below, lasts 2 s instead of 3.
    const QString src = box.mediaDir() + QStringLiteral("/camera clip.m2ts");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25:duration=3", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=3", "-f", "lavfi", "-i",
                         "sine=frequency=880:sample_rate=48000:duration=2", "-map", "0:v", "-map", "1:a", "-map",
                         "2:a", "-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high", "-c:a", "ac3",
                         "-output_ts_offset", "10", "-mpegts_m2ts_mode", "1" },
                       src));
    const QJsonObject sv = firstStream(src, "video"), sa = firstStream(src, "audio");
    ASSERT_GT(sv.value(QStringLiteral("start_time")).toString().toDouble(), 10.0);
    const double sourceOffset = sv.value(QStringLiteral("start_time")).toString().toDouble()
        - sa.value(QStringLiteral("start_time")).toString().toDouble();

    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "3", "--audio-language",
                                     "8", src });
    EXPECT_TRUE(statusOf(r, src).startsWith(QStringLiteral("완료"))) << statusOf(r, src).toStdString() << r.err.toStdString();
    const QString out = box.saveDir() + QStringLiteral("/[Qor] camera clip.mp4");
    const QJsonObject v = firstStream(out, "video"), a = firstStream(out, "audio");
    // Copied: every packet, the same sizes (the first also carries the parameter sets).
    const QList<int> before = videoPacketSizes(src), after = videoPacketSizes(out);
    ASSERT_EQ(after.size(), 75);
    EXPECT_EQ(after.mid(1), before.mid(1));
    // Both tracks from the start of the file, the picture as far after the sound as in the source.
    const double videoStart = v.value(QStringLiteral("start_time")).toString().toDouble();
    const double audioStart = a.value(QStringLiteral("start_time")).toString().toDouble();
    EXPECT_LT(videoStart, 0.5);
    EXPECT_NEAR(videoStart - audioStart, sourceOffset, 0.03);
    EXPECT_NEAR(v.value(QStringLiteral("duration")).toString().toDouble(), 3.0, 0.1);
    EXPECT_NEAR(a.value(QStringLiteral("duration")).toString().toDouble(), 2.0, 0.1); // the chosen track
    EXPECT_EQ(a.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
}

TEST(E2eTodaysDevices, PortraitUhdAtSixtyFramesIsCopiedWithItsRotation)
{
    Sandbox box;
    // A phone's 4K60 portrait clip: landscape frames turned by 90 degrees.
    const QString stored = box.root() + QStringLiteral("/stored.mp4");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=3840x2160:rate=60:duration=1", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=1", "-c:v", "libx264", "-preset", "ultrafast",
                         "-pix_fmt", "yuv420p", "-c:a", "aac" },
                       stored));
    const QString src = box.mediaDir() + QStringLiteral("/IMG_0001.mov");
    ASSERT_TRUE(ffmpeg({ "-i", stored, "-c", "copy", "-metadata:s:v:0", "rotate=90" }, src));
    const int rotation = rotationOf(firstStream(src, "video"));
    ASSERT_NE(rotation, 0);

    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "3", src });
    EXPECT_TRUE(statusOf(r, src).startsWith(QStringLiteral("완료"))) << statusOf(r, src).toStdString() << r.err.toStdString();
    const QString out = box.saveDir() + QStringLiteral("/[Qor] IMG_0001.mp4");
    const QJsonObject v = firstStream(out, "video");
    EXPECT_EQ(v.value(QStringLiteral("width")).toInt(), 3840);
    EXPECT_EQ(v.value(QStringLiteral("height")).toInt(), 2160);
    EXPECT_EQ(v.value(QStringLiteral("avg_frame_rate")).toString(), QStringLiteral("60/1"));
    EXPECT_EQ(rotationOf(v), rotation);
    EXPECT_EQ(videoPacketSizes(out), videoPacketSizes(src));
}

} // namespace

// ffmpeg's idet over the decoded picture: {interlaced frames, progressive frames}.
static std::pair<int, int> combedAndProgressiveFrames(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), { "-hide_banner", "-i", file, "-vf", "idet", "-an", "-f", "null", "-" });
    p.waitForFinished(120000);
    const QString log = QString::fromUtf8(p.readAllStandardError());
    const qsizetype at = log.lastIndexOf(QStringLiteral("Multi frame detection:"));
    const QStringList words = log.mid(at).section(QLatin1Char('\n'), 0, 0).simplified().split(QLatin1Char(' '));
    auto after = [&words](const char *key) {
        const qsizetype i = words.indexOf(QString::fromLatin1(key));
        return i >= 0 && i + 1 < words.size() ? words[i + 1].toInt() : -1;
    };
    return { after("TFF:") + after("BFF:"), after("Progressive:") };
}

TEST(E2eTodaysDevices, InterlacedBroadcastTransportStreamIsDeinterlacedWithoutTheBox)
{
    Sandbox box;
    const QString src = box.mediaDir() + QStringLiteral("/broadcast.ts");
    // 1080i MPEG-2 with AC-3 5.1, fields from different instants, as a broadcast capture has them.
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=50:duration=1", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=1", "-vf", "tinterlace=interleave_top,setfield=tff",
                         "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-top", "1", "-b:v", "8M", "-c:a", "ac3", "-ac", "6",
                         "-f", "mpegts" },
                       src));
    const auto [sourceCombed, sourceProgressive] = combedAndProgressiveFrames(src);
    ASSERT_GT(sourceCombed, sourceProgressive) << "the test source should look interlaced";

    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "2", "--device", "3", "--profile", "3", src });
    EXPECT_TRUE(statusOf(r, src).startsWith(QStringLiteral("완료"))) << statusOf(r, src).toStdString() << r.err.toStdString();
    const QString out = box.saveDir() + QStringLiteral("/[Qor] broadcast.mp4");
    const QJsonObject v = firstStream(out, "video"), a = firstStream(out, "audio");
    EXPECT_EQ(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(v.value(QStringLiteral("profile")).toString(), QStringLiteral("High"));
    EXPECT_EQ(v.value(QStringLiteral("width")).toInt(), 1920);
    EXPECT_EQ(v.value(QStringLiteral("height")).toInt(), 1080);
    const auto [combed, progressive] = combedAndProgressiveFrames(out);
    EXPECT_GT(progressive, combed) << "interlaced frames were not deinterlaced";
    EXPECT_EQ(a.value(QStringLiteral("channels")).toInt(), 2);
}
