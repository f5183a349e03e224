// The video, naming and mux stages driven with small stand-in tools that record
// their arguments and leave the files the real ones would.
#include "ReportBuilder.h"

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

using namespace reports;

namespace {

using stagetest::Recorder;

class MuxStages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = dir.path();
        QDir().mkpath(root + QStringLiteral("/prog/tools"));
        QDir().mkpath(root + QStringLiteral("/work"));
        QDir().mkpath(root + QStringLiteral("/media"));
        qputenv("CALLS", (root + QStringLiteral("/calls.txt")).toUtf8());
        // MP4Box: -aviraw writes X_video.h264, -ttxt writes Wsub_ID_text.ttxt, a mux writes its last argument.
        // "-ttxt X.srt" (two arguments) writes X.ttxt.
        writeTool("MP4Box", "if [ \"$1\" = -ttxt ] && [ $# -eq 2 ]; then : > \"${2%.srt}.ttxt\"; exit 0; fi\n"
                            "case \"$1\" in -aviraw) : > \"${5}_video.h264\";; -ttxt) : > \"${5}_${2}_text.ttxt\";; "
                            "*) for last; do :; done; printf 'mp4' > \"$last\";; esac\n");
        // mkvextract: every N:file after the source.
        writeTool("mkvextract", "shift 2; for spec; do : > \"${spec#*:}\"; done\n");
        writeTool("MediaInfo", "cat \"$REPORT\"\n");
        writeTool("ffmpeg", "for last; do :; done; : > \"$last\"\n");
        writeTool("OGMDemuxer", "for last; do :; done; : > \"${last#*:}\"\n");
        qputenv("REPORT", (root + QStringLiteral("/report.txt")).toUtf8());

        job.tools = BuildToolTable(root + QStringLiteral("/prog/"), false);
        for (ToolEntry &t : job.tools)
            t.shortPath = platform::shortPath(t.fullPath);
        job.strWorkFolder = root + QStringLiteral("/work/");
        job.log.Start(root + QStringLiteral("/log.txt"));
    }

    void writeTool(const char *name, const QByteArray &body)
    {
        ASSERT_TRUE(stagetest::writeTool(root + QStringLiteral("/prog/tools/") + QString::fromLatin1(name), body));
    }

    // A source file in media/ made the job's current row.
    void source(const QString &name, ContainerKind container, VideoFormat video)
    {
        ASSERT_TRUE(stagetest::startJob(ui, job, root + QStringLiteral("/media/"), name, container, video, 1280, 720,
                                        QStringLiteral("23.976")));
    }

    QStringList calls() const { return stagetest::readCalls(root + QStringLiteral("/calls.txt")); }
    QString logText() const { return stagetest::readLog(root + QStringLiteral("/log.txt")); }

    void writeOutputReport(int videoMs, int audioMs)
    {
        QByteArray r = section("General", { { "Format", "MPEG-4" } });
        r += section("Video", { { "ID", "1" },
                                { "Format", "AVC" },
                                { "Duration", QByteArray::number(videoMs).constData() } });
        r += section("Audio", { { "ID", "2" },
                                { "Format", "AAC" },
                                { "Duration", QByteArray::number(audioMs).constData() } });
        QFile f(root + QStringLiteral("/report.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(r);
    }

    QString status() const { return ui.list.text(0, FileList::kStatus); }
    QString out(const QString &name) const { return root + QStringLiteral("/media/") + name; }

    // Naming, a copy path and the mux, the way the driver runs them.
    StageResult convert()
    {
        StageResult r = PrepareTrackOptions(job);
        if (r == StageResult::Continue)
            r = ExtractVideo(job);
        if (r == StageResult::Continue)
            r = MuxAndSync(job);
        return r;
    }

    QTemporaryDir dir;
    QString root;
    Recorder ui;
    ConvertJob job{ ui, QStringLiteral("/nonexistent/") };
};

TEST_F(MuxStages, OutputNamesBesideTheSource)
{
    source(QString::fromUtf16(u"\u1112\u1161\u11AB.a.b.mkv"), ContainerMkv, VideoH264);
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strOutputFolder, root + QStringLiteral("/media"));
    EXPECT_EQ(job.job.strOutputName, QString::fromUtf16(u"[Qor] 한.a.b.mp4"));
    EXPECT_EQ(job.job.strDcOutputName, QString::fromUtf16(u"[Qor-DC] 한.a.b.mp4"));
    EXPECT_EQ(job.job.strProgressFile, root + QStringLiteral("/media/progressing.mp4"));
}

