// Re-encoding through marbleway-cli with the real tools: video the device cannot play
// (Windows Media, DivX 3, 4:4:4 Theora) and, in mode 3, copyable H.264 become two-pass H.264 at the
// device's size, bit-rate cap and level; deinterlacing removes combing; Stop during a
// pass ends the run and leaves no encoder behind.
#include "E2eSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>

using namespace e2e;

namespace {

int intField(const QJsonObject &o, const char *key)
{
    const QJsonValue v = o.value(QString::fromLatin1(key));
    return v.isString() ? v.toString().toInt() : v.toInt();
}

// Source with video that no device plays, generated into the sandbox.
QString makeDivx3(const Sandbox &box, const QString &name)
{
    const QString path = box.mediaDir() + QLatin1Char('/') + name;
    ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=176x144:rate=25:duration=2", "-f", "lavfi", "-i",
             "sine=frequency=440:sample_rate=44100:duration=2", "-c:v", "msmpeg4", "-vtag", "DIV3", "-b:v", "400k",
             "-c:a", "libmp3lame", "-b:a", "96k", "-ac", "2" },
           path);
    return path;
}

struct Expectation
{
    int width;
    int height;
    int level;
    int maxKbps; // the device's cap for the profile used
};

void expectH264(const QString &out, const Expectation &e)
{
    SCOPED_TRACE(out.toStdString());
    ASSERT_TRUE(QFile::exists(out));
    const QJsonObject v = firstStream(out, "video");
    EXPECT_EQ(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(intField(v, "width"), e.width);
    EXPECT_EQ(intField(v, "height"), e.height);
    EXPECT_EQ(intField(v, "level"), e.level);
    // Main profile at most: the devices below the iPhone 4S play no High profile.
    const QString profile = v.value(QStringLiteral("profile")).toString();
    EXPECT_TRUE(profile == QStringLiteral("Main") || profile.endsWith(QStringLiteral("Baseline"))) << profile.toStdString();
    EXPECT_EQ(v.value(QStringLiteral("pix_fmt")).toString(), QStringLiteral("yuv420p"));
    EXPECT_EQ(v.value(QStringLiteral("field_order")).toString(QStringLiteral("progressive")), QStringLiteral("progressive"));
    const int kbps = intField(v, "bit_rate") / 1000;
    EXPECT_GT(kbps, 0);
    // Two-pass rate control lands within a few percent of its target on a 2-second clip.
    EXPECT_LE(kbps, e.maxKbps * 105 / 100);
    const QJsonObject a = firstStream(out, "audio");
    EXPECT_EQ(a.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(a.value(QStringLiteral("profile")).toString(), QStringLiteral("LC"));
    EXPECT_GE(countVideoFrames(out), 48); // 2 s at 25 fps
}

TEST(E2eReencode, UnplayableVideoBecomesH264InModesTwoAndThree)
{
    Sandbox box;
    const QString wmv = box.addMedia(QStringLiteral("wmv_wmv2_wma.wmv"), QStringLiteral("windows media.wmv"));
    const QString divx = makeDivx3(box, QStringLiteral("divx three.avi"));
    ASSERT_TRUE(QFile::exists(divx));
    // 4:4:4 pictures, which Main profile cannot hold.
    const QString theora = box.addMedia(QStringLiteral("ogg_theora_vorbis.ogg"), QStringLiteral("theora 444.ogg"));
    const QByteArray wmvHash = fileHash(wmv), divxHash = fileHash(divx), theoraHash = fileHash(theora);

    for (const char *mode : { "2", "3" }) {
        SCOPED_TRACE(mode);
        // iPhone 4 keeps the small picture; Ultra Fast keeps the test quick.
        const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", mode, "--device", "1", "--profile",
                                         "4", "--log", wmv, divx, theora });
        const auto status = r.statusByPath();
        EXPECT_TRUE(status.at(wmv).startsWith(QStringLiteral("완료: "))) << status.at(wmv).toStdString() << r.err.toStdString();
        EXPECT_TRUE(status.at(divx).startsWith(QStringLiteral("완료: "))) << status.at(divx).toStdString();
        EXPECT_TRUE(status.at(theora).startsWith(QStringLiteral("완료: "))) << status.at(theora).toStdString();
        expectH264(box.saveDir() + QStringLiteral("/[Qor] windows media.mp4"), { 160, 120, 30, 3000 });
        expectH264(box.saveDir() + QStringLiteral("/[Qor] divx three.mp4"), { 176, 144, 30, 3000 });
        expectH264(box.saveDir() + QStringLiteral("/[Qor] theora 444.mp4"), { 160, 120, 30, 3000 });
        const QString log = box.diagnosticLog();
        EXPECT_TRUE(log.contains(QStringLiteral("Converting video to AVC pass2")));
        EXPECT_TRUE(log.contains(QStringLiteral(":fps=25.000:level=3.0")));
        EXPECT_TRUE(box.leftoverTempFiles().isEmpty()) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
        box.removeDiagnosticLog();
    }
    EXPECT_EQ(fileHash(wmv), wmvHash);
    EXPECT_EQ(fileHash(divx), divxHash);
    EXPECT_EQ(fileHash(theora), theoraHash);
}

