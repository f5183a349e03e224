// The picture of real-world sources comes out as the source shows it: a video that
// starts after its audio keeps its place whichever path made it, a turned phone video
// stays upright and unsquashed, variable frame rates keep their clock, profiles no
// device decodes are refused or re-encoded, 1080p gets its level, square pixels stay
// square, and one Flash job never picks up another's picture.
#include "E2eSupport.h"

#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <cmath>

using namespace e2e;

namespace {

double number(const QJsonObject &o, const char *key)
{
    const QJsonValue v = o.value(QString::fromLatin1(key));
    return v.isString() ? v.toString().toDouble() : v.toDouble();
}

// Where the stream's last frame ends on the file's clock, in seconds.
double streamEnd(const QJsonObject &s)
{
    return number(s, "start_time") + number(s, "duration");
}

struct Shown
{
    int width;
    int height;
};

Shown displayed(const QJsonObject &s)
{
    const int w = static_cast<int>(number(s, "width")), h = static_cast<int>(number(s, "height"));
    return std::abs(rotationOf(s)) % 180 == 90 ? Shown{ h, w } : Shown{ w, h };
}

bool done(const RunResult &r, const QString &source)
{
    const auto status = r.statusByPath();
    const auto it = status.find(source);
    return it != status.end() && it->second.startsWith(QStringLiteral("완료: "));
}

const QStringList kTestSine = { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=3" };

TEST(E2eVideoFaithful, VideoStartingAfterItsAudioIsDelayedOnceOnEveryPath)
{
    Sandbox box;
    // Video from 1 s to 3 s (an edit list), sound from 0 to 3 s.
    const QString plain = box.root() + QStringLiteral("/plain.mp4");
    ASSERT_TRUE(ffmpeg(QStringList{ "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=30:duration=2" } + kTestSine
                           + QStringList{ "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac" },
                       plain));
    const QString late = box.mediaDir() + QStringLiteral("/late video.mp4");
    ASSERT_TRUE(ffmpeg({ "-itsoffset", "1", "-i", plain, "-i", plain, "-map", "0:v", "-map", "1:a", "-c", "copy" }, late));
    const QJsonObject sourceVideo = firstStream(late, "video");
    ASSERT_NEAR(number(sourceVideo, "start_time"), 1.0, 0.01);

    const QString out = box.saveDir() + QStringLiteral("/[Qor] late video.mp4");
    for (const char *mode : { "1", "3" }) { // copied, re-encoded
        SCOPED_TRACE(mode);
        QFile::remove(out);
        const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", mode, "--device", "1", "--profile",
                                         "4", late });
        ASSERT_TRUE(done(r, late)) << r.err.toStdString();
        const QJsonObject v = firstStream(out, "video"), a = firstStream(out, "audio");
        // The picture ends with the sound, as in the source, not a second later.
        EXPECT_NEAR(streamEnd(v), 3.0, 0.1);
        EXPECT_NEAR(streamEnd(a), 3.0, 0.1);
        EXPECT_NEAR(number(a, "start_time"), 0.0, 0.05);
        // A copy starts the track 1 s in; a re-encode shows the first picture still until then.
        EXPECT_LE(number(v, "start_time"), 1.0 + 0.05);
    }
}

