#include "ReportBuilder.h"

#include "engine/ConvertJob.h"
#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/SourceFiles.h"
#include "engine/Stages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace reports;

namespace {

class Recorder : public FrontEnd
{
public:
    FileList &fileList() override { return list; }
    void setStatusText(int, const QString &) override { }
    void setSummaryText(const QString &text) override { summary = text; }
    void showMessage(const QString &text) override { messages << text; }
    bool askFinished(const QString &) override { return false; }
    void enableControls(bool) override { }

    MemoryFileList list;
    QString summary;
    QStringList messages;
};

struct Video
{
    const char *format = "AVC";
    const char *width = "1280";
    const char *height = "720";
    const char *frameRate = "23.976";
    const char *profile = "High@L3.1";
    const char *bitRate = "2000000";
    const char *extra = nullptr; // one more key
    const char *extraValue = nullptr;
};

QByteArray report(const char *container, const Video &v, const char *fileSize = "1048576")
{
    QByteArray r = section("General", { { "Format", container }, { "File size", fileSize } });
    QByteArray video = QByteArray("Video\n") + line("Format", v.format) + line("Width", v.width)
        + line("Height", v.height) + line("Frame rate", v.frameRate) + line("Format profile", v.profile)
        + line("Bit rate", v.bitRate);
    if (v.extra)
        video += line(v.extra, v.extraValue);
    return r + video + "\n";
}

class Identify : public ::testing::Test
{
protected:
    StageResult run(const QString &fileName, const QByteArray &reportBytes)
    {
        const qsizetype sep = fileName.lastIndexOf(QLatin1Char('/'));
        const QString folder = sep < 0 ? dir.path() + QLatin1Char('/') : fileName.left(sep + 1);
        const QString name = fileName.mid(sep + 1);
        ui.list = MemoryFileList();
        ui.list.appendRow(name, folder);
        FindCompanions(ui.list, 0); // as the driver does at the start of each job
        job.resetJob(0);
        job.job.strSourcePath = folder + name;
        job.job.strSourceExt = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1);
        job.job.strSourceShortPath = job.job.strSourcePath;
        job.job.report.ReadReport(reportBytes);
        return IdentifySource(job);
    }
    QString status() const { return ui.list.text(0, FileList::kStatus); }

    QTemporaryDir dir;
    Recorder ui;
    ConvertJob job{ ui, QStringLiteral("/nonexistent/") };
};

TEST_F(Identify, ExtensionMustFitTheContainer)
{
    EXPECT_EQ(run("clip.avi", report("Matroska", {})), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("확장자 오류!"));
    EXPECT_EQ(run("clip.MKV", report("Matroska", {})), StageResult::Continue);
    EXPECT_EQ(run("clip.mp4", report("MPEG-4", {})), StageResult::Continue);
    EXPECT_EQ(run("clip.qt", report("QuickTime", {})), StageResult::Continue);
    EXPECT_EQ(run("clip.mov", report("Matroska", {})), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("확장자 오류!"));
    // Phones write QuickTime under MP4 names; WebM is Matroska.
    EXPECT_EQ(run("clip.mp4", report("QuickTime", {})), StageResult::Continue);
    EXPECT_TRUE(job.job.strSummary.startsWith(QStringLiteral("QT / ")));
    EXPECT_EQ(run("clip.M4V", report("QuickTime", {})), StageResult::Continue);
    EXPECT_EQ(run("clip.webm", report("WebM", {})), StageResult::Continue);
    EXPECT_TRUE(job.job.strSummary.startsWith(QStringLiteral("MKV / ")));
    EXPECT_EQ(run("clip.webm", report("MPEG-4", {})), StageResult::SkipJob);
    // Transport streams, broadcast and camcorder, are a kind of their own.
    for (const char *name : { "rec.ts", "cam.m2ts", "cam.MTS", "tv.tp", "tv.trp" }) {
        EXPECT_EQ(run(name, report("BDAV", {})), StageResult::Continue) << name;
        EXPECT_TRUE(job.job.strSummary.startsWith(QStringLiteral("TS / "))) << name;
        EXPECT_EQ(run(name, report("MPEG-TS", {})), StageResult::Continue) << name;
    }
    EXPECT_EQ(run("rec.mpg", report("MPEG-TS", {})), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("확장자 오류!"));
    EXPECT_EQ(run("rec.ts", report("MPEG-PS", {})), StageResult::SkipJob);
}

