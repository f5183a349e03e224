// The re-encoding stage driven with stand-in tools that record their arguments, the
// folder they ran in and the preset folder they were given.
#include "StageHarness.h"

#include "engine/ConvertJob.h"
#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/Stages.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using stagetest::Recorder;

// Each stand-in also records the folder it ran in and the preset folder it was given.
const char *const kWhere = "printf '  in %s with %s\\n' \"$(pwd)\" \"$FFMPEG_DATADIR\" >> \"$CALLS\"\n";

// The encoder leaves its output after the second pass only, as ffmpeg does.
const char *const kEncoder =
    "for a; do [ \"$prev\" = -pass ] && pass=$a; prev=$a; last=$a; done\n"
    "[ \"$pass\" = 2 ] && printf 'h264' > \"$last\"\nexit 0\n";

class ReencodeStage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(root + QStringLiteral("/prog/tools"));
        QDir().mkpath(root + QStringLiteral("/work"));
        QDir().mkpath(root + QStringLiteral("/media"));
        qputenv("CALLS", (root + QStringLiteral("/calls.txt")).toUtf8());
        qunsetenv("FFMPEG_DATADIR");
        writeTool("ffmpeg", kEncoder);
        // "-ttxt N SRC -out Wsub" extracts a track, "-ttxt X.srt" converts one beside it.
        writeTool("MP4Box", "if [ $# = 2 ]; then : > \"${2%.srt}.ttxt\"; else : > \"${5}_${2}_text.ttxt\"; fi\n");
        writeTool("mkvextract", "shift 2; for spec; do : > \"${spec#*:}\"; done\n");

        job.tools = BuildToolTable(root + QStringLiteral("/prog/"), false);
        for (ToolEntry &t : job.tools)
            t.shortPath = platform::shortPath(t.fullPath);
        job.strWorkFolder = root + QStringLiteral("/work/");
        ui.options.strTempFolder = job.strWorkFolder;
        ui.options.iConversionMode = 2;
        ui.options.iConversionProfile = 4;
        ui.options.iDeviceKind = 1;
        ui.options.bDeinterlace = false;
        ui.options.bForNightly = false;
        job.log.Start(root + QStringLiteral("/log.txt"));
    }

    void writeTool(const char *name, const QByteArray &body)
    {
        ASSERT_TRUE(stagetest::writeTool(root + QStringLiteral("/prog/tools/") + QString::fromLatin1(name), kWhere + body));
    }

    void source(const QString &name, ContainerKind container, VideoFormat video, int width, int height,
                const char *frameRate, int bitRate)
    {
        ASSERT_TRUE(stagetest::startJob(ui, job, root + QStringLiteral("/media/"), name, container, video, width, height,
                                        QString::fromLatin1(frameRate)));
        job.job.bReencodeVideo = true;
        job.job.iBitRate = bitRate;
    }

    void addText(int id, TextFormat format)
    {
        TextTrack t;
        t.iID = id;
        t.iFormat = format;
        job.job.report.text << t;
        job.job.report.iTextCount = static_cast<int>(job.job.report.text.size());
    }

    QStringList calls() const { return stagetest::readCalls(root + QStringLiteral("/calls.txt")); }
    QString logText() const { return stagetest::readLog(root + QStringLiteral("/log.txt")); }

    QString status() const { return ui.list.text(0, FileList::kStatus); }
    QString work(const char *name) const { return job.strWorkFolder + QString::fromLatin1(name); }

    QTemporaryDir dir;
    QString root = dir.path();
    Recorder ui;
    ConvertJob job{ ui, root + QStringLiteral("/prog/") };
};

