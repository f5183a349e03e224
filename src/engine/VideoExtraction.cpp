#include "engine/Stages.h"

#include "engine/FrontEnd.h"
#include "engine/LevelOption.h"
#include "engine/SubtitleStage.h"
#include "engine/ToolStep.h"
#include "engine/VideoAhead.h"
#include "engine/VideoCopyPlan.h"
#include "engine/VideoReencodePlan.h"
#include "runner/RunTool.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <QFile>

namespace {

const QString kExtractingStatus = QStringLiteral("비디오 추출중");
struct StepLines
{
    QString stop;
    QString failed;
    QString finished;
};

const StepLines kVideoLines{ QStringLiteral("Video extraction stopped"), QStringLiteral("Video extraction failed"),
                             QStringLiteral("Video extraction finished") };
const StepLines kPlainLines{ QStringLiteral("Extraction stopped"), QStringLiteral("Extraction failed"),
                             QStringLiteral("Extraction finished") };

// One extraction: an old output is removed first when asked, the tool runs, and a
// missing output skips the job.
StageResult extract(ConvertJob &job, ToolId tool, const QString &status, const QString &action,
                    const QString &arguments, const QString &output, bool deleteFirst, const StepLines &lines)
{
    // An early run of this very step has written it already.
    const bool ranAhead = job.job.videoAhead && job.job.videoAhead->runs(tool, arguments);
    if (deleteFirst && !ranAhead)
        QFile::remove(output);
    ToolStep step;
    step.tool = tool;
    step.statusText = status;
    step.logAction = action;
    step.output = output;
    step.arguments = arguments;
    step.stopLine = lines.stop;
    switch (RunToolStep(job, step)) {
    case StepOutcome::Stopped:
        return StageResult::StopRun;
    case StepOutcome::Missing:
        job.Log(lines.failed);
        job.setStatus(QStringLiteral("비디오 추출 실패"));
        return StageResult::SkipJob;
    case StepOutcome::Produced:
        break;
    }
    job.Log(lines.finished);
    return StageResult::Continue;
}

QString levelOption(ConvertJob &job)
{
    const MediaReport &r = job.job.report;
    // Today's devices play every level up to 5.2: a copied stream keeps the level its
    // encoder wrote, which a level from size and rate alone could understate.
    if (job.options.iDeviceKind == kTodaysDevice)
        return QString();
    return ChooseLevelOption(r.iWidth, r.iHeight, r.strFrameRate, job.options.bForNightly, &job.log);
}

// A rate the muxer can time a raw stream by; variable-rate sources report none.
bool hasFrameRate(ConvertJob &job)
{
    return FrameRateNumber(job.job.report.strFrameRate) > 0;
}

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

// " -add \"FILE\":fps=RATE:level=..." for a raw H.264 (or HEVC) stream, which carries no
// timing of its own.
QString rawH264Option(ConvertJob &job, const QString &file)
{
    return QStringLiteral(" -add ") + quoted(file) + QStringLiteral(":fps=") + job.job.report.strFrameRate
        + levelOption(job);
}

// The subtitle tracks of an MKV whose video is not extracted; each track's file is
// tested by the conversion that follows.
StageResult extractMkvSubtitlesOnly(ConvertJob &job, const QString &arguments)
{
    ToolStep step;
    step.tool = kMkvextract;
    step.statusText = QStringLiteral("자막 추출중");
    step.logAction = QStringLiteral("Extracting subtitle from MKV");
    step.arguments = arguments;
    step.stopLine = kVideoLines.stop;
    step.finishedLine = kVideoLines.finished;
    return RunToolStep(job, step) == StepOutcome::Stopped ? StageResult::StopRun : StageResult::Continue;
}

QString aviRawArguments(const QString &avi, const QString &outBase)
{
    return QStringLiteral("-aviraw video ") + quoted(avi) + QStringLiteral(" -out ") + quoted(outBase);
}

// What mkvextract is asked for on an MKV's copy path: the video track as a raw stream
// (none at a variable rate: the mux takes the track from the source with its own clock),
// and with it the subtitle tracks to convert, if they are the job's subtitles.
struct MkvExtraction
{
    QString out;
    QString args;
    bool ownClock = false;
    QStringList subtitleFiles;
};

MkvExtraction mkvExtraction(ConvertJob &job, VideoRoute route)
{
    auto &j = job.job;
    const QString &w = job.strWorkFolder;
    const QString &source = j.strSourceShortPath;
    const bool h264 = route == VideoRoute::MkvH264;
    const bool hevc = route == VideoRoute::MkvHevc;
    MkvExtraction plan;
    plan.ownClock = (h264 || hevc) && !hasFrameRate(job);
    plan.out = w + (h264 ? QStringLiteral("temp.h264") : hevc ? QStringLiteral("temp.h265") : QStringLiteral("temp.avi"));
    plan.args = plan.ownClock ? Fmt("tracks \"%s\"").s(source).str()
                              : Fmt("tracks \"%s\" %d:\"%s\"").s(source).d(j.report.iVideoID).s(plan.out).str();
    if (j.iSubtitleSource == 1)
        plan.args += MkvSubtitleSpecs(j.report, w, plan.subtitleFiles);
    return plan;
}

StageResult copyPath(ConvertJob &job, VideoRoute route)
{
    auto &j = job.job;
    const QString &w = job.strWorkFolder;
    const QString &source = j.strSourceShortPath;
    StageResult r = StageResult::Continue;

    switch (route) {
    case VideoRoute::AviRaw: {
        const QString base = w + QStringLiteral("temp");
        const QString raw = base + QStringLiteral("_video.h264");
        r = extract(job, kMP4Box, kExtractingStatus, QStringLiteral("Extracting H.264 from AVI"),
                    aviRawArguments(source, base), raw, true, kVideoLines);
        if (r == StageResult::Continue)
            j.strVideoOption = rawH264Option(job, raw);
        break;
    }
    case VideoRoute::AviReference:
        j.strVideoOption = QStringLiteral(" -add ") + quoted(source) + QStringLiteral("#video");
        break;
    case VideoRoute::MkvH264:
    case VideoRoute::MkvHevc:
    case VideoRoute::MkvOther: {
        const bool h264 = route == VideoRoute::MkvH264;
        const bool hevc = route == VideoRoute::MkvHevc;
        const MkvExtraction plan = mkvExtraction(job, route);
        const bool ownClock = plan.ownClock;
        const QString &out = plan.out;
        const QString &args = plan.args;
        const QStringList &subtitleFiles = plan.subtitleFiles;
        for (const QString &f : subtitleFiles)
            AddTempFile(job.tempFiles, f);
        if (ownClock) {
            job.Log(QStringLiteral("No frame rate reported: the video track is added from the source"));
            r = subtitleFiles.isEmpty() ? StageResult::Continue : extractMkvSubtitlesOnly(job, args);
        } else {
            const char *const format = h264 ? "Extracting H.264 video and %d subtitle(s) from MKV"
                : hevc                  ? "Extracting HEVC video and %d subtitle(s) from MKV"
                                        : "Extracting MPEG4 video and %d subtitle(s) from MKV";
            const QString action = Fmt(format).d(j.report.iTextCount);
            r = extract(job, kMkvextract, kExtractingStatus, action, args, out, true, kVideoLines);
        }
        if (r != StageResult::Continue)
            break;
        if (j.iSubtitleSource == 1) {
            r = ConvertExtractedMkvTracks(job, h264 || hevc ? TrackLogStyle::Numbered : TrackLogStyle::Silent);
            if (r != StageResult::Continue)
                break;
        }
        if (ownClock)
            j.strVideoOption = QStringLiteral(" -add ") + quoted(source) + QStringLiteral("#video") + levelOption(job);
        else
            j.strVideoOption = h264 || hevc ? rawH264Option(job, out) : QStringLiteral(" -add ") + quoted(out) + QStringLiteral("#video");
        break;
    }
    case VideoRoute::Mp4Reference:
        if (j.iSubtitleSource == 1) {
            r = ExtractMp4TimedText(job, TrackLogStyle::Numbered);
            if (r != StageResult::Continue)
                break;
        }
        j.strVideoOption = QStringLiteral(" -add ") + quoted(source) + QStringLiteral("#video");
        if (j.bVideoIsH264)
            j.strVideoOption += levelOption(job);
        break;
    case VideoRoute::Flash: {
        const QString out = w + QStringLiteral("temp.mp4");
        r = extract(job, kFfmpeg, kExtractingStatus, QStringLiteral("Extracting video from Flash Video"),
                    Fmt("-i \"%s\" -vcodec copy -an \"%s\"").s(source).s(out), out, true, kPlainLines);
        if (r != StageResult::Continue)
            break;
        j.strVideoOption = QStringLiteral(" -add ") + quoted(out) + QStringLiteral("#video");
        // The MP4 keeps the source's timestamps; a rate is forced on them only when known.
        if (j.bVideoIsH264)
            j.strVideoOption += (hasFrameRate(job) ? QStringLiteral(":fps=") + j.report.strFrameRate : QString())
                + levelOption(job);
        break;
    }
    case VideoRoute::TsCopy: {
        // The first video stream alone, timestamps as in the stream from its start;
        // broadcast subtitles and teletext stay behind (MP4 text cannot hold them).
        const QString out = w + QStringLiteral("temp.mp4");
        r = extract(job, kFfmpeg, kExtractingStatus, QStringLiteral("Extracting video from MPEG-TS"),
                    Fmt("-i \"%s\" -map 0:v:0 -vcodec copy -an -sn -dn \"%s\"").s(source).s(out), out, true, kPlainLines);
        if (r == StageResult::Continue)
            j.strVideoOption = QStringLiteral(" -add ") + quoted(out) + QStringLiteral("#video") + levelOption(job);
        break;
    }
    case VideoRoute::OggH264:
    case VideoRoute::OggOther: {
        const bool h264 = route == VideoRoute::OggH264;
        const QString avi = w + ShortBaseName(source) + QStringLiteral(".avi");
        const QString args = Fmt("tracks \"%s\" -p %d:\"%s\"").s(source).d(j.report.iVideoID).s(avi);
        r = extract(job, kOGMDemuxer, h264 ? QStringLiteral("비디오 추출중 1/2") : kExtractingStatus,
                    h264 ? QStringLiteral("Extracting H.264 video from OGG to AVI")
                         : QStringLiteral("Extracting MPEG4 video from OGG to AVI"),
                    args, avi, true, kPlainLines);
        if (r != StageResult::Continue)
            break;
        if (!h264) {
            j.strVideoOption = QStringLiteral(" -add ") + quoted(avi) + QStringLiteral("#video");
            break;
        }
        const QString base = w + QStringLiteral("temp");
        const QString raw = base + QStringLiteral("_video.h264");
        r = extract(job, kMP4Box, QStringLiteral("비디오 추출중 2/2"), QStringLiteral("Extracting H.264 video from AVI"),
                    aviRawArguments(avi, base), raw, true, kPlainLines);
        if (r == StageResult::Continue)
            j.strVideoOption = rawH264Option(job, raw);
        break;
    }
    case VideoRoute::Reencode:
    case VideoRoute::NoVideo:
        break;
    }
    if (r == StageResult::Continue)
        job.Log(QStringLiteral("MP4Box video option:") + j.strVideoOption);
    return r;
}

} // namespace

