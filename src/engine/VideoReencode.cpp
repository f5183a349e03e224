#include "engine/Stages.h"

#include "engine/FrontEnd.h"
#include "engine/LevelOption.h"
#include "engine/SubtitleStage.h"
#include "engine/ToolStep.h"
#include "engine/VideoCopyPlan.h"
#include "engine/VideoReencodePlan.h"
#include "platform/Paths.h"
#include "runner/RunTool.h"
#include "shell/Formatters.h"

#include <QFile>

namespace {

const QString kFailedStatus = QStringLiteral("비디오 추출 실패");
// Pass logs of ffmpeg and x264 that the two passes leave in the work folder.
const char *const kPassFiles[] = { "ffmpeg2pass-0.log", "x264_2pass.log", "x264_2pass.log.mbtree",
                                   "x264_2pass.log.temp", "x264_2pass.log.mbtree.temp" };

// One pass: its own script in the temporary folder, run like any tool step.
void RunTwoPassEncode(ConvertJob &job, const TwoPassPass &pass)
{
    RunnerHost &host = job.ui;
    if (host.currentRunner || platform::lastSeparator(pass.ffmpegPath) < 0)
        return;
    RunScript(host, pass.tempFolder + QStringLiteral("runapp.cmd"), TwoPassScriptLines(pass),
              ToolImageName(pass.ffmpegPath), runner::LastLine::Open);
}

// false when Stop was pressed during the pass.
bool runPass(ConvertJob &job, TwoPassPass &pass, int number)
{
    job.setStatus(Fmt("비디오 변환중 %d/2").d(number));
    job.Log(Fmt("Converting video to AVC pass%d").d(number));
    job.ui.stopRequested = false;
    pass.pass = number;
    RunTwoPassEncode(job, pass);
    if (job.ui.stopRequested) {
        TakeStopPath(job, QStringLiteral("Converting video stopped"));
        return false;
    }
    return true;
}

// The text tracks of an MKV source; without an internal subtitle source the call names
// no track and extracts nothing.
StageResult extractMkvSubtitles(ConvertJob &job)
{
    auto &j = job.job;
    QString args = Fmt("tracks \"%s\"").s(j.strSourceShortPath);
    if (j.iSubtitleSource == kInternalSubtitles) {
        QStringList files;
        args += MkvSubtitleSpecs(j.report, job.strWorkFolder, files);
        for (const QString &f : files)
            AddTempFile(job.tempFiles, f);
    }
    ToolStep step;
    step.tool = kMkvextract;
    step.statusText = QStringLiteral("자막 추출중");
    step.logAction = QStringLiteral("Extracting subtitle from MKV");
    step.arguments = args;
    step.stopLine = QStringLiteral("Video extraction failed");
    step.finishedLine = QStringLiteral("Video extraction finished");
    if (RunToolStep(job, step) == StepOutcome::Stopped)
        return StageResult::StopRun;
    if (j.iSubtitleSource != kInternalSubtitles)
        return StageResult::Continue;
    return ConvertExtractedMkvTracks(job, TrackLogStyle::Unnumbered);
}

} // namespace