TEST(E2eReencode, DeviceSizeAndLevelOfTheNewPicture)
{
    Sandbox box;
    // iPhone 3 scales every picture to about 640 x 480.
    const QString divx = makeDivx3(box, QStringLiteral("small.avi"));
    RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "2", "--device", "0", "--profile", "4", divx });
    ASSERT_TRUE(r.statusByPath()[divx].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    expectH264(box.saveDir() + QStringLiteral("/[Qor] small.mp4"), { 612, 500, 30, 2400 });

    // Mode 3 re-encodes H.264 that could have been copied; wider than 720 needs level 3.1.
    const QString wide = box.mediaDir() + QStringLiteral("/wide.mp4");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=768x432:rate=25:duration=2", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "libx264", "-preset", "ultrafast",
                         "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest" },
                       wide));
    // Slow, whose x264 preset alone would write High profile.
    r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "3", "--device", "2", "--profile", "0", "--log", wide });
    ASSERT_TRUE(r.statusByPath()[wide].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    expectH264(box.saveDir() + QStringLiteral("/[Qor] wide.mp4"), { 768, 432, 31, 3000 });
    EXPECT_TRUE(box.diagnosticLog().contains(QStringLiteral("Converting video to AVC pass1")));

    // Mode 2: H.264 beyond the iPhone 3's resolution is re-encoded instead of refused.
    const QString hd = box.mediaDir() + QStringLiteral("/hd.mkv");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25:duration=2", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "libx264", "-preset", "ultrafast",
                         "-pix_fmt", "yuv420p", "-c:a", "ac3", "-shortest" },
                       hd));
    r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "2", "--device", "0", "--profile", "4", hd });
    ASSERT_TRUE(r.statusByPath()[hd].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    expectH264(box.saveDir() + QStringLiteral("/[Qor] hd.mp4"), { 720, 404, 30, 2400 });
    // The source is far above the cap, so the encoder was given the cap and used it.
    EXPECT_GE(intField(firstStream(box.saveDir() + QStringLiteral("/[Qor] hd.mp4"), "video"), "bit_rate"), 2400000 * 8 / 10);
}

QString language(const QJsonObject &stream)
{
    return stream.value(QStringLiteral("tags")).toObject().value(QStringLiteral("language")).toString();
}

TEST(E2eReencode, SubtitleTracksOfReencodedSourcesReachTheOutput)
{
    Sandbox box;
    const QString mkv = box.addMedia(QStringLiteral("mkv_h264_multi.mkv"), QStringLiteral("with subs.mkv"));
    const QString mp4 = box.addMedia(QStringLiteral("mp4_h264_aac.mp4"), QStringLiteral("with text.mp4"));
    const RunResult r = box.runCli({ "--save-folder", box.saveDir(), "--mode", "3", "--device", "1", "--profile", "4",
                                     "--log", mkv, mp4 });
    const auto status = r.statusByPath();
    ASSERT_TRUE(status.at(mkv).startsWith(QStringLiteral("완료: "))) << status.at(mkv).toStdString() << r.err.toStdString();
    ASSERT_TRUE(status.at(mp4).startsWith(QStringLiteral("완료: "))) << status.at(mp4).toStdString();

    const QString mkvOut = box.saveDir() + QStringLiteral("/[Qor] with subs.mp4");
    EXPECT_EQ(firstStream(mkvOut, "video").value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    const QList<QJsonObject> mkvSubs = streams(probe(mkvOut), QStringLiteral("subtitle"));
    ASSERT_EQ(mkvSubs.size(), 2);
    EXPECT_EQ(mkvSubs[0].value(QStringLiteral("codec_name")).toString(), QStringLiteral("mov_text"));
    EXPECT_EQ(language(mkvSubs[0]), QStringLiteral("eng"));
    EXPECT_EQ(language(mkvSubs[1]), QStringLiteral("kor"));

    const QList<QJsonObject> mp4Subs = streams(probe(box.saveDir() + QStringLiteral("/[Qor] with text.mp4")), QStringLiteral("subtitle"));
    ASSERT_EQ(mp4Subs.size(), 1);
    EXPECT_EQ(language(mp4Subs[0]), QStringLiteral("kor"));

    const QString log = box.diagnosticLog();
    EXPECT_TRUE(log.contains(QStringLiteral("Extracting subtitle from MKV")));
    EXPECT_TRUE(log.contains(QStringLiteral("Extracting TTXT from MP4")));
    EXPECT_TRUE(box.leftoverTempFiles().isEmpty()) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
}

// Share of frames that ffmpeg's idet filter finds interlaced (combed).
double combedShare(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/ffmpeg"),
            { "-nostdin", "-hide_banner", "-i", file, "-vf", "idet", "-an", "-f", "null", "-" });
    p.waitForFinished(120000);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const QRegularExpression re(QStringLiteral("Multi frame detection: TFF:\\s*(\\d+) BFF:\\s*(\\d+) Progressive:\\s*(\\d+)"));
    const QRegularExpressionMatch m = re.match(err);
    if (!m.hasMatch())
        return -1;
    const double interlaced = m.captured(1).toDouble() + m.captured(2).toDouble();
    const double total = interlaced + m.captured(3).toDouble();
    return total > 0 ? interlaced / total : -1;
}

