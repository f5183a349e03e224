#include "engine/AudioSteps.h"
#include "engine/FrontEnd.h"
#include "engine/Stages.h"
#include "engine/ToolStep.h"
#include "engine/WaveFiles.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString kExtracting = QStringLiteral("오디오 추출중");
const QString kExtractionStopped = QStringLiteral("Audio extraction stopped");
const QString kExtractionFinished = QStringLiteral("Audio extraction finished");

// ffmpeg decodes whatever audio it finds in a source that reports none.
bool forcedExtraction(ConvertJob &job)
{
    auto &j = job.job;
    j.strAudioFile = job.strWorkFolder + QStringLiteral("extractedaudio.wav");
    j.iSourceAudioDelay = 0;
    QFile::remove(j.strAudioFile);
    const StepOutcome outcome = RunToolStep(
        job, { kFfmpeg, kExtracting,
               QStringLiteral("No Audio Found. But, Force Extracting and Converting audio to PCM"), j.strAudioFile,
               audio::ForcedExtractionArguments(j.strSourceShortPath, j.strAudioFile),
               QStringLiteral("Force Audio extraction stopped"), QStringLiteral("Force Audio extraction finished") });
    if (outcome == StepOutcome::Stopped)
        return false;
    // A header alone is what a decoder writes when there was nothing to decode.
    if (!platform::fileExists(j.strAudioFile) || QFileInfo(j.strAudioFile).size() < 100) {
        j.strAudioFile.clear();
        job.Log(QStringLiteral("Definitly No Audio"));
    }
    return true;
}

// ffmpeg decodes the chosen track i, whose delay is the one the mux applies.
bool convertingExtraction(ConvertJob &job, int i)
{
    auto &j = job.job;
    const AudioTrack &track = j.report.audio.at(i);
    j.strAudioFile = job.strWorkFolder + QStringLiteral("extractedaudio.wav");
    j.iSourceAudioDelay = track.iDelay;
    QFile::remove(j.strAudioFile);
    return RunToolStep(job, { kFfmpeg, kExtracting, QStringLiteral("Extracting and Converting audio to PCM"),
                              j.strAudioFile,
                              audio::ConvertingExtractionArguments(j.strSourceShortPath, track, j.strAudioFile,
                                                                   audio::FfmpegAudioStream(j.report, i)),
                              kExtractionStopped, kExtractionFinished })
        != StepOutcome::Stopped;
}

// The container's own demuxer, the MP4/MKV retry and the PCM header check.
bool demux(ConvertJob &job, int i)
{
    auto &j = job.job;
    const AudioTrack &track = j.report.audio.at(i);
    const int stream = audio::FfmpegAudioStream(j.report, i);
    const ContainerKind container = j.report.iContainer;
    QFile::remove(j.strAudioFile);
    const audio::DemuxCall call = audio::DemuxStep(container, j.strSourceShortPath, track, j.strAudioFile, stream);
    if (call.valid) {
        if (RunToolStep(job, { call.tool, kExtracting, call.logLine, j.strAudioFile, call.arguments,
                               kExtractionStopped, kExtractionFinished })
            == StepOutcome::Stopped)
            return false;
    } else if (container == ContainerWmv) {
        // Only a WMA first track can be taken from Windows Media (by ffmpeg, above).
        j.strAudioFile.clear();
    }

    if (!j.strAudioFile.isEmpty() && !platform::fileExists(j.strAudioFile)
        && (container == ContainerMp4 || container == ContainerQt || container == ContainerMkv)) {
        job.Log(QStringLiteral("Audio extraction failed"));
        if (RunToolStep(job, { kFfmpeg, QStringLiteral("오디오 추출 재시도"),
                               QStringLiteral("Re-extracting and Converting audio to PCM"), j.strAudioFile,
                               audio::RetryArguments(j.strSourceShortPath, j.strAudioFile, stream), kExtractionStopped,
                               kExtractionFinished })
            == StepOutcome::Stopped)
            return false;
    }

    if (track.iFormat == AudioPcm) {
        job.Log(QStringLiteral("Validating PCM audio"));
        const QString demuxed = j.strAudioFile;
        j.strAudioFile = EnsureWaveHeader(demuxed, track.iSampleRate, track.iBitDepth, track.iChannels);
        // The header-fixed copy holds the whole soundtrack: it goes with the other intermediates.
        if (!j.strAudioFile.isEmpty() && j.strAudioFile != demuxed)
            AddTempFile(job.tempFiles, j.strAudioFile);
        job.Log(QStringLiteral("Validating PCM audio finished"));
    }
    return true;
}

// Summary, route and extraction of internal track i; false when Stop was pressed.
bool extractInternal(ConvertJob &job, int i)
{
    auto &j = job.job;
    const AudioTrack track = j.report.audio.at(i);
    j.iSourceAudioDelay = track.iDelay;
    j.strAudioFile = job.strWorkFolder + QStringLiteral("extractedaudio.") + audio::Extension(track.iFormat);

    j.strSummary += audio::InternalTrackSummary(j.report, i);
    j.strSummary += audio::SubtitleSummary(j.report, j.iSubtitleSource);
    job.ui.setSummaryText(j.strSummary);
    job.Log(QStringLiteral("File info: ") + j.strSummary);

    if (audio::UsesConvertingExtraction(j.report, job.options.iAacMode))
        return convertingExtraction(job, i);
    return demux(job, i);
}

} // namespace

StageResult ExtractAudio(ConvertJob &job)
{
    auto &j = job.job;
    // A companion file found beside the source is the audio, whatever tracks the source has.
    j.bExternalAudio = !j.strAudioFile.isEmpty();
    StartVideoAhead(job);
    if (j.strAudioFile.isEmpty()) {
        const int i = j.iInternalAudio;
        const bool ok = (i >= 0 && i < j.report.audio.size()) ? extractInternal(job, i) : forcedExtraction(job);
        if (!ok)
            return StageResult::StopRun;
    }
    if (!platform::fileExists(j.strAudioFile))
        j.strAudioFile.clear();
    job.Log(Fmt("Audio file name: %s").s(j.strAudioFile));
    return StageResult::Continue;
}