TEST_F(MuxStages, AMissingSaveFolderSkipsTheJobAndWritesNothing)
{
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264);
    ui.options.bUseSaveFolder = true;
    ui.options.strSaveFolder = root + QStringLiteral("/gone/");
    EXPECT_EQ(PrepareTrackOptions(job), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("파일 생성 실패"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Output folder not found: ") + root + QStringLiteral("/gone")));
    EXPECT_TRUE(job.job.strProgressFile.isEmpty());

    // An existing save folder is used as it is.
    QDir().mkpath(root + QStringLiteral("/gone"));
    EXPECT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strProgressFile, root + QStringLiteral("/gone/progressing.mp4"));
}

TEST_F(MuxStages, ASourceNamedLikeTheInProgressFileIsNeverOverwritten)
{
    source(QStringLiteral("progressing.mp4"), ContainerMp4, VideoH264);
    job.job.report.iWidth = 320;
    job.job.report.iHeight = 240;
    ASSERT_EQ(convert(), StageResult::Continue);
    EXPECT_NE(job.job.strProgressFile, job.job.strSourcePath);
    QFile f(job.job.strSourcePath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("source bytes"));
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("[Qor] progressing.mp4"))));
}

TEST_F(MuxStages, AnotherFileNamedLikeTheInProgressFileIsLeftAlone)
{
    // "progressing.mp4" beside the source is another of the user's files (a source
    // further down the list, say): the mux writes under a free name and moves that.
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264);
    job.job.report.iWidth = 320;
    job.job.report.iHeight = 240;
    for (const char *taken : { "progressing.mp4", "progressing (Qor 1).mp4" }) {
        QFile f(out(QLatin1String(taken)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("user bytes");
    }
    ASSERT_EQ(convert(), StageResult::Continue);
    EXPECT_EQ(job.job.strProgressFile, out(QStringLiteral("progressing (Qor 2).mp4")));
    for (const char *taken : { "progressing.mp4", "progressing (Qor 1).mp4" }) {
        QFile f(out(QLatin1String(taken)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << taken;
        EXPECT_EQ(f.readAll(), QByteArray("user bytes")) << taken;
    }
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("[Qor] clip.mp4"))));
    EXPECT_FALSE(QFile::exists(job.job.strProgressFile));
}

TEST_F(MuxStages, ANextJobsFileUnderTheFreedInProgressNameOutlivesThisJobsEnd)
{
    // Jobs side by side mux into one folder: once this job's file has become its output,
    // the next job may take "progressing.mp4" while this one is still checking its result.
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264);
    job.job.report.iWidth = 320;
    job.job.report.iHeight = 240;
    ASSERT_EQ(convert(), StageResult::Continue);
    QFile next(job.job.strProgressFile);
    ASSERT_TRUE(next.open(QIODevice::WriteOnly));
    next.write("the next job's mux");
    next.close();
    DeleteTempFiles(job.tempFiles, false);
    EXPECT_TRUE(QFile::exists(job.job.strProgressFile));
}

