// The subtitle stage driven with a stand-in MP4Box that turns "-ttxt X.srt" into
// X.ttxt (a real timed-text file, so the font size step has something to rewrite):
// preparation of external files, track options, extracted MKV tracks, Stop, and the
// tracks taken out before the mux when their file was never made.
#include "ReportBuilder.h"
#include "StageHarness.h"
#include "../QtPrinters.h"

#include "engine/ConvertJob.h"
#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/SourceFiles.h"
#include "engine/Stages.h"
#include "engine/SubtitleStage.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace reports;
using stagetest::Recorder;

namespace {



// "-ttxt X.srt" copies the template to X.ttxt unless the SRT's name contains $FAIL_ON;
// mkvextract writes each listed track from $TRACKS/<file name> (or an empty file).
const char *const kMp4Box =
    "if [ \"$1\" = -ttxt ] && [ $# -eq 2 ]; then\n"
    "  case \"$2\" in *\"${FAIL_ON:-//}\"*) exit 1;; esac\n"
    "  cp \"$TEMPLATE\" \"${2%.srt}.ttxt\"; exit 0\n"
    "fi\n"
    "case \"$1\" in -ttxt) cp \"$TEMPLATE\" \"${5}_${2}_text.ttxt\";; *) for last; do :; done; printf 'mp4' > \"$last\";; esac\n";
const char *const kMkvextract =
    "shift 2; for spec; do f=\"${spec#*:}\"; if [ -f \"$TRACKS/$(basename \"$f\")\" ]; then cp \"$TRACKS/$(basename \"$f\")\" \"$f\"; "
    "else : > \"$f\"; fi; done\n";

const char kAss[] = "[Script Info]\nScriptType: v4.00+\n\n[Events]\n"
                    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
                    "Dialogue: 0,0:00:00.30,0:00:01.00,Default,,0,0,0,,{\\b1}Bold{\\b0} text\n";
const char kSrt[] = "1\n00:00:00,200 --> 00:00:01,000\nHello\n\n";

class SubtitleStages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = dir.path();
        for (const char *sub : { "/prog/tools", "/work", "/media", "/tracks" })
            QDir().mkpath(root + QString::fromLatin1(sub));
        qputenv("CALLS", (root + QStringLiteral("/calls.txt")).toUtf8());
        qputenv("TRACKS", (root + QStringLiteral("/tracks")).toUtf8());
        qputenv("TEMPLATE", (QString::fromLocal8Bit(qgetenv("MARBLEWAY_SOURCE_DIR"))
                             + QStringLiteral("/tests/subtitles_ttxt/data/movie.ttxt"))
                                .toUtf8());
        qunsetenv("FAIL_ON");
        writeTool("MP4Box", kMp4Box);
        writeTool("mkvextract", kMkvextract);
        writeTool("MediaInfo", "cat \"$REPORT\"\n");
        qputenv("REPORT", (root + QStringLiteral("/report.txt")).toUtf8());
        QFile r(root + QStringLiteral("/report.txt"));
        ASSERT_TRUE(r.open(QIODevice::WriteOnly));
        r.write(section("General", { { "Format", "MPEG-4" } }));
        r.close();