TEST_F(Identify, TransportStreamTracksArePlacedFromTheEarliestStart)
{
    // A capture whose clock starts 10 s in: the video 40 ms after the sound.
    const QByteArray bytes = section("General", { { "Format", "MPEG-TS" } })
        + section("Video", { { "ID", "256" }, { "Format", "AVC" }, { "Width", "1280" }, { "Height", "720" },
                             { "Frame rate", "25.000" }, { "Delay", "00:00:10.040" } })
        + section("Audio", { { "ID", "257" }, { "Format", "AC-3" }, { "Delay", "00:00:10.000" } });
    job.ui.options.iDeviceKind = 3;
    job.ui.options.iConversionMode = 1;
    ASSERT_EQ(run("rec.ts", bytes), StageResult::Continue);
    EXPECT_EQ(job.job.report.iVideoDelay, 40);
    ASSERT_EQ(job.job.report.audio.size(), 1);
    EXPECT_EQ(job.job.report.audio.first().iDelay, 0);
}

TEST_F(Identify, UnreadableAndUnknownContainers)
{
    EXPECT_EQ(run("clip.mkv", QByteArray()), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("파일 읽기 오류"));
    EXPECT_EQ(run("clip.mkv", report("RealMedia", {})), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("변환 불가 포맷"));
}

TEST_F(Identify, XvidWithQpelFollowsTheConversionMode)
{
    Video xvid{ "MPEG-4 Visual", "640", "480", "25.000", "Advanced Simple@L5", "1000000", "Format settings, QPel",
                "Yes" };
    job.ui.options.iDeviceKind = 1;
    job.ui.options.iConversionMode = 1;
    EXPECT_EQ(run("x.avi", report("AVI", xvid)), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("재생 불가 ASP"));
    job.ui.options.iConversionMode = 2;
    EXPECT_EQ(run("x.avi", report("AVI", xvid)), StageResult::Continue);
    EXPECT_TRUE(job.job.bReencodeVideo);
    job.ui.options.iConversionMode = 0;
    EXPECT_EQ(run("x.avi", report("AVI", xvid)), StageResult::Continue);
    EXPECT_FALSE(job.job.bReencodeVideo);
}

TEST_F(Identify, DivxThreeIsRefusedUnlessReencoding)
{
    Video div3{ "MPEG-4 Visual", "320", "240", "25.000", "", "500000", "Codec ID", "DIV3" };
    job.ui.options.iConversionMode = 1;
    EXPECT_EQ(run("d.avi", report("AVI", div3)), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("수용불가 비디오: DIV3"));
    job.ui.options.iConversionMode = 3;
    EXPECT_EQ(run("d.avi", report("AVI", div3)), StageResult::Continue);
    EXPECT_TRUE(job.job.bReencodeVideo);
}

TEST_F(Identify, HdH264PerDevice)
{
    job.ui.options.iConversionMode = 1;
    for (int device : { 1, 2 }) {
        job.ui.options.iDeviceKind = device;
        EXPECT_EQ(run("hd.mkv", report("Matroska", {})), StageResult::Continue) << device;
        EXPECT_FALSE(job.job.bReencodeVideo);
    }
    job.ui.options.iDeviceKind = 0;
    EXPECT_EQ(run("hd.mkv", report("Matroska", {})), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("재생 불가 해상도"));

    job.ui.options.iDeviceKind = 2;
    Video fullHd{ "AVC", "1920", "1080", "23.976", "High@L4.0" };
    EXPECT_EQ(run("fhd.mkv", report("Matroska", fullHd)), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("4.x 이상 level"));
    fullHd.profile = "High@L3.2";
    EXPECT_EQ(run("fhd.mkv", report("Matroska", fullHd)), StageResult::Continue);

    job.ui.options.iDeviceKind = 1;
    job.ui.options.iConversionMode = 2;
    fullHd.profile = "High@L4.1";
    EXPECT_EQ(run("fhd.mkv", report("Matroska", fullHd)), StageResult::Continue);
    EXPECT_TRUE(job.job.bReencodeVideo);
}