TEST_F(MuxStages, AudioOptionAndDelaysPerAudioOrigin)
{
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264);
    job.job.report.iVideoDelay = 120;
    job.job.strAacFile = QStringLiteral("/w/final.aac");
    job.job.iInternalAudio = 0;
    job.job.iSourceAudioDelay = 500;
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, QStringLiteral(" -add \"/w/final.aac\"##AUDIODELAY##"));
    EXPECT_EQ(job.job.iMuxAudioDelay, 380);

    job.job.iInternalAudio = -1;
    job.job.iExternalAudioDelay = -300;
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.iMuxAudioDelay, -300);

    job.job.strAacFile.clear();
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_TRUE(job.job.strTrackOptions.isEmpty());
    EXPECT_EQ(job.job.iMuxAudioDelay, 0);
}

TEST_F(MuxStages, MkvWithThreeTextTracksExtractsTwoAndMuxes)
{
    source(QStringLiteral("movie.mkv"), ContainerMkv, VideoH264);
    for (auto [id, format] : { std::pair{ 3, TextSrt }, std::pair{ 4, TextSsa }, std::pair{ 5, TextUnknown } }) {
        TextTrack t;
        t.iID = id;
        t.iFormat = format;
        job.job.report.text << t;
    }
    job.job.report.iTextCount = 3;
    job.job.iSubtitleSource = 1;
    writeOutputReport(2000, 2000);
    ASSERT_EQ(convert(), StageResult::Continue);

    const QString w = job.strWorkFolder;
    const QStringList c = calls();
    ASSERT_EQ(c.size(), 5) << c.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(c[0], QStringLiteral("mkvextract|tracks|") + job.job.strSourcePath + QStringLiteral("|1:") + w
                  + QStringLiteral("temp.h264|3:") + w + QStringLiteral("sub_003.srt|4:") + w + QStringLiteral("sub_004.srt"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Extracting H.264 video and 3 subtitle(s) from MKV")));
    // Both extracted tracks go to timed text before the video option is built.
    EXPECT_EQ(c[1], QStringLiteral("MP4Box|-ttxt|") + w + QStringLiteral("sub_003.srt"));
    EXPECT_EQ(c[2], QStringLiteral("MP4Box|-ttxt|") + w + QStringLiteral("sub_004.srt"));
    EXPECT_EQ(job.job.strVideoOption, QStringLiteral(" -add \"") + w + QStringLiteral("temp.h264\":fps=23.976:level=3.1"));
    EXPECT_EQ(job.job.strMuxArgs, QStringLiteral(" -ipod -add \"") + w
                                      + QStringLiteral("temp.h264\":fps=23.976:level=3.1:delay=0 -par 1=1:1 -add \"") + w
                                      + QStringLiteral("sub_003.ttxt\":lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2 -add \"") + w
                                      + QStringLiteral("sub_004.ttxt\":lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2:disable \"")
                                      + root + QStringLiteral("/media/progressing.mp4\""));
    EXPECT_TRUE(c[3].startsWith(QStringLiteral("MP4Box|-ipod|-add|") + w + QStringLiteral("temp.h264:fps=23.976")));
    EXPECT_TRUE(c[4].startsWith(QStringLiteral("MediaInfo|-f|") + out(QStringLiteral("[Qor] movie.mp4"))));
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("[Qor] movie.mp4"))));
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("progressing.mp4"))));
    EXPECT_TRUE(job.tempFiles.contains(w + QStringLiteral("sub_003.srt")));
    EXPECT_TRUE(job.tempFiles.contains(w + QStringLiteral("temp.h264")));
}

TEST_F(MuxStages, MissingExtractedVideoSkipsTheJob)
{
    writeTool("mkvextract", "exit 0\n");
    source(QStringLiteral("movie.mkv"), ContainerMkv, VideoH264);
    job.job.iSubtitleSource = 3; // external: no subtitle specs
    EXPECT_EQ(convert(), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("비디오 추출 실패"));
    const QStringList c = calls();
    ASSERT_EQ(c.size(), 1);
    EXPECT_FALSE(c[0].contains(QStringLiteral("sub_")));
    EXPECT_TRUE(logText().contains(QStringLiteral("Video extraction failed")));
}