        job.tools = BuildToolTable(root + QStringLiteral("/prog/"), false);
        for (ToolEntry &t : job.tools)
            t.shortPath = platform::shortPath(t.fullPath);
        job.strWorkFolder = root + QStringLiteral("/work/");
        job.log.Start(root + QStringLiteral("/log.txt"));
        ui.options.iSubtitleSize = 2; // 36 points
    }

    void writeTool(const char *name, const char *body)
    {
        ASSERT_TRUE(stagetest::writeTool(root + QStringLiteral("/prog/tools/") + QString::fromLatin1(name), body));
    }

    void write(const QString &relative, const QByteArray &bytes)
    {
        QFile f(root + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray read(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // A source in media/ as the job's row, with an external subtitle extension in column 3.
    void source(const QString &name, ContainerKind container, const QString &subtitleExt = QString())
    {
        const QString folder = root + QStringLiteral("/media/");
        ASSERT_TRUE(stagetest::startJob(ui, job, folder, name, container, VideoH264, 160, 120, QStringLiteral("25")));
        ui.list.setText(0, FileList::kSubtitle, subtitleExt);
        auto &j = job.job;
        if (!subtitleExt.isEmpty()) {
            const QString sub = folder + name.left(name.lastIndexOf(QLatin1Char('.')) + 1) + subtitleExt;
            j.strExternalSubtitle = sub;
        }
    }

    void addText(int id, TextFormat format, const char *language = "")
    {
        TextTrack t;
        t.iID = id;
        t.iFormat = format;
        qstrncpy(t.szLanguage, language, sizeof t.szLanguage);
        job.job.report.text << t;
        job.job.report.iTextCount = static_cast<int>(job.job.report.text.size());
    }

    QString logText() const { return stagetest::readLog(root + QStringLiteral("/log.txt")); }
    QStringList calls() const { return stagetest::readCalls(root + QStringLiteral("/calls.txt")); }

    QString w(const char *name) const { return job.strWorkFolder + QString::fromUtf8(name); }

    QTemporaryDir dir;
    QString root;
    Recorder ui;
    ConvertJob job{ ui, QStringLiteral("/nonexistent/") };
};

TEST_F(SubtitleStages, SamiClassesBecomeTracksInClassOrderAtTheChosenSize)
{
    source(QStringLiteral("clip.avi"), ContainerAvi, QStringLiteral("smi"));
    write(QStringLiteral("/media/clip.smi"),
          "<SAMI><HEAD><STYLE><!-- .KRCC {Name:Korean; lang:ko-KR;} .ENCC {Name:English; lang:en-US;} --></STYLE></HEAD>"
          "<BODY><SYNC Start=1000><P Class=KRCC>안녕<SYNC Start=2000><P Class=KRCC>&nbsp;"
          "<SYNC Start=1000><P Class=ENCC>Hello<SYNC Start=2000><P Class=ENCC>&nbsp;</BODY></SAMI>");
    job.job.strAudioFile = root + QStringLiteral("/media/clip.ac3");
    job.job.strSummary = QStringLiteral("AVI / AC3(ext)");
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    EXPECT_EQ(job.job.iSubtitleSource, kSamiFile);
    ASSERT_EQ(job.job.samiSrtFiles.size(), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("2 subtitle(s) extracted & converted")));
    // The audio stage adds no summary for an external audio file, so this stage does.
    EXPECT_EQ(ui.summary, QStringLiteral("AVI / AC3(ext) / SAMI(ext)"));

    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    const QString ko = w("clip.smi.1.ttxt"), en = w("clip.smi.2.ttxt");
    EXPECT_EQ(job.job.strTrackOptions,
              SubtitleTrackOption(ko, QStringLiteral("ko"), true) + SubtitleTrackOption(en, QStringLiteral("en"), true));
    EXPECT_EQ(job.job.strSubtitleTtxt, en);
    EXPECT_EQ(job.job.externalTtxtFiles, (QStringList{ ko, en }));
    for (const QString &f : { ko, en }) {
        EXPECT_TRUE(read(f).contains("fontSize=\"36\"")) << f.toStdString();
        EXPECT_FALSE(read(f).contains("fontSize=\"18\"")) << f.toStdString();
        EXPECT_TRUE(job.tempFiles.contains(f));
    }
    EXPECT_TRUE(job.tempFiles.contains(w("clip.smi.1.srt")));
    EXPECT_TRUE(logText().contains(QStringLiteral("SRT → TTXT conversion: ") + w("clip.smi.1.srt") + QStringLiteral(" → ") + ko));
}

TEST_F(SubtitleStages, ExternalSrtAndAssAreKoreanWithoutLayout)
{
    source(QStringLiteral("movie.mkv"), ContainerMkv, QStringLiteral("srt"));
    addText(3, TextSrt, "ja"); // the external file wins over internal tracks
    write(QStringLiteral("/media/movie.srt"), kSrt); // plain English text
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    EXPECT_EQ(job.job.iSubtitleSource, kSrtFile);
    EXPECT_EQ(job.job.strPreparedSrt, w("movie.UTF8.srt"));
    EXPECT_TRUE(logText().contains(QStringLiteral("rewriting SRT subtitle finished")));
    EXPECT_EQ(ui.summary, QString()); // no external audio: the audio stage writes the summary
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, SubtitleTrackOption(w("movie.UTF8.ttxt"), QStringLiteral("ko"), false));
    EXPECT_EQ(job.job.strSubtitleTtxt, w("movie.UTF8.ttxt"));

    source(QStringLiteral("show.avi"), ContainerAvi, QStringLiteral("ssa"));
    write(QStringLiteral("/media/show.ssa"), kAss);
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    EXPECT_EQ(job.job.iSubtitleSource, kSsaFile);
    EXPECT_EQ(job.job.strPreparedSrt, w("SUB.srt"));
    EXPECT_TRUE(read(w("SUB.srt")).contains("<b>Bold</b> text"));
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, SubtitleTrackOption(w("SUB.ttxt"), QStringLiteral("ko"), false));
    EXPECT_FALSE(job.job.bSubtitleFailed);
}