TEST_F(Identify, TodaysDevicesCopyUpTo4kSixtyFramesAndLevel52)
{
    job.ui.options.iDeviceKind = 3;
    job.ui.options.iConversionMode = 1;
    const Video copied[] = {
        { "AVC", "1920", "1080", "23.976", "High@L4.1", "40000000" },
        { "AVC", "3840", "2160", "59.940", "High@L5.2", "80000000" },
        { "AVC", "2304", "4096", "30.000", "Main@L5.1" }, // portrait
        { "AVC", "640", "360", "25.000", "Constrained Baseline@L3" },
    };
    for (const Video &v : copied) {
        EXPECT_EQ(run("v.mkv", report("Matroska", v)), StageResult::Continue) << v.width << " " << v.profile;
        EXPECT_FALSE(job.job.bReencodeVideo);
    }
    struct Refused
    {
        Video video;
        const char *status;
    };
    const Refused refused[] = {
        { { "AVC", "4096", "2560", "30.000", "High@L5.1" }, "재생 불가 해상도" },
        { { "AVC", "1920", "1080", "120.000", "High@L4.2" }, "60fps 초과 H.264" },
        { { "AVC", "7680", "4320", "30.000", "High@L6.1" }, "재생 불가 해상도" },
        { { "AVC", "1920", "1080", "30.000", "High@L6" }, "5.2 초과 level" },
        { { "AVC", "1920", "1080", "30.000", "Extended@L4" }, "재생 불가 프로파일" },
        { { "AVC", "1920", "1080", "30.000", "High 10@L4", "1000000", "Bit depth", "10" }, "재생 불가 프로파일" },
    };
    for (const Refused &c : refused) {
        SCOPED_TRACE(c.status);
        job.ui.options.iConversionMode = 1;
        EXPECT_EQ(run("v.mkv", report("Matroska", c.video)), StageResult::SkipJob);
        EXPECT_EQ(status(), QString::fromUtf8(c.status));
        job.ui.options.iConversionMode = 2;
        EXPECT_EQ(run("v.mkv", report("Matroska", c.video)), StageResult::Continue);
        EXPECT_TRUE(job.job.bReencodeVideo);
    }
    // The 30 fps check still holds when it is on.
    job.ui.options.iConversionMode = 1;
    job.ui.options.b30fpsCheck = true;
    EXPECT_EQ(run("v.mkv", report("Matroska", copied[1])), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("30fps 초과 H.264"));
    // MPEG-4 Visual keeps the limits it has on every device.
    job.ui.options.b30fpsCheck = false;
    Video hdXvid{ "MPEG-4 Visual", "1280", "720", "25.000", "Advanced Simple@L5", "1000000" };
    EXPECT_EQ(run("x.avi", report("AVI", hdXvid)), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("재생 불가 해상도"));
}

TEST_F(Identify, HevcIsCopiedForTodaysDevicesOnly)
{
    struct Case
    {
        const char *profile, *chroma, *depth, *width, *height, *rate;
        const char *refusal; // nullptr: copied
    };
    const Case cases[] = {
        { "Main 10@L5.1@High", "4:2:0", "10", "3840", "2160", "59.940", nullptr },
        { "Main@L4@Main", "4:2:0", "8", "1080", "1920", "30.000", nullptr },
        { "Main 4:2:2 10@L4@Main", "4:2:2", "10", "1920", "1080", "30.000", "재생 불가 프로파일" },
        { "Main 12@L4@Main", "4:2:0", "12", "1920", "1080", "30.000", "재생 불가 프로파일" },
        { "Main@L6.1@High", "4:2:0", "8", "7680", "4320", "30.000", "재생 불가 해상도" },
        { "Main@L4.1@Main", "4:2:0", "8", "1920", "1080", "120.000", "60fps 초과 HEVC" },
    };
    job.ui.options.iDeviceKind = 3;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.profile);
        QByteArray bytes = section("General", { { "Format", "Matroska" }, { "File size", "1048576" } })
            + section("Video", { { "Format", "HEVC" }, { "Format profile", c.profile }, { "Width", c.width },
                                 { "Height", c.height }, { "Frame rate", c.rate }, { "Chroma subsampling", c.chroma },
                                 { "Bit depth", c.depth } });
        job.ui.options.iConversionMode = 1;
        EXPECT_EQ(run("h.mkv", bytes), c.refusal ? StageResult::SkipJob : StageResult::Continue);
        if (c.refusal)
            EXPECT_EQ(status(), QString::fromUtf8(c.refusal));
        else
            EXPECT_TRUE(job.job.strSummary.startsWith(QStringLiteral("MKV / HEVC("))) << job.job.strSummary.toStdString();
        job.ui.options.iConversionMode = 2;
        EXPECT_EQ(run("h.mkv", bytes), StageResult::Continue);
        EXPECT_EQ(job.job.bReencodeVideo, c.refusal != nullptr);
    }
    // The older devices do not decode HEVC at all.
    const QByteArray hevc = section("General", { { "Format", "Matroska" } })
        + section("Video", { { "Format", "HEVC" }, { "Width", "1280" }, { "Height", "720" } });
    job.ui.options.iDeviceKind = 2;
    job.ui.options.iConversionMode = 1;
    EXPECT_EQ(run("h.mkv", hevc), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("수용불가 비디오"));
    job.ui.options.iConversionMode = 2;
    EXPECT_EQ(run("h.mkv", hevc), StageResult::Continue);
    EXPECT_TRUE(job.job.bReencodeVideo);
}