void StartVideoAhead(ConvertJob &job)
{
    auto &j = job.job;
    if (j.iInternalAudio < 0 && j.strAudioFile.isEmpty())
        return; // no audio to make meanwhile
    const VideoRoute route = ChooseVideoRoute(j.report, j.bReencodeVideo, job.options.iConversionMode);
    ToolId tool;
    QString args, out;
    QStringList subtitleFiles;
    switch (route) {
    case VideoRoute::AviRaw: {
        const QString base = job.strWorkFolder + QStringLiteral("temp");
        tool = kMP4Box;
        args = aviRawArguments(j.strSourceShortPath, base);
        out = base + QStringLiteral("_video.h264");
        break;
    }
    case VideoRoute::MkvH264:
    case VideoRoute::MkvHevc:
    case VideoRoute::MkvOther: {
        const MkvExtraction plan = mkvExtraction(job, route);
        if (plan.ownClock && plan.subtitleFiles.isEmpty())
            return; // nothing to extract
        tool = kMkvextract;
        args = plan.args;
        out = plan.ownClock ? QString() : plan.out;
        subtitleFiles = plan.subtitleFiles;
        break;
    }
    default:
        return;
    }
    // As the step does: an old output goes first, and whatever the tool writes is the job's.
    if (!out.isEmpty()) {
        QFile::remove(out);
        AddTempFile(job.tempFiles, out);
    }
    for (const QString &f : subtitleFiles)
        AddTempFile(job.tempFiles, f);
    j.videoAhead = std::make_shared<VideoAhead>(job, tool, args);
}

// Stage 13.
StageResult ExtractVideo(ConvertJob &job)
{
    auto &j = job.job;
    j.strVideoOption.clear();
    j.bVideoIsH264 = j.report.iVideoFormat == VideoH264;
    j.iVideoStreamDelay = j.report.iVideoDelay;
    j.iMuxVideoDelay = j.iVideoStreamDelay + j.iVideoShift;

    const VideoRoute route = ChooseVideoRoute(j.report, j.bReencodeVideo, job.options.iConversionMode);
    if (route == VideoRoute::Reencode) {
        if (!j.bReencodeVideo && job.options.iConversionMode != 3) {
            job.Log(QStringLiteral("No copy path for this container: the video is re-encoded"));
            j.bReencodeVideo = true;
        }
        return StageResult::Continue;
    }
    if (route == VideoRoute::NoVideo)
        return StageResult::Continue;
    return copyPath(job, route);
}