TEST_F(ReencodeStage, TwoPassesInTheWorkFolderWithThePresets)
{
    source(QStringLiteral("big movie.wmv"), ContainerWmv, VideoWmv, 1920, 1080, "50.000", 5000000);
    ui.options.iDeviceKind = 0;
    ui.options.iConversionProfile = 5;
    ASSERT_EQ(ReencodeVideo(job), StageResult::Continue);

    const QString out = work("convh264.mp4");
    const QString where = QStringLiteral("  in ") + root + QStringLiteral("/work with ") + root
        + QStringLiteral("/prog/tools/presets");
    const QString common = QStringLiteral("ffmpeg|-i|") + job.job.strSourcePath + QStringLiteral("|-s|720x404|-an|-pass|");
    EXPECT_EQ(calls(), (QStringList{ common + QStringLiteral("1|-vcodec|libx264|-vpre|slow_firstpass|-b|4800k|-r|30|") + out,
                                     where,
                                     common + QStringLiteral("2|-vcodec|libx264|-vpre|slow|-b|4800k|-r|30|") + out,
                                     where }));
    EXPECT_EQ(job.job.iBitRate, 2400000);
    EXPECT_EQ(job.job.strVideoOption, QStringLiteral(" -add \"") + out + QStringLiteral("\":fps=30:level=3.0"));
    EXPECT_EQ(status(), QStringLiteral("비디오 변환중 2/2"));
    for (const char *name : { "convh264.mp4", "ffmpeg2pass-0.log", "x264_2pass.log", "x264_2pass.log.mbtree",
                              "x264_2pass.log.temp", "x264_2pass.log.mbtree.temp" })
        EXPECT_TRUE(job.tempFiles.contains(work(name))) << name;
    EXPECT_FALSE(QFile::exists(work("runapp.cmd")));
    const QString log = logText();
    for (const char *line : { "CString → char* → atof (new FPS): 50.000 → 50", "Converting video to AVC pass1",
                              "Converting video to AVC pass2", "Converting video finished", "MP4/AVC Filename: ",
                              "MP4Box video option: -add" })
        EXPECT_TRUE(log.contains(QString::fromUtf8(line))) << line;
    // The program's own environment is not touched by the script's "set".
    EXPECT_TRUE(qEnvironmentVariableIsEmpty("FFMPEG_DATADIR"));
}

TEST_F(ReencodeStage, LevelFollowsTheNewSizeAndDeinterlaceReachesTheEncoder)
{
    source(QStringLiteral("hd.avi"), ContainerAvi, VideoMpeg4Visual, 1920, 1080, "23.976", 8000000);
    ui.options.bDeinterlace = true;
    ui.options.bForNightly = true;
    job.tools = BuildToolTable(root + QStringLiteral("/prog/"), false); // Nightly muxer not needed here
    for (ToolEntry &t : job.tools)
        t.shortPath = platform::shortPath(t.fullPath);
    ASSERT_EQ(ReencodeVideo(job), StageResult::Continue);
    const QStringList c = calls();
    ASSERT_EQ(c.size(), 4);
    EXPECT_TRUE(c[0].contains(QStringLiteral("|-deinterlace|-s|1280x720|-an|-pass|1|-vcodec|libx264|-vpre|ultrafast_firstpass|-b|3000k|-r|23.976|")))
        << c[0].toStdString();
    EXPECT_EQ(job.job.strVideoOption,
              QStringLiteral(" -add \"") + work("convh264.mp4") + QStringLiteral("\":fps=23.976:level=31"));
}