TEST_F(SubtitleStages, FailedPreparationOrConversionGivesNoTrack)
{
    // An SRT without a single well-formed cue: the job goes on without subtitles.
    source(QStringLiteral("a.avi"), ContainerAvi, QStringLiteral("srt"));
    write(QStringLiteral("/media/a.srt"), "not a subtitle\n");
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    EXPECT_EQ(job.job.iSubtitleSource, kNoSubtitle);
    EXPECT_TRUE(logText().contains(QStringLiteral("rewriting SRT subtitle failed")));
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, QString());
    // Every failure below is one the row's final status reports.
    EXPECT_TRUE(job.job.bSubtitleFailed);

    // An ASS file without events.
    source(QStringLiteral("b.avi"), ContainerAvi, QStringLiteral("ass"));
    write(QStringLiteral("/media/b.ass"), "[Script Info]\n");
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    EXPECT_EQ(job.job.iSubtitleSource, kNoSubtitle);
    EXPECT_TRUE(job.job.bSubtitleFailed);

    // A SAMI file that is missing keeps the source with no class files.
    source(QStringLiteral("c.avi"), ContainerAvi, QStringLiteral("smi"));
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    EXPECT_EQ(job.job.iSubtitleSource, kSamiFile);
    EXPECT_TRUE(job.job.samiSrtFiles.isEmpty());
    EXPECT_TRUE(logText().contains(QStringLiteral("Converting SAMI subtitle(s) to SRT failed")));
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, QString());
    EXPECT_TRUE(job.job.bSubtitleFailed);

    // MP4Box makes no timed text of a good SRT: no option, no file to shift later.
    source(QStringLiteral("d.avi"), ContainerAvi, QStringLiteral("srt"));
    write(QStringLiteral("/media/d.srt"), kSrt);
    // A timed-text file kept from an earlier job must not pass for this one's.
    write(QStringLiteral("/work/d.UTF8.ttxt"), "old");
    qputenv("FAIL_ON", "d.UTF8");
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, QString());
    EXPECT_EQ(job.job.strSubtitleTtxt, QString());
    EXPECT_FALSE(QFile::exists(w("d.UTF8.ttxt")));
    EXPECT_TRUE(job.job.bSubtitleFailed);
}

