// Complete conversions through marbleway-cli with the real tools: every container
// whose video is copied ends as an iPod-flagged MP4 that holds the same video
// (codec, frames, size) and the expected H.264 level; the sources stay untouched.
#include "E2eSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

struct CopyCase
{
    const char *media;
    const char *asName;
};

// Every copy path: AVI H.264 (raw stream) and MPEG-4 (by reference), MKV H.264 and
// MPEG-4, MP4 and QuickTime by reference, FLV through ffmpeg, OGM in one and two steps.
const CopyCase kCopyCases[] = {
    { "avi_h264_ac3.avi", "avi h264.avi" },       { "avi_mpeg4_mp3.avi", "avi mpeg4.avi" },
    { "mkv_h264_multi.mkv", "mkv h264.mkv" },     { "mkv_mpeg4_aac.mkv", "mkv mpeg4.mkv" },
    { "mp4_h264_aac.mp4", "mp4 h264.mp4" },       { "mov_h264_aac.mov", "qt h264.mov" },
    { "flv_h264_aac.flv", "flv h264.flv" },       { "ogm_h264_mp3.ogm", "ogm h264.ogm" },
    { "ogm_mpeg4_vorbis.ogm", "ogm mpeg4.ogm" },
};

QString baseOf(const char *name)
{
    QString s = QString::fromLatin1(name);
    return s.left(s.lastIndexOf(QLatin1Char('.')));
}

QJsonObject firstVideo(const QString &file)
{
    const QList<QJsonObject> v = streams(probe(file), QStringLiteral("video"));
    return v.isEmpty() ? QJsonObject() : v.first();
}

QString brand(const QString &file)
{
    return probe(file).value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject()
        .value(QStringLiteral("major_brand")).toString();
}

TEST(E2eMux, EveryCopyPathKeepsTheVideoAndTheSound)
{
    Sandbox box;
    QStringList files;
    std::map<QString, QByteArray> hashes;
    for (const CopyCase &c : kCopyCases) {
        const QString path = box.addMedia(QString::fromLatin1(c.media), QString::fromLatin1(c.asName));
        ASSERT_TRUE(QFile::exists(path)) << c.media;
        files << path;
        hashes[path] = fileHash(path);
    }
    const RunResult r = box.runCli(QStringList{ QStringLiteral("--save-folder"), box.saveDir() } + files);
    ASSERT_NE(r.exitCode, -1) << r.err.toStdString();
    const auto status = r.statusByPath();
    for (const CopyCase &c : kCopyCases) {
        SCOPED_TRACE(c.media);
        const QString src = box.mediaDir() + QLatin1Char('/') + QString::fromLatin1(c.asName);
        EXPECT_TRUE(status.at(src).startsWith(QStringLiteral("완료: "))) << status.at(src).toStdString() << "\n"
                                                                          << r.err.toStdString();
        const QString out = box.saveDir() + QStringLiteral("/[Qor] ") + baseOf(c.asName) + QStringLiteral(".mp4");
        ASSERT_TRUE(QFile::exists(out));
        const QJsonObject sv = firstVideo(src), ov = firstVideo(out);
        EXPECT_EQ(ov.value(QStringLiteral("codec_name")), sv.value(QStringLiteral("codec_name")));
        EXPECT_EQ(ov.value(QStringLiteral("width")), sv.value(QStringLiteral("width")));
        EXPECT_EQ(ov.value(QStringLiteral("height")), sv.value(QStringLiteral("height")));
        EXPECT_EQ(countVideoFrames(out), countVideoFrames(src));
        EXPECT_EQ(brand(out), QStringLiteral("M4V ")); // the device flag
        if (sv.value(QStringLiteral("codec_name")).toString() == QStringLiteral("h264")) {
            EXPECT_EQ(ov.value(QStringLiteral("level")).toInt(), 30); // 160x120 at 25 fps
        }
        // The sound comes along on every path, as AAC.
        if (!streams(probe(src), QStringLiteral("audio")).isEmpty()) {
            const QList<QJsonObject> oa = streams(probe(out), QStringLiteral("audio"));
            ASSERT_EQ(oa.size(), 1) << "no audio in the output";
            EXPECT_EQ(oa.first().value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
        }
        EXPECT_EQ(fileHash(src), hashes[src]) << "source modified";
    }
    EXPECT_TRUE(box.leftoverTempFiles().isEmpty()) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(QFile::exists(box.saveDir() + QStringLiteral("/progressing.mp4")));
}

TEST(E2eMux, VideoIsTakenOutWhileTheSoundIsEncoded)
{
    Sandbox box;
    // The real tools, but an AAC encoder that starts only once the copied video stream is
    // out: with the extraction waiting for the encoder, as the steps' order has it, the
    // sound would be lost.
    const QString prog = box.root() + QStringLiteral("/prog/");
    const QString real = binDir() + QStringLiteral("/tools/");
    QDir().mkpath(prog + QStringLiteral("tools"));
    for (const QString &entry : QDir(real).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        QFile::link(real + entry, prog + QStringLiteral("tools/") + entry);
    const QString encoder = prog + QStringLiteral("tools/neroAacEnc");
    QFile::remove(encoder);
    QFile script(encoder);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\n"
                                "for i in $(seq 200); do\n"
                                "  for f in \"$TMPDIR/temp.h264\" \"$TMPDIR/temp_video.h264\"; do\n"
                                "    [ -s \"$f\" ] && exec '%1neroAacEnc' \"$@\"\n"
                                "  done\n"
                                "  sleep 0.05\n"
                                "done\n"
                                "exit 1\n")
                     .arg(real)
                     .toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);

    const QStringList files = { box.addMedia(QStringLiteral("mkv_h264_multi.mkv"), QStringLiteral("mkv.mkv")),
                                box.addMedia(QStringLiteral("avi_h264_ac3.avi"), QStringLiteral("avi.avi")) };
    const RunResult r = box.runCli(QStringList{ QStringLiteral("--save-folder"), box.saveDir() } + files, prog);
    for (const QString &src : files) {
        SCOPED_TRACE(src.toStdString());
        EXPECT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
        const QString out = box.saveDir() + QStringLiteral("/[Qor] ") + QFileInfo(src).completeBaseName()
            + QStringLiteral(".mp4");
        EXPECT_EQ(streams(probe(out), QStringLiteral("audio")).size(), 1);
        EXPECT_EQ(countVideoFrames(out), countVideoFrames(src));
    }
    EXPECT_TRUE(box.leftoverTempFiles().isEmpty()) << box.leftoverTempFiles().join(QLatin1Char(' ')).toStdString();
}