// Stage 14.
StageResult ReencodeVideo(ConvertJob &job)
{
    auto &j = job.job;
    const ConverterOptions &o = job.options;
    if (j.report.iVideoFormat == VideoNone || (!j.bReencodeVideo && o.iConversionMode != 3))
        return StageResult::Continue;

    // Without both sides there is no aspect ratio to scale by.
    if (j.report.iWidth <= 0 || j.report.iHeight <= 0) {
        job.Log(Fmt("Video size not reported (%dx%d): cannot re-encode").d(j.report.iWidth).d(j.report.iHeight));
        job.setStatus(kFailedStatus);
        return StageResult::SkipJob;
    }
    // The encoder turns a rotated picture upright before it scales, so the size is
    // that of the picture as displayed.
    const FrameSize size = ReencodeTargetSize(j.report.DisplayWidth(), j.report.DisplayHeight(), o.iDeviceKind);
    if (j.report.iRotation != 0)
        job.Log(Fmt("Rotated %d degrees: encoding the upright picture at %dx%d")
                    .d(j.report.iRotation)
                    .d(size.width)
                    .d(size.height));
    const bool todays = o.iDeviceKind == kTodaysDevice;
    const QString rate = EncoderFrameRateText(j.report.strFrameRate, EncoderMaxFrameRate(o.iDeviceKind, o.b30fpsCheck));
    job.Log(Fmt("CString → char* → atof (new FPS): %s → %g").s(j.report.strFrameRate).g(FrameRateNumber(j.report.strFrameRate)));
    if (FrameRateNumber(j.report.strFrameRate) <= 0)
        job.Log(QStringLiteral("Frame rate not reported: encoding at 30 fps"));
    // With neither a bit rate nor a frame rate reported, the estimate of the
    // identification came out 0; estimate it the same way at the encoder's rate.
    if (j.iBitRate <= 0)
        j.iBitRate = EstimatedBitRate(j.report.iWidth, j.report.iHeight, FrameRateNumber(rate));
    j.iBitRate = CappedBitRate(j.iBitRate, o.iDeviceKind);

    TwoPassPass pass;
    pass.sourcePath = j.strSourceShortPath;
    pass.outputPath = job.strWorkFolder + QStringLiteral("convh264.mp4");
    pass.ffmpegPath = job.tool(kFfmpeg).shortPath;
    pass.tempFolder = job.strWorkFolder;
    pass.presetFolder = platform::shortPath(job.strProgramFolder) + QStringLiteral("tools/presets");
    pass.profile = o.iConversionProfile;
    pass.size = size;
    pass.frameRate = rate;
    pass.bitRate = j.iBitRate;
    pass.deinterlace = o.bDeinterlace;
    pass.highProfile = todays;
    // Today's devices show a progressive picture only: combed fields would stay visible.
    if (todays && j.report.iScanType == 2 && !pass.deinterlace) {
        pass.deinterlace = true;
        job.Log(QStringLiteral("Interlaced source: deinterlacing for the device"));
    }

    job.setStatus(QStringLiteral("비디오 변환중 1/2"));
    AddTempFile(job.tempFiles, pass.outputPath);
    for (const char *name : kPassFiles)
        AddTempFile(job.tempFiles, job.strWorkFolder + QString::fromLatin1(name));
    // An output left by an earlier job (kept temporary files) must not pass for this
    // job's result when the passes cannot run at all.
    QFile::remove(pass.outputPath);

    if (!runPass(job, pass, 1) || !runPass(job, pass, 2))
        return StageResult::StopRun;
    if (!platform::fileExists(pass.outputPath)) {
        job.Log(QStringLiteral("Converting video failed"));
        job.setStatus(kFailedStatus);
        return StageResult::SkipJob;
    }
    job.Log(QStringLiteral("Converting video finished"));
    // The encode already holds the time before the first picture: the mux must not
    // delay the video by it again.
    j.iVideoStreamDelay = EncodedVideoStart(j.report);
    j.iMuxVideoDelay = j.iVideoStreamDelay + j.iVideoShift;
    j.bVideoTurnedUpright = j.report.IsQuarterTurned();
    job.Log(QStringLiteral("MP4/AVC Filename: ") + pass.outputPath);
    j.strVideoOption = Fmt(" -add \"%s\":fps=%s").s(pass.outputPath).s(rate)
        + ChooseLevelOption(size.width, size.height, rate, o.bForNightly, &job.log);
    job.Log(QStringLiteral("MP4Box video option:") + j.strVideoOption);

    // The encode carries no subtitles over: the tracks come from the source.
    if (j.report.iContainer == ContainerMp4 && j.iSubtitleSource == kInternalSubtitles)
        return ExtractMp4TimedText(job, TrackLogStyle::Unnumbered);
    if (j.report.iContainer == ContainerMkv)
        return extractMkvSubtitles(job);
    return StageResult::Continue;
}