TEST_F(MuxStages, QuickTimeIsAddedByReferenceAndMpegGoesToReencoding)
{
    source(QStringLiteral("clip.mov"), ContainerQt, VideoH264);
    job.job.report.iWidth = 640;
    job.job.report.iHeight = 480;
    ui.options.bForNightly = true;
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    EXPECT_EQ(job.job.strVideoOption, QStringLiteral(" -add \"") + job.job.strSourcePath + QStringLiteral("\"#video:level=30"));
    EXPECT_TRUE(logText().contains(QStringLiteral("MP4Box video option: -add \"")));

    source(QStringLiteral("clip.mpg"), ContainerMpeg, VideoMpeg4Visual);
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    EXPECT_TRUE(job.job.bReencodeVideo);
    EXPECT_TRUE(job.job.strVideoOption.isEmpty());
    // Until a video track exists the mux refuses to make a file without one.
    EXPECT_EQ(MuxAndSync(job), StageResult::SkipJob);
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("[Qor] clip.mp4"))));
    EXPECT_TRUE(calls().isEmpty());
}

TEST_F(MuxStages, AviAndFlashCopyPaths)
{
    source(QStringLiteral("a.avi"), ContainerAvi, VideoH264);
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    const QString w = job.strWorkFolder;
    EXPECT_EQ(job.job.strVideoOption, QStringLiteral(" -add \"") + w + QStringLiteral("temp_video.h264\":fps=23.976:level=3.1"));
    source(QStringLiteral("b.avi"), ContainerAvi, VideoMpeg4Visual);
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    EXPECT_EQ(job.job.strVideoOption, QStringLiteral(" -add \"") + job.job.strSourcePath + QStringLiteral("\"#video"));
    source(QStringLiteral("c.flv"), ContainerFlv, VideoH264);
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    EXPECT_EQ(job.job.strVideoOption, QStringLiteral(" -add \"") + w + QStringLiteral("temp.mp4\"#video:fps=23.976:level=3.1"));
    source(QStringLiteral("d e.ogm"), ContainerOgg, VideoH264);
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    EXPECT_EQ(job.job.strVideoOption, QStringLiteral(" -add \"") + w + QStringLiteral("temp_video.h264\":fps=23.976:level=3.1"));
    const QStringList c = calls();
    ASSERT_EQ(c.size(), 4);
    EXPECT_EQ(c[0], QStringLiteral("MP4Box|-aviraw|video|") + root + QStringLiteral("/media/a.avi|-out|") + w + QStringLiteral("temp"));
    EXPECT_EQ(c[1], QStringLiteral("ffmpeg|-i|") + root + QStringLiteral("/media/c.flv|-vcodec|copy|-an|") + w + QStringLiteral("temp.mp4"));
    EXPECT_EQ(c[2], QStringLiteral("OGMDemuxer|tracks|") + root + QStringLiteral("/media/d e.ogm|-p|1:") + w + QStringLiteral("d e.avi"));
    EXPECT_EQ(c[3], QStringLiteral("MP4Box|-aviraw|video|") + w + QStringLiteral("d e.avi|-out|") + w + QStringLiteral("temp"));
}

TEST_F(MuxStages, NegativeAudioDelayShiftsVideoAndTheExternalSubtitle)
{
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264);
    const QString ttxt = root + QStringLiteral("/work/clip.ttxt");
    QFile::copy(QString::fromLocal8Bit(qgetenv("MARBLEWAY_SOURCE_DIR")) + QStringLiteral("/tests/subtitles_ttxt/data/movie.ttxt"),
                ttxt);
    ASSERT_TRUE(QFile::exists(ttxt));
    job.job.strAacFile = root + QStringLiteral("/work/final.aac");
    job.job.iExternalAudioDelay = -40;
    job.job.iSubtitleSource = 3;
    job.job.strSubtitleTtxt = ttxt;
    writeOutputReport(2000, 2000);
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    job.job.strTrackOptions += QStringLiteral(" -add \"") + ttxt + QStringLiteral("\":hdlr=sbtl:disable");
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    ASSERT_EQ(MuxAndSync(job), StageResult::Continue);
    const QString adj = root + QStringLiteral("/work/clip_adj.ttxt");
    EXPECT_TRUE(job.job.strMuxArgs.contains(QStringLiteral("level=3.1:delay=40 -par")));
    EXPECT_TRUE(job.job.strMuxArgs.contains(QStringLiteral("final.aac\":delay=0 -add \"") + adj + QStringLiteral("\":hdlr=sbtl \"")));
    EXPECT_EQ(job.job.iMuxVideoDelay, 40);
    ASSERT_TRUE(QFile::exists(adj));
    QFile f(adj);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QFile g(ttxt);
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    EXPECT_NE(f.readAll(), g.readAll());
    EXPECT_TRUE(job.tempFiles.contains(adj));
}

