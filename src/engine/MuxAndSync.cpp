#include "engine/Stages.h"

#include "engine/FrontEnd.h"
#include "engine/MuxPlan.h"
#include "engine/SubtitleStage.h"
#include "engine/ToolStep.h"
#include "platform/Paths.h"
#include "runner/RunTool.h"
#include "shell/Formatters.h"
#include "subtitles/TimedTextRewriter.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString outputPath(const ConvertJob::Job &j, const QString &name)
{
    return j.strOutputFolder + platform::kSeparator + name;
}

// The external timed-text tracks moved by the delay correction into their "_adj"
// copies, which then take the originals' place in the argument string. A SAMI file
// gives a track per class; all of them move, not only the one made last.
void shiftExternalSubtitle(ConvertJob &job, int shiftMs)
{
    auto &j = job.job;
    QStringList files = j.externalTtxtFiles;
    if (!j.strSubtitleTtxt.isEmpty() && !files.contains(j.strSubtitleTtxt))
        files << j.strSubtitleTtxt;
    for (const QString &ttxt : files) {
        const QString adjusted = AdjustedSubtitleName(ttxt);
        TimedTextRewriter().ShiftTimes(ttxt, adjusted, shiftMs);
        AddTempFile(job.tempFiles, adjusted);
        j.strMuxArgs.replace(QLatin1Char('"') + ttxt + QLatin1Char('"'), QLatin1Char('"') + adjusted + QLatin1Char('"'));
    }
}

// The in-progress name may already be taken by a file of the user's, such as another
// source called "progressing.mp4" in the same folder, or by another job muxing into the
// same folder: that file is never overwritten nor moved away. The first free name
// "progressing (Qor N).mp4" is used instead, taken by creating it, so that no two jobs
// can pick the same name. The empty file is a temporary file of the job until the mux
// writes over it.
QString takeProgressFile(ConvertJob &job, const QString &wanted)
{
    const QString stem = wanted.left(wanted.lastIndexOf(QLatin1Char('.')));
    for (int n = 0;; ++n) {
        const QString candidate = n == 0 ? wanted : QString(Fmt("%s (Qor %d).mp4").s(stem).d(n));
        switch (platform::createNewFile(candidate)) {
        case platform::NewFile::Created:
            AddTempFile(job.tempFiles, candidate);
            return candidate;
        case platform::NewFile::Taken:
            continue;
        case platform::NewFile::Failed:
            // Nothing can be written there: the mux fails and says so.
            return wanted;
        }
    }
}

// Runs MP4Box on strMuxArgs into the in-progress file and moves that to target.
// false when Stop was pressed.
bool runMux(ConvertJob &job, const QString &status, const QString &action, const QString &target)
{
    auto &j = job.job;
    job.setStatus(status);
    job.ui.stopRequested = false;
    job.Log(QStringLiteral("MP4Box option:") + j.strMuxArgs);
    // A run that is stopped or fails must not leave its part-written file in the user's folder.
    AddTempFile(job.tempFiles, j.strProgressFile);
    QFile::remove(target);
    job.Log(action);
    // The in-progress file lies in the output folder, so one file system holds both.
    job.log.LogDriveFreeSpace(j.strProgressFile);
    const ToolEntry &mp4box = job.tool(kMP4Box);
    RunTool(job.ui, job.strWorkFolder, mp4box.fullPath, mp4box.shortPath, j.strMuxArgs);
    if (job.ui.stopRequested) {
        TakeStopPath(job, QStringLiteral("Mux stopped"));
        return false;
    }
    // The name was taken with an empty file: still empty, the tool wrote nothing.
    if (QFileInfo(j.strProgressFile).size() > 0)
        QFile::rename(j.strProgressFile, target);
    else
        QFile::remove(j.strProgressFile);
    // Gone from the name either way, which another job may take now: this job's end must
    // not delete what is that job's file by then.
    if (!QFileInfo::exists(j.strProgressFile))
        job.tempFiles.removeAll(j.strProgressFile);
    return true;
}

void logPixelAspect(ConvertJob &job, const char *format, const AspectRatio &r)
{
    job.Log(Fmt(format).g(r.value).d(r.n).d(r.d));
}

} // namespace