TEST_F(SubtitleStages, SubtitlesNamedWithALanguageAreFoundAndEachBecomesATrack)
{
    const QString media = root + QStringLiteral("/media/");
    for (const char *name : { "movie.srt", "movie.EN.SRT", "movie.ko.smi", "movie.jpn.ass", "movie.part1.srt",
                              "movie.ko.txt", "other.fr.srt", "movie.xx.srt" })
        write(QStringLiteral("/media/") + QString::fromLatin1(name), kSrt);
    write(QStringLiteral("/media/movie.ko.smi"),
          "<SAMI><BODY><SYNC Start=1000><P Class=SUBTTL>하나<SYNC Start=1000><P Class=ENCC>one</BODY></SAMI>");
    write(QStringLiteral("/media/movie.jpn.ass"), kAss);
    const QList<TaggedSubtitle> found = FindLanguageSubtitles(media + QStringLiteral("movie"));
    ASSERT_EQ(found.size(), 3);
    // Korean first, then in name order; the extension is matched without regard to case.
    EXPECT_EQ(found[0].path, media + QStringLiteral("movie.ko.smi"));
    EXPECT_EQ(found[1].path, media + QStringLiteral("movie.EN.SRT"));
    EXPECT_EQ(found[1].extension, QStringLiteral("srt"));
    EXPECT_EQ(found[1].language, QStringLiteral("en"));
    EXPECT_EQ(found[2].language, QStringLiteral("ja"));

    // The plain movie.srt is the first track (Korean), the named ones follow with
    // their languages; a SAMI class the tables know keeps its own language.
    source(QStringLiteral("movie.avi"), ContainerAvi, QStringLiteral("srt"));
    job.job.extraSubtitles = found;
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions,
              SubtitleTrackOption(w("movie.UTF8.ttxt"), QStringLiteral("ko"), false)
                  + SubtitleTrackOption(w("movie.ko.smi.1.ttxt"), QStringLiteral("ko"), true)
                  + SubtitleTrackOption(w("movie.ko.smi.2.ttxt"), QStringLiteral("en"), true)
                  + SubtitleTrackOption(w("movie.EN.UTF8.ttxt"), QStringLiteral("en"), false)
                  + SubtitleTrackOption(w("SUB2.ttxt"), QStringLiteral("ja"), false));
    EXPECT_EQ(job.job.externalTtxtFiles.size(), 5);
    EXPECT_FALSE(job.job.bSubtitleFailed);

    // Without a plain file the list shows the first named one's extension.
    QFile::remove(media + QStringLiteral("movie.srt"));
    MemoryFileList list;
    const int row = list.appendRow(QStringLiteral("movie.avi"), media);
    FindCompanions(list, row);
    EXPECT_EQ(list.text(row, FileList::kSubtitle), QStringLiteral("smi"));
}

TEST_F(SubtitleStages, StopDuringTheExternalConversionEndsTheRun)
{
    source(QStringLiteral("movie.avi"), ContainerAvi, QStringLiteral("srt"));
    write(QStringLiteral("/media/movie.srt"), kSrt);
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    writeTool("MP4Box", "echo Importing; exec sleep 30\n");
    ui.stopWhileRunning = true;
    EXPECT_EQ(PrepareTrackOptions(job), StageResult::StopRun);
    EXPECT_TRUE(ui.stopRequested);
    EXPECT_TRUE(ui.enabled);
    EXPECT_TRUE(logText().contains(QString::fromUtf8(kSubtitleStopLine)));
    EXPECT_FALSE(job.job.strTrackOptions.contains(QStringLiteral("sbtl")));
}

TEST_F(SubtitleStages, InternalMkvTracksWithNumberedLinesAndAFailedTrackLeftOut)
{
    // SRT (ID 3, en), a VobSub-like track (ID 4) and ASS (ID 5, no language).
    source(QStringLiteral("movie.mkv"), ContainerMkv);
    addText(3, TextSrt, "en");
    addText(4, TextUnknown);
    addText(5, TextSsa);
    write(QStringLiteral("/tracks/sub_003.srt"), kSrt);
    write(QStringLiteral("/tracks/sub_005.srt"), kAss);
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    ASSERT_EQ(job.job.iSubtitleSource, kInternalSubtitles);
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, SubtitleTrackOption(w("sub_003.ttxt"), QStringLiteral("en"), true)
                                           + SubtitleTrackOption(w("sub_005.ttxt"), QStringLiteral("ko"), true));

    qputenv("FAIL_ON", "sub_003");
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Converting SRT to TTXT (1/3)")));
    EXPECT_TRUE(log.contains(QStringLiteral("Converting ASS/SSA to SRT (3/3)")));
    EXPECT_TRUE(log.contains(QStringLiteral("Converting SRT to TTXT (3/3)")));
    EXPECT_TRUE(log.contains(QStringLiteral("Converting failed")));
    EXPECT_TRUE(log.contains(QStringLiteral("Converting finished")));
    // The ASS track was rewritten as SRT in place before MP4Box saw it.
    EXPECT_TRUE(read(w("sub_005.srt")).contains("00:00:00,300 --> 00:00:01,000"));
    EXPECT_TRUE(read(w("sub_005.ttxt")).contains("fontSize=\"36\""));
    EXPECT_FALSE(QFile::exists(w("sub_003.ttxt")));
    EXPECT_TRUE(job.tempFiles.contains(w("sub_003.ttxt")));

    ASSERT_EQ(MuxAndSync(job), StageResult::Continue);
    // The failed track is left out; the remaining one is the first and enabled.
    EXPECT_FALSE(job.job.strMuxArgs.contains(QStringLiteral("sub_003")));
    EXPECT_TRUE(job.job.strMuxArgs.contains(QStringLiteral(" -add \"") + w("sub_005.ttxt")
                                            + QStringLiteral("\":lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2 \"")));
    EXPECT_TRUE(logText().contains(QStringLiteral("Subtitle track left out, no file: ") + w("sub_003.ttxt")));
    EXPECT_TRUE(job.job.bSubtitleFailed);
}