TEST_F(ReencodeStage, TodaysDevicesGetHighProfileSixtyFramesAndProgressivePictures)
{
    // An interlaced 4K source at 59.94 with the box clear: deinterlaced anyway, 1920 wide.
    source(QStringLiteral("uhd.ts"), ContainerMpeg, VideoMpeg, 3840, 2160, "59.940", 40000000);
    job.job.report.iScanType = 2;
    ui.options.iDeviceKind = 3;
    ui.options.iConversionProfile = 1;
    ASSERT_EQ(ReencodeVideo(job), StageResult::Continue);
    QStringList c = calls();
    ASSERT_EQ(c.size(), 4);
    EXPECT_TRUE(c[0].contains(QStringLiteral("|-deinterlace|-s|1920x1080|-an|-pass|1|-vcodec|libx264|-vpre|fast_high_firstpass|-b|8000k|-r|59.940|")))
        << c[0].toStdString();
    EXPECT_TRUE(c[2].contains(QStringLiteral("|-vpre|fast_high|"))) << c[2].toStdString();
    EXPECT_TRUE(job.job.strVideoOption.endsWith(QStringLiteral("\":fps=59.940:level=4.2")));
    EXPECT_TRUE(logText().contains(QStringLiteral("Interlaced source: deinterlacing for the device")));

    // With the 30 fps check on, the rate is capped at 30 again; a progressive source stays as it is.
    QFile::remove(root + QStringLiteral("/calls.txt"));
    source(QStringLiteral("uhd.ts"), ContainerMpeg, VideoMpeg, 3840, 2160, "59.940", 40000000);
    job.job.report.iScanType = 1;
    ui.options.b30fpsCheck = true;
    ASSERT_EQ(ReencodeVideo(job), StageResult::Continue);
    c = calls();
    ASSERT_EQ(c.size(), 4);
    EXPECT_TRUE(c[0].contains(QStringLiteral("|-s|1920x1080|-an|-pass|1|"))) << c[0].toStdString();
    EXPECT_FALSE(c[0].contains(QStringLiteral("-deinterlace")));
    EXPECT_TRUE(c[0].contains(QStringLiteral("|-r|30|"))) << c[0].toStdString();
    EXPECT_TRUE(job.job.strVideoOption.endsWith(QStringLiteral("\":fps=30:level=4.0")));
}