// Stage 15.
StageResult MuxAndSync(ConvertJob &job)
{
    auto &j = job.job;
    const ConverterOptions &o = job.options;

    // A source with video must never end as an output without it.
    if (j.strVideoOption.isEmpty() && j.report.iVideoFormat != VideoNone) {
        job.Log(QStringLiteral("No video track for the mux"));
        job.setStatus(QStringLiteral("비디오 추출 실패"));
        return StageResult::SkipJob;
    }

    DropMissingSubtitleTracks(job);

    // Pixel aspect ratio.
    // An upright re-encode of a turned source has its pixels turned too.
    const double pixelAspect = j.report.dPixelAspect;
    const bool upright = j.bVideoTurnedUpright;
    const AspectRatio source = SourcePixelAspect(upright && pixelAspect > 0.0000001 ? 1.0 / pixelAspect : pixelAspect);
    logPixelAspect(job, "source Pixel Aspect Ratio: %g (%d:%d)", source);
    const AspectRatio target = TargetPixelAspect(source, o.iParMode, upright ? j.report.DisplayWidth() : j.report.iWidth,
                                                 upright ? j.report.DisplayHeight() : j.report.iHeight);
    logPixelAspect(job, "target Pixel Aspect Ratio: %g (%d:%d)", target);
    j.strParOption = ParOption(target);

    // First mux.
    const QString finalPath = outputPath(j, j.strOutputName);
    j.strProgressFile = takeProgressFile(job, j.strProgressFile);
    j.strMuxArgs = ComposeMuxArgs(j.strVideoOption, j.strParOption, j.strTrackOptions, j.strProgressFile);
    const MuxDelays first = CorrectNegativeDelays(j.iMuxAudioDelay, j.iMuxVideoDelay);
    if (first.correction != 0) {
        j.iMuxVideoDelay = first.correction;
        shiftExternalSubtitle(job, first.correction);
    }
    j.strMuxArgs = SubstituteDelays(j.strMuxArgs, first.audio, first.video);
    if (!runMux(job, QStringLiteral("비디오 합성중"), QStringLiteral("Muxing final MP4 file"), finalPath))
        return StageResult::StopRun;
    if (!platform::fileExists(finalPath)) {
        job.Log(QStringLiteral("Mux failed"));
        job.setStatus(QStringLiteral("파일 생성 실패"));
        return StageResult::SkipJob;
    }
    job.Log(QStringLiteral("Mux finished"));

    // Sync check on the finished file.
    j.outputReport = MediaReport(job.tool(kMediaInfo).shortPath, job.strWorkFolder);
    if (!RunProbeStep(job, j.outputReport, finalPath, QString(), QStringLiteral("Media info stopped")))
        return StageResult::StopRun;
    if (!o.bCreateDC || j.outputReport.iAudioCount <= 0 || j.outputReport.audio.isEmpty()
        || j.report.iVideoDuration == j.outputReport.iVideoDuration)
        return StageResult::Continue;
    const int videoDelay = j.iVideoStreamDelay;
    const int offset =
        SyncOffset(j.iSourceAudioDelay, j.outputReport.audio.first().iDuration, j.outputReport.iVideoDuration);
    if (!IsSyncProblem(offset, videoDelay))
        return StageResult::Continue;
    job.Log(QStringLiteral("A/V sync problem detected"));

    // Second mux with the video delayed by the measured offset.
    int video = offset + j.iVideoShift;
    int audio = 0;
    if (!j.strAacFile.isEmpty())
        audio = j.iInternalAudio >= 0 && !j.bExternalAudio ? j.iSourceAudioDelay + j.iAudioShift : j.iExternalAudioDelay;
    j.strProgressFile = takeProgressFile(job, j.strProgressFile);
    j.strMuxArgs = ComposeMuxArgs(j.strVideoOption, j.strParOption, j.strTrackOptions, j.strProgressFile);
    const MuxDelays second = CorrectNegativeDelays(audio, video);
    if (second.correction != 0) {
        j.iAudioShift = second.correction;
        shiftExternalSubtitle(job, second.correction);
    }
    j.strMuxArgs = SubstituteDelays(j.strMuxArgs, second.audio, second.video);
    const QString dcPath = outputPath(j, j.strDcOutputName);
    if (!runMux(job, QStringLiteral("싱크 보정중"), QStringLiteral("Muxing final MP4 file (one more time)"), dcPath))
        return StageResult::StopRun;
    if (!platform::fileExists(dcPath)) {
        job.Log(QStringLiteral("Mux failed"));
        job.setStatus(QStringLiteral("파일 생성 실패"));
        return StageResult::Continue;
    }
    if (o.bOverwriteDC) {
        job.Log(QStringLiteral("Mux finished"));
        QFile::remove(finalPath);
        QFile::rename(dcPath, finalPath);
        j.bSyncCorrected = true;
    }
    return StageResult::Continue;
}