TEST_F(SubtitleStages, ExtractedTrackConversionLogStyles)
{
    source(QStringLiteral("movie.mkv"), ContainerMkv);
    addText(2, TextSsa);
    write(QStringLiteral("/work/sub_002.srt"), kAss);
    ASSERT_EQ(ConvertExtractedMkvTracks(job, TrackLogStyle::Silent), StageResult::Continue);
    EXPECT_TRUE(QFile::exists(w("sub_002.ttxt")));
    QString log = logText();
    EXPECT_FALSE(log.contains(QStringLiteral("Converting ASS/SSA")));
    EXPECT_FALSE(log.contains(QStringLiteral("Converting SRT to TTXT")));
    EXPECT_FALSE(log.contains(QStringLiteral("Converting finished")));
    EXPECT_TRUE(log.contains(QStringLiteral("SRT → TTXT conversion: ") + w("sub_002.srt")));

    write(QStringLiteral("/work/sub_002.srt"), kAss);
    ASSERT_EQ(ConvertExtractedMkvTracks(job, TrackLogStyle::Unnumbered), StageResult::Continue);
    log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Converting ASS/SSA to SRT\r\n")) || log.contains(QStringLiteral("Converting ASS/SSA to SRT\n")));
    EXPECT_FALSE(log.contains(QStringLiteral("(1/1)")));
    EXPECT_TRUE(log.contains(QStringLiteral("Converting finished")));
}

TEST_F(SubtitleStages, StopDuringAnExtractedTrackConversionEndsTheRun)
{
    source(QStringLiteral("movie.mkv"), ContainerMkv);
    addText(3, TextSrt);
    addText(4, TextSrt);
    write(QStringLiteral("/work/sub_003.srt"), kSrt);
    write(QStringLiteral("/work/sub_004.srt"), kSrt);
    writeTool("MP4Box", "echo Importing; exec sleep 30\n");
    ui.stopWhileRunning = true;
    EXPECT_EQ(ConvertExtractedMkvTracks(job, TrackLogStyle::Unnumbered), StageResult::StopRun);
    EXPECT_TRUE(logText().contains(QString::fromUtf8(kSubtitleStopLine)));
    // The second track never ran.
    EXPECT_FALSE(calls().join(QLatin1Char('\n')).contains(QStringLiteral("sub_004")));
    EXPECT_FALSE(logText().contains(QStringLiteral("sub_004")));
}

TEST_F(SubtitleStages, Mp4TimedTextIsRestyledAndAnSrtOnlyMp4GetsNoTrack)
{
    source(QStringLiteral("clip.mp4"), ContainerMp4);
    addText(3, TextTtxt, "ja");
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, SubtitleTrackOption(w("sub_3_text.ttxt"), QStringLiteral("ja"), true));
    ASSERT_EQ(ExtractVideo(job), StageResult::Continue);
    EXPECT_TRUE(read(w("sub_3_text.ttxt")).contains("fontSize=\"36\""));

    source(QStringLiteral("srt.mp4"), ContainerMp4);
    addText(2, TextSrt);
    ASSERT_EQ(PrepareSubtitles(job), StageResult::Continue);
    EXPECT_EQ(job.job.iSubtitleSource, kInternalSubtitles);
    ASSERT_EQ(PrepareTrackOptions(job), StageResult::Continue);
    EXPECT_EQ(job.job.strTrackOptions, QString());
}

} // namespace