TEST(E2eReencode, DeinterlaceRemovesCombing)
{
    Sandbox box;
    // Two fields from different moments in every frame: moving content woven at 50 fields/s.
    const QString src = box.mediaDir() + QStringLiteral("/interlaced.mpg");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=50:duration=2", "-f", "lavfi", "-i",
                         "sine=frequency=440:sample_rate=48000:duration=2", "-vf", "tinterlace=mode=interleave_top",
                         "-c:v", "mpeg2video", "-flags", "+ilme+ildct", "-b:v", "3000k", "-c:a", "mp2" },
                       src));
    const QString out = box.saveDir() + QStringLiteral("/[Qor] interlaced.mp4");
    const QStringList common{ "--save-folder", box.saveDir(), "--mode", "2", "--device", "1", "--profile", "4" };

    RunResult r = box.runCli(common + QStringList{ src });
    ASSERT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    const double woven = combedShare(out);
    ASSERT_TRUE(QFile::remove(out));
    r = box.runCli(common + QStringList{ "--deinterlace", src });
    ASSERT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    const double deinterlaced = combedShare(out);
    EXPECT_EQ(firstStream(out, "video").value(QStringLiteral("field_order")).toString(QStringLiteral("progressive")),
              QStringLiteral("progressive"));
    EXPECT_GT(woven, 0.5);
    EXPECT_GE(deinterlaced, 0.0);
    EXPECT_LT(deinterlaced, 0.25); // yadif leaves a few frames that idet still calls combed
}

// Processes whose command line mentions text (other than this test itself).
QStringList processesMentioning(const QString &text)
{
    QStringList found;
    const QByteArray needle = text.toUtf8();
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        pid.toInt(&numeric);
        if (!numeric || pid.toLongLong() == QCoreApplication::applicationPid())
            continue;
        QFile f(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray cmd = f.readAll();
            if (cmd.contains(needle))
                found << pid + QLatin1Char(' ') + QString::fromUtf8(cmd).replace(QChar(0), QLatin1Char(' '));
        }
    }
    return found;
}

TEST(E2eReencode, StopDuringTheFirstPassLeavesNoEncoder)
{
    Sandbox box;
    // Long and slow enough that the first pass is still running when Stop comes.
    const QString src = box.mediaDir() + QStringLiteral("/long.mpg");
    ASSERT_TRUE(ffmpeg({ "-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25:duration=60", "-c:v", "mpeg2video",
                         "-b:v", "2000k" },
                       src));
    const QString second = box.addMedia(QStringLiteral("wmv_wmv2_wma.wmv"), QStringLiteral("next.wmv"));

    auto run = box.startCli({ "--save-folder", box.saveDir(), "--mode", "2", "--device", "0", "--profile", "0", "--log",
                              src, second });
    ASSERT_EQ(run->process.state(), QProcess::Running);

    // Wait for the encoder's first pass to show up, then press Stop (SIGINT).
    bool running = false;
    for (int i = 0; i < 600 && !running; ++i) {
        for (const QString &p : processesMentioning(box.tempDir()))
            running |= p.contains(QStringLiteral("-pass 1"));
        if (!running)
            QThread::msleep(100);
    }
    ASSERT_TRUE(running) << "the first pass never started";
    ::kill(static_cast<pid_t>(run->process.processId()), SIGINT);
    const RunResult r = box.finish(std::move(run), 60000);
    EXPECT_EQ(r.exitCode, 130) << r.err.toStdString();
    const QString &out = r.out;

    const QString log = box.diagnosticLog();
    EXPECT_TRUE(log.contains(QStringLiteral("Converting video stopped")));
    EXPECT_FALSE(log.contains(QStringLiteral("Converting video to AVC pass2")));
    EXPECT_TRUE(out.contains(QStringLiteral("중단")));
    // The second row was never started.
    EXPECT_FALSE(QFile::exists(box.saveDir() + QStringLiteral("/[Qor] next.mp4")));
    QThread::msleep(200);
    EXPECT_TRUE(processesMentioning(box.root()).isEmpty()) << processesMentioning(box.root()).join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(box.leftoverTempFiles().isEmpty()) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
}

} // namespace