TEST(E2eVideoFaithful, TurnedPhoneVideoStaysUprightWhenReencoded)
{
    Sandbox box;
    // Stored as 320x180 landscape frames, shown turned a quarter: a 180x320 portrait.
    const QString stored = box.root() + QStringLiteral("/stored.mp4");
    ASSERT_TRUE(ffmpeg(QStringList{ "-f", "lavfi", "-i", "testsrc2=size=320x180:rate=30:duration=2" } + kTestSine
                           + QStringList{ "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac",
                                          "-shortest" },
                       stored));
    const QString phone = box.mediaDir() + QStringLiteral("/portrait.mp4");
    ASSERT_TRUE(ffmpeg({ "-i", stored, "-c", "copy", "-metadata:s:v:0", "rotate=90" }, phone));
    const Shown source = displayed(firstStream(phone, "video"));
    ASSERT_EQ(source.width, 180);
    ASSERT_EQ(source.height, 320);

    const QString out = box.saveDir() + QStringLiteral("/[Qor] portrait.mp4");
    // iPhone 3 scales to about 640x480 pixels within 720x576, iPhone 4 to at most 720 high.
    const struct
    {
        const char *mode;
        const char *device;
        Shown expected;
    } cases[] = { { "1", "1", { 180, 320 } }, { "3", "1", { 180, 320 } }, { "3", "0", { 324, 576 } } };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " / " + c.device);
        QFile::remove(out);
        const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", c.mode, "--device", c.device,
                                         "--profile", "4", "--par", "0", phone });
        ASSERT_TRUE(done(r, phone)) << r.err.toStdString();
        const QJsonObject v = firstStream(out, "video");
        const Shown shown = displayed(v);
        EXPECT_EQ(shown.width, c.expected.width);
        EXPECT_EQ(shown.height, c.expected.height);
        const QString sar = v.value(QStringLiteral("sample_aspect_ratio")).toString(QStringLiteral("1:1"));
        EXPECT_TRUE(sar == QStringLiteral("1:1") || sar == QStringLiteral("0:1")) << sar.toStdString();
    }
}

TEST(E2eVideoFaithful, SecondFlashJobGetsItsOwnPictureWithKeptTemporaryFiles)
{
    Sandbox box;
    const QString first = box.mediaDir() + QStringLiteral("/first.flv");
    const QString second = box.mediaDir() + QStringLiteral("/second.flv");
    for (const auto &[path, size] : { std::pair{ first, "160x120" }, std::pair{ second, "176x144" } }) {
        ASSERT_TRUE(ffmpeg(QStringList{ "-f", "lavfi", "-i", QStringLiteral("testsrc2=size=%1:rate=25:duration=2").arg(QLatin1String(size)) }
                               + kTestSine
                               + QStringList{ "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a",
                                              "aac", "-shortest" },
                           path));
    }
    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "1", "--keep-temp", first,
                                     second });
    ASSERT_TRUE(done(r, first)) << r.err.toStdString();
    ASSERT_TRUE(done(r, second)) << r.err.toStdString();
    const QJsonObject v1 = firstStream(box.saveDir() + QStringLiteral("/[Qor] first.mp4"), "video");
    const QJsonObject v2 = firstStream(box.saveDir() + QStringLiteral("/[Qor] second.mp4"), "video");
    EXPECT_EQ(number(v1, "width"), 160);
    EXPECT_EQ(number(v2, "width"), 176);
    EXPECT_EQ(number(v2, "height"), 144);
}

TEST(E2eVideoFaithful, VariableFrameRateVideoKeepsItsClock)
{
    Sandbox box;
    // 4 s: 30 frames a second for 2 s, then 10; no single frame rate to report. Its
    // subtitle track still has to be extracted.
    const QString srt = box.root() + QStringLiteral("/line.srt");
    {
        QFile f(srt);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("1\r\n00:00:00,500 --> 00:00:02,000\r\nHello\r\n\r\n");
    }
    const QString vfr = box.mediaDir() + QStringLiteral("/vfr.mkv");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=30:duration=4", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=4", "-i", srt, "-vf",
                         "select='lt(t,2)+not(mod(n,3))'", "-vsync", "vfr", "-c:v", "libx264", "-preset", "ultrafast",
                         "-pix_fmt", "yuv420p", "-c:a", "aac", "-c:s", "srt" },
                       vfr));
    const int sourceFrames = countVideoFrames(vfr);
    ASSERT_EQ(sourceFrames, 80);

    const QString out = box.saveDir() + QStringLiteral("/[Qor] vfr.mp4");
    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "1", vfr });
    ASSERT_TRUE(done(r, vfr)) << r.err.toStdString();
    const QJsonObject v = firstStream(out, "video"), a = firstStream(out, "audio");
    EXPECT_NEAR(streamEnd(v), 4.0, 0.25);
    EXPECT_NEAR(streamEnd(a), 4.0, 0.25);
    EXPECT_EQ(countVideoFrames(out), sourceFrames);
    EXPECT_EQ(streams(probe(out), QStringLiteral("subtitle")).size(), 1);
}