TEST_F(MuxStages, SyncProblemMakesTheCorrectedFile)
{
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264);
    job.job.strAacFile = root + QStringLiteral("/work/final.aac");
    job.job.iInternalAudio = 0;
    job.job.report.iVideoDuration = 2040;
    ui.options.bCreateDC = true;
    writeOutputReport(2000, 2500);
    ASSERT_EQ(convert(), StageResult::Continue);
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("[Qor] clip.mp4"))));
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("[Qor-DC] clip.mp4"))));
    EXPECT_TRUE(job.job.strMuxArgs.contains(QStringLiteral("level=3.1:delay=500 -par")));
    EXPECT_TRUE(job.job.strMuxArgs.contains(QStringLiteral("final.aac\":delay=0")));
    EXPECT_TRUE(logText().contains(QStringLiteral("A/V sync problem detected")));
    EXPECT_TRUE(logText().contains(QStringLiteral("Muxing final MP4 file (one more time)")));
}

TEST_F(MuxStages, SyncCheckBoundaryAndOverwrite)
{
    source(QStringLiteral("clip.mkv"), ContainerMkv, VideoH264);
    job.job.strAacFile = root + QStringLiteral("/work/final.aac");
    job.job.iInternalAudio = 0;
    job.job.report.iVideoDuration = 2040;
    ui.options.bCreateDC = true;
    ui.options.bOverwriteDC = true;
    writeOutputReport(2000, 2100); // d = 100: in sync
    ASSERT_EQ(convert(), StageResult::Continue);
    EXPECT_FALSE(logText().contains(QStringLiteral("A/V sync problem detected")));
    EXPECT_EQ(calls().size(), 3); // mkvextract, MP4Box, MediaInfo

    writeOutputReport(2000, 2101); // d = 101
    ASSERT_EQ(convert(), StageResult::Continue);
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("[Qor] clip.mp4"))));
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("[Qor-DC] clip.mp4"))));
    EXPECT_TRUE(job.job.strMuxArgs.contains(QStringLiteral(":delay=101 -par")));
}

TEST_F(MuxStages, StopDuringTheMuxEndsTheRun)
{
    writeTool("MP4Box", "echo Importing; exec sleep 30\n");
    source(QStringLiteral("clip.mp4"), ContainerMp4, VideoH264);
    ui.stopWhileRunning = true;
    EXPECT_EQ(convert(), StageResult::StopRun);
    EXPECT_TRUE(ui.stopRequested);
    EXPECT_EQ(status(), QStringLiteral("비디오 합성중"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Mux stopped")));
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("[Qor] clip.mp4"))));
    // The part-written file is registered, so the run's end removes it.
    EXPECT_TRUE(job.tempFiles.contains(out(QStringLiteral("progressing.mp4"))));
}

TEST_F(MuxStages, MuxWithoutResultSkipsTheJob)
{
    writeTool("MP4Box", "exit 1\n");
    source(QStringLiteral("clip.mp4"), ContainerMp4, VideoH264);
    EXPECT_EQ(convert(), StageResult::SkipJob);
    EXPECT_EQ(status(), QStringLiteral("파일 생성 실패"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Mux failed")));
}

} // namespace