TEST_F(ReencodeStage, StopDuringTheFirstPassEndsTheRun)
{
    writeTool("ffmpeg", "echo 'frame=    1'; exec sleep 30\n");
    source(QStringLiteral("clip.wmv"), ContainerWmv, VideoWmv, 320, 240, "25.000", 500000);
    ui.stopWhileRunning = true;
    EXPECT_EQ(ReencodeVideo(job), StageResult::StopRun);
    EXPECT_TRUE(ui.stopRequested);
    // Stop may land before the tool got going; the second pass must never start.
    EXPECT_FALSE(calls().join(QLatin1Char('\n')).contains(QStringLiteral("|-pass|2|")));
    EXPECT_EQ(status(), QStringLiteral("비디오 변환중 1/2"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Converting video stopped")));
    EXPECT_FALSE(QFile::exists(work("runapp.cmd")));
}

TEST_F(ReencodeStage, NoOutputSkipsTheJobEvenWithAStaleOneFromAnEarlierJob)
{
    writeTool("ffmpeg", "exit 1\n");
    source(QStringLiteral("clip.wmv"), ContainerWmv, VideoWmv, 320, 240, "25.000", 500000);
    QFile stale(work("convh264.mp4"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("earlier job");
    stale.close();
    EXPECT_EQ(ReencodeVideo(job), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("비디오 추출 실패"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Converting video failed")));
    EXPECT_TRUE(job.job.strVideoOption.isEmpty());
}

TEST_F(ReencodeStage, UnreportedFrameRateAndBitRateStillGiveAnEncode)
{
    // Windows Media files often carry no frame rate; with no bit rate either, the
    // identification's estimate was 0.
    source(QStringLiteral("vfr.wmv"), ContainerWmv, VideoWmv, 320, 240, "", 0);
    ASSERT_EQ(ReencodeVideo(job), StageResult::Continue);
    const QStringList c = calls();
    ASSERT_EQ(c.size(), 4);
    // 320 x 240 x 30 x 0.1953125 = 450,000 bit/s.
    EXPECT_TRUE(c[2].endsWith(QStringLiteral("|-b|450k|-r|30|") + work("convh264.mp4"))) << c[2].toStdString();
    EXPECT_EQ(job.job.strVideoOption, QStringLiteral(" -add \"") + work("convh264.mp4") + QStringLiteral("\":fps=30:level=3.0"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Frame rate not reported: encoding at 30 fps")));
}

TEST_F(ReencodeStage, UnknownSizeIsRefusedBeforeAnyEncoderRuns)
{
    source(QStringLiteral("odd.mpg"), ContainerMpeg, VideoMpeg, 0, 480, "25.000", 500000);
    EXPECT_EQ(ReencodeVideo(job), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("비디오 추출 실패"));
    EXPECT_TRUE(calls().isEmpty());
    EXPECT_TRUE(logText().contains(QStringLiteral("Video size not reported (0x480)")));
}

TEST_F(ReencodeStage, RunsOnlyForVideoThatMustOrIsAskedToBeReencoded)
{
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264, 320, 240, "25.000", 500000);
    job.job.bReencodeVideo = false;
    EXPECT_EQ(ReencodeVideo(job), StageResult::Continue);
    EXPECT_TRUE(calls().isEmpty());

    source(QStringLiteral("music.mkv"), ContainerMkv, VideoNone, 0, 0, "", 0);
    ui.options.iConversionMode = 3;
    EXPECT_EQ(ReencodeVideo(job), StageResult::Continue);
    EXPECT_TRUE(calls().isEmpty());

    // Mode 3 re-encodes copyable H.264 too; an MKV then has its subtitle tracks extracted.
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264, 320, 240, "25.000", 500000);
    job.job.bReencodeVideo = false;
    addText(3, TextSrt);
    addText(4, TextUnknown);
    addText(5, TextSsa);
    job.job.iSubtitleSource = 1;
    ASSERT_EQ(ReencodeVideo(job), StageResult::Continue);
    const QStringList c = calls();
    ASSERT_EQ(c.size(), 10);
    EXPECT_EQ(c[4], QStringLiteral("mkvextract|tracks|") + job.job.strSourcePath + QStringLiteral("|3:") + work("sub_003.srt")
                        + QStringLiteral("|5:") + work("sub_005.srt"));
    // Each extracted track is then turned into timed text, with the plain log lines.
    EXPECT_EQ(c[6], QStringLiteral("MP4Box|-ttxt|") + work("sub_003.srt"));
    EXPECT_EQ(c[8], QStringLiteral("MP4Box|-ttxt|") + work("sub_005.srt"));
    EXPECT_TRUE(job.tempFiles.contains(work("sub_005.srt")));
    EXPECT_TRUE(job.tempFiles.contains(work("sub_003.ttxt")));
    EXPECT_EQ(status(), QStringLiteral("자막 변환중"));
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Extracting subtitle from MKV")));
    EXPECT_TRUE(log.contains(QStringLiteral("Converting ASS/SSA to SRT\n")) || log.contains(QStringLiteral("Converting ASS/SSA to SRT\r")));
    EXPECT_TRUE(log.contains(QStringLiteral("Converting SRT to TTXT")));
    EXPECT_FALSE(log.contains(QStringLiteral("Converting SRT to TTXT (")));
}

TEST_F(ReencodeStage, SubtitleTracksOfReencodedSources)
{
    // An MKV whose subtitle comes from elsewhere still runs the extractor, naming no track.
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoMpeg4Visual, 320, 240, "25.000", 500000);
    addText(3, TextSrt);
    job.job.iSubtitleSource = 3;
    ASSERT_EQ(ReencodeVideo(job), StageResult::Continue);
    EXPECT_EQ(calls().value(4), QStringLiteral("mkvextract|tracks|") + job.job.strSourcePath);

    // An MP4 gets its timed-text tracks out one by one; SRT tracks do not count.
    QFile::remove(root + QStringLiteral("/calls.txt"));
    source(QStringLiteral("clip.mp4"), ContainerMp4, VideoMpeg4Visual, 320, 240, "25.000", 500000);
    addText(3, TextTtxt);
    addText(4, TextSrt);
    addText(5, TextTtxt);
    job.job.iSubtitleSource = 1;
    ASSERT_EQ(ReencodeVideo(job), StageResult::Continue);
    const QStringList c = calls();
    ASSERT_EQ(c.size(), 8);
    EXPECT_EQ(c[4], QStringLiteral("MP4Box|-ttxt|3|") + job.job.strSourcePath + QStringLiteral("|-out|") + work("sub"));
    EXPECT_EQ(c[6], QStringLiteral("MP4Box|-ttxt|5|") + job.job.strSourcePath + QStringLiteral("|-out|") + work("sub"));
    EXPECT_TRUE(job.tempFiles.contains(work("sub_5_text.ttxt")));
    EXPECT_TRUE(logText().contains(QStringLiteral("Extraction finished")));
}

} // namespace