TEST_F(Identify, ProfileChromaOrDepthBeyondTheDevice)
{
    struct Case
    {
        const char *profile;
        const char *key;   // chroma or depth line, or nullptr
        const char *value;
    };
    const Case beyond[] = {
        { "High 4:4:4 Predictive@L3", "Chroma subsampling", "4:4:4" },
        { "High 4:2:2@L3", "Chroma subsampling", "4:2:2" },
        { "High 10@L3", "Bit depth", "10" },
        { "High@L3", "Bit depth", "10" }, // the depth alone is enough
        { "High 4:4:4 Predictive@L3", nullptr, nullptr },
    };
    for (const Case &c : beyond) {
        SCOPED_TRACE(c.profile);
        Video v{ "AVC", "640", "360", "25.000", c.profile, "1000000", c.key, c.value };
        job.ui.options.iConversionMode = 1;
        EXPECT_EQ(run("p.mkv", report("Matroska", v)), StageResult::SkipJob);
        EXPECT_EQ(status(), QStringLiteral("재생 불가 프로파일"));
        job.ui.options.iConversionMode = 2;
        EXPECT_EQ(run("p.mkv", report("Matroska", v)), StageResult::Continue);
        EXPECT_TRUE(job.job.bReencodeVideo);
        job.ui.options.iConversionMode = 0; // no checks at all
        EXPECT_EQ(run("p.mkv", report("Matroska", v)), StageResult::Continue);
        EXPECT_FALSE(job.job.bReencodeVideo);
    }
    // 8-bit 4:2:0 High and Main stay copyable; so does an MPEG-4 Visual profile name.
    job.ui.options.iConversionMode = 1;
    for (const char *profile : { "High@L3.1", "Main@L3.0", "Constrained Baseline@L3" }) {
        Video v{ "AVC", "640", "360", "25.000", profile, "1000000", "Bit depth", "8" };
        EXPECT_EQ(run("p.mkv", report("Matroska", v)), StageResult::Continue) << profile;
        EXPECT_FALSE(job.job.bReencodeVideo) << profile;
    }
    Video asp{ "MPEG-4 Visual", "640", "360", "25.000", "Advanced Simple@L5", "1000000", "Chroma subsampling", "4:2:0" };
    EXPECT_EQ(run("a.avi", report("AVI", asp)), StageResult::Continue);
    asp.extraValue = "4:2:2";
    EXPECT_EQ(run("a.avi", report("AVI", asp)), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("재생 불가 프로파일"));
}

TEST_F(Identify, FrameRateLimitOnlyWithThe30fpsCheck)
{
    job.ui.options.iConversionMode = 1;
    Video fast{ "AVC", "640", "360", "50.000", "Main@L3.1" };
    EXPECT_EQ(run("f.mkv", report("Matroska", fast)), StageResult::Continue);
    job.ui.options.b30fpsCheck = true;
    EXPECT_EQ(run("f.mkv", report("Matroska", fast)), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("30fps 초과 H.264"));
}

TEST_F(Identify, BitRateEstimateAndSummary)
{
    Video noRate{ "AVC", "640", "480", "25.000", "Main@L3.0", "" };
    EXPECT_EQ(run("e.mkv", report("Matroska", noRate)), StageResult::Continue);
    EXPECT_EQ(job.job.iBitRate, 1500000);
    EXPECT_DOUBLE_EQ(job.job.dFrameRate, 25.0);
    EXPECT_EQ(ui.summary, QStringLiteral("MKV / H.264(640x480, 25fps, 1.5Mbps)"));
}