QString makeVideo(const Sandbox &box, const QString &name, const QString &size, const QString &sar)
{
    const QString path = box.mediaDir() + QLatin1Char('/') + name;
    ffmpeg({ QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("testsrc2=size=%1:rate=25:duration=1").arg(size), QStringLiteral("-vf"),
             QStringLiteral("setsar=%1").arg(sar), QStringLiteral("-c:v"), QStringLiteral("libx264"),
             QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"),
             QStringLiteral("yuv420p") },
           path);
    return path;
}

TEST(E2eMux, PixelAspectRatioPerModeLevelAndNightly)
{
    Sandbox box;
    const QString src = makeVideo(box, QStringLiteral("anamorphic.mkv"), QStringLiteral("352x240"),
                                  QStringLiteral("9/10"));
    const QString out = box.saveDir() + QStringLiteral("/[Qor] anamorphic.mp4");
    struct Mode
    {
        const char *par;
        const char *sar;
    };
    // keep 9:10; 1:1; <1.5 keeps 0.9; 4:3 display: 4*240 : 3*352 = 10:11.
    for (const Mode m : { Mode{ "0", "9:10" }, Mode{ "1", "1:1" }, Mode{ "2", "9:10" }, Mode{ "5", "10:11" } }) {
        const RunResult r = box.runCli({ QStringLiteral("--save-folder"), box.saveDir(), QStringLiteral("--par"),
                                         QString::fromLatin1(m.par), src });
        ASSERT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
        EXPECT_EQ(firstVideo(out).value(QStringLiteral("sample_aspect_ratio")).toString(), QString::fromLatin1(m.sar))
            << "mode " << m.par;
        EXPECT_EQ(firstVideo(out).value(QStringLiteral("level")).toInt(), 30);
    }
    // 1280x720 needs level 3.1; the Nightly MP4Box takes the form without the dot.
    const QString hd = makeVideo(box, QStringLiteral("hd.mkv"), QStringLiteral("1280x720"), QStringLiteral("1"));
    const RunResult r = box.runCli({ QStringLiteral("--save-folder"), box.saveDir(), QStringLiteral("--nightly"), hd });
    ASSERT_TRUE(r.statusByPath()[hd].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    EXPECT_EQ(firstVideo(box.saveDir() + QStringLiteral("/[Qor] hd.mp4")).value(QStringLiteral("level")).toInt(), 31);
}

TEST(E2eMux, JamoNameAndMissingSaveFolder)
{
    Sandbox box;
    // "한글" written as conjoining jamo, as some file systems store it.
    const QString jamo = QString::fromUtf16(u"\u1112\u1161\u11AB\u1100\u1173\u11AF");
    const QString src = box.addMedia(QStringLiteral("mp4_h264_aac.mp4"), jamo + QStringLiteral(".mp4"));
    const RunResult r = box.runCli({ src });
    EXPECT_TRUE(r.statusByPath()[src].startsWith(QStringLiteral("완료: "))) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(box.mediaDir() + QString::fromUtf16(u"/[Qor] 한글.mp4")));

    // A save folder that is not there: the job fails and nothing is written elsewhere.
    const QString gone = box.root() + QStringLiteral("/gone");
    const RunResult r2 = box.runCli({ QStringLiteral("--save-folder"), gone, src });
    EXPECT_EQ(r2.statusByPath()[src], QStringLiteral("파일 생성 실패"));
    EXPECT_FALSE(QFile::exists(gone));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/progressing.mp4")));
}

} // namespace