TEST(E2eVideoFaithful, ProfilesNoDeviceDecodesAreRefusedOrReencoded)
{
    Sandbox box;
    struct Source
    {
        const char *name;
        const char *pixelFormat;
        const char *profile; // as ffprobe names the source's
    };
    const Source sources[] = { { "hi444.mp4", "yuv444p", "High 4:4:4 Predictive" },
                               { "hi10.mkv", "yuv420p10le", "High 10" },
                               { "hi422.mkv", "yuv422p", "High 4:2:2" } };
    QStringList paths;
    for (const Source &s : sources) {
        const QString path = box.mediaDir() + QLatin1Char('/') + QLatin1String(s.name);
        ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i",
                             "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "libx264", "-preset", "ultrafast",
                             "-pix_fmt", s.pixelFormat, "-c:a", "aac" },
                           path));
        ASSERT_EQ(firstStream(path, "video").value(QStringLiteral("profile")).toString(), QLatin1String(s.profile));
        paths << path;
    }
    RunResult r = box.runCli(QStringList{ "--save-folder", box.saveDir(), "--mode", "1", "--device", "2" } + paths);
    for (const QString &p : paths) {
        EXPECT_EQ(r.statusByPath()[p], QStringLiteral("재생 불가 프로파일")) << p.toStdString();
        const QString out = box.saveDir() + QStringLiteral("/[Qor] ") + QFileInfo(p).completeBaseName() + QStringLiteral(".mp4");
        EXPECT_FALSE(QFile::exists(out));
    }
    r = box.runCli(QStringList{ "--save-folder", box.saveDir(), "--mode", "2", "--device", "2", "--profile", "4" } + paths);
    for (const QString &p : paths) {
        SCOPED_TRACE(p.toStdString());
        ASSERT_TRUE(done(r, p)) << r.err.toStdString();
        const QString out = box.saveDir() + QStringLiteral("/[Qor] ") + QFileInfo(p).completeBaseName() + QStringLiteral(".mp4");
        const QJsonObject v = firstStream(out, "video");
        EXPECT_EQ(v.value(QStringLiteral("pix_fmt")).toString(), QStringLiteral("yuv420p"));
        const QString profile = v.value(QStringLiteral("profile")).toString();
        EXPECT_TRUE(profile == QStringLiteral("Main") || profile == QStringLiteral("High")
                    || profile.endsWith(QStringLiteral("Baseline")))
            << profile.toStdString();
    }
}

TEST(E2eVideoFaithful, FullHdReencodeCarriesTheLevelItNeeds)
{
    Sandbox box;
    // MPEG-2 is re-encoded in mode 2; the iPhone 4S keeps 1080 lines.
    const QString src = box.mediaDir() + QStringLiteral("/full hd.mpg");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30:duration=1", "-c:v", "mpeg2video", "-b:v",
                         "8000k" },
                       src));
    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "2", "--device", "2", "--profile", "4", src });
    ASSERT_TRUE(done(r, src)) << r.err.toStdString();
    const QJsonObject v = firstStream(box.saveDir() + QStringLiteral("/[Qor] full hd.mp4"), "video");
    EXPECT_EQ(number(v, "width"), 1920);
    EXPECT_EQ(number(v, "height"), 1080);
    EXPECT_EQ(number(v, "level"), 40);
}

TEST(E2eVideoFaithful, SquarePixelsStaySquare)
{
    Sandbox box;
    const QString src = box.mediaDir() + QStringLiteral("/square.mp4");
    ASSERT_TRUE(ffmpeg(QStringList{ "-f", "lavfi", "-i", "testsrc2=size=854x480:rate=25:duration=2" } + kTestSine
                           + QStringList{ "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac",
                                          "-shortest" },
                       src));
    const QString out = box.saveDir() + QStringLiteral("/[Qor] square.mp4");
    for (const char *par : { "0", "1" }) { // keep the source's, force 1:1
        SCOPED_TRACE(par);
        QFile::remove(out);
        const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "1", "--device", "2", "--par", par, src });
        ASSERT_TRUE(done(r, src)) << r.err.toStdString();
        const QJsonObject v = firstStream(out, "video");
        EXPECT_EQ(v.value(QStringLiteral("sample_aspect_ratio")).toString(), QStringLiteral("1:1"));
        EXPECT_EQ(v.value(QStringLiteral("display_aspect_ratio")).toString(), QStringLiteral("427:240"));
    }
}

} // namespace