TEST_F(Identify, FourGigabyteRule)
{
    job.ui.options.bSmallerThan4GB = true;
    const QByteArray mib4096 = QByteArray::number(4096LL * 1024 * 1024);
    const QByteArray mib4095 = QByteArray::number(4095LL * 1024 * 1024);
    EXPECT_EQ(run("big.mkv", report("Matroska", {}, mib4096.constData())), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("4GB 이상 파일"));
    EXPECT_EQ(run("big.mkv", report("Matroska", {}, mib4095.constData())), StageResult::Continue);
}

TEST_F(Identify, DesignatedTrackNumberIsCappedByTheTrackCount)
{
    const QByteArray twoTracks = report("Matroska", {}) + section("Audio", { { "Format", "AC-3" } })
        + section("Audio", { { "Format", "AAC" } });
    job.ui.options.bDesignateAudioLanguage = true;
    job.ui.options.iAudioLanguage = 9; // "#3"
    EXPECT_EQ(run("a.mkv", twoTracks), StageResult::Continue);
    EXPECT_EQ(job.job.iInternalAudio, 1);
    job.ui.options.bDesignateAudioLanguage = false;
    EXPECT_EQ(run("a.mkv", report("Matroska", {})), StageResult::Continue);
    EXPECT_EQ(job.job.iInternalAudio, -1);
}

TEST_F(Identify, ExternalAudioDelayFromTheName)
{
    EXPECT_EQ(ExternalAudioDelay("/v/movie.avi", "avi", "/v/movie DELAY -300ms.ac3"), -300);
    EXPECT_EQ(ExternalAudioDelay("/v/movie.avi", "avi", "/v/movie.ac3"), 0);
    EXPECT_EQ(ExternalAudioDelay("/v/movie.avi", "avi", "/v/movie delay 120.ac3"), 120);

    // Companions found beside the source reach the job, the delay taken from the name.
    QFile(dir.path() + QStringLiteral("/movie DELAY -300ms.ac3")).open(QIODevice::WriteOnly);
    QFile(dir.path() + QStringLiteral("/movie.srt")).open(QIODevice::WriteOnly);
    EXPECT_EQ(run(dir.path() + QStringLiteral("/movie.mkv"), report("Matroska", {})), StageResult::Continue);
    EXPECT_EQ(job.job.iExternalAudioDelay, -300);
    EXPECT_EQ(job.job.strAudioFile, dir.path() + QStringLiteral("/movie DELAY -300ms.ac3"));
    EXPECT_EQ(job.job.strExternalSubtitle, dir.path() + QStringLiteral("/movie.srt"));
    EXPECT_TRUE(job.job.strSummary.endsWith(QStringLiteral(" / AC3(ext)")));

    // Companions in capitals are read under their own names.
    QFile(dir.path() + QStringLiteral("/CLIP.SMI")).open(QIODevice::WriteOnly);
    QFile(dir.path() + QStringLiteral("/CLIP.AAC")).open(QIODevice::WriteOnly);
    EXPECT_EQ(run(dir.path() + QStringLiteral("/CLIP.mkv"), report("Matroska", {})), StageResult::Continue);
    EXPECT_EQ(job.job.strExternalSubtitle, dir.path() + QStringLiteral("/CLIP.SMI"));
    EXPECT_EQ(job.job.strAudioFile, dir.path() + QStringLiteral("/CLIP.AAC"));
}

TEST_F(Identify, DivxSourceIsCopiedNeverTouched)
{
    QTemporaryDir work;
    job.strWorkFolder = work.path() + QLatin1Char('/');
    const QString source = dir.path() + QStringLiteral("/film.divx");
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not really video");
    f.close();
    EXPECT_EQ(run(source, report("AVI", { "MPEG-4 Visual", "320", "240", "25.000", "", "500000" })),
              StageResult::Continue);
    const QString copy = work.path() + QStringLiteral("/tempdivxfile.avi");
    EXPECT_TRUE(QFile::exists(copy));
    EXPECT_EQ(job.job.strSourceShortPath, copy);
    EXPECT_TRUE(job.tempFiles.contains(copy));
    EXPECT_TRUE(QFile::exists(source));
}

} // namespace
