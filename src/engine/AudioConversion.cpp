#include "engine/AudioSteps.h"
#include "engine/FrontEnd.h"
#include "engine/Stages.h"
#include "engine/ToolStep.h"
#include "engine/WaveFiles.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <QFile>

namespace {

const QString kConversionStopped = QStringLiteral("Audio conversion stopped");
const QString kConversionFailed = QStringLiteral("Audio conversion failed");
const QString kConversionFailedStatus = QStringLiteral("오디오 변환 실패");

enum class Chain { Done, Failed, Stopped };

StageResult toStage(Chain c)
{
    return c == Chain::Done ? StageResult::Continue : c == Chain::Failed ? StageResult::SkipJob : StageResult::StopRun;
}

// Volume normalisation rewrites its file in place, so it only ever gets a file this
// run made. A PCM WAV the user put beside the video is copied first.
Chain normalize(ConvertJob &job, bool aacReencode)
{
    auto &j = job.job;
    if (!job.tempFiles.contains(j.strPcmFile)) {
        const QString copy = job.strWorkFolder + QStringLiteral("temp.wav");
        AddTempFile(job.tempFiles, copy);
        QFile::remove(copy);
        if (copy == j.strPcmFile || !QFile::copy(j.strPcmFile, copy)) {
            QFile::remove(copy);
            job.Log(QStringLiteral("copying PCM audio for normalization failed"));
            return Chain::Done;
        }
        j.strPcmFile = copy;
    }
    ToolStep step{ kNormalize, QStringLiteral("오디오 음량 정규화중"), QString(), j.strPcmFile,
                   audio::NormalizeArguments(j.strPcmFile), QString(), QString() };
    step.registerOutput = false;
    if (aacReencode) {
        step.logAction = QStringLiteral("Normalizing audio");
        step.stopLine = QStringLiteral("Audio normalization stopped");
        step.finishedLine = QStringLiteral("Audio Normalization finished");
    } else {
        job.Log(QStringLiteral("Normalizing PCM audio"));
        step.stopLine = QStringLiteral("Normalization audio stopped");
        step.finishedLine = QStringLiteral("Normalization audio finished");
    }
    return RunToolStep(job, step) == StepOutcome::Stopped ? Chain::Stopped : Chain::Done;
}

// Decode to PCM, downmix, normalise when asked, encode. aacReencode: the input is an
// AAC file being re-encoded (always decoded, to its own file, at the higher bit rate).
Chain encodeChain(ConvertJob &job, bool aacReencode)
{
    auto &j = job.job;
    if (!aacReencode && IsPcmWave(j.strAudioFile)) {
        j.strPcmFile = j.strAudioFile;
    } else {
        j.strPcmFile = job.strWorkFolder
            + (aacReencode ? QStringLiteral("AACConversionTemp.wav") : QStringLiteral("temp.wav"));
        // A file left by an earlier job must not pass for this one's.
        QFile::remove(j.strPcmFile);
        const StepOutcome outcome = RunToolStep(
            job, { kFfmpeg, QStringLiteral("오디오 변환중 1/2"), QStringLiteral("Converting audio to PCM"),
                   j.strPcmFile, audio::PcmDecodeArguments(j.strAudioFile, j.strPcmFile, aacReencode),
                   kConversionStopped, QString() });
        if (outcome == StepOutcome::Stopped)
            return Chain::Stopped;
        if (outcome == StepOutcome::Missing) {
            job.Log(kConversionFailed);
            job.setStatus(kConversionFailedStatus);
            return Chain::Failed;
        }
        job.Log(QStringLiteral("Audio conversion finished"));
        job.Log(QStringLiteral("PCM Filename: ") + j.strPcmFile);
    }

    // chanfold takes 5 to 8 channels and leaves no target for one or two, which are encoded as
    // they are. Three and four would stay multichannel that way: ffmpeg folds those.
    const QString downmixed = job.strWorkFolder + QStringLiteral("temp_downmixed.wav");
    QFile::remove(downmixed);
    const bool ffmpegFolds = audio::FoldsWithFfmpeg(PcmWaveChannels(j.strPcmFile));
    const StepOutcome downmix = RunToolStep(
        job, { ffmpegFolds ? kFfmpeg : kChanfold, QStringLiteral("오디오 다운믹싱중"),
               QStringLiteral("Downmixing PCM audio to 2.0"), downmixed,
               ffmpegFolds ? audio::FfmpegFoldArguments(j.strPcmFile, downmixed)
                           : audio::DownmixArguments(j.strPcmFile, downmixed),
               QStringLiteral("Downmix audio stopped"), QString() });
    if (downmix == StepOutcome::Stopped)
        return Chain::Stopped;
    if (downmix == StepOutcome::Produced) {
        job.Log(QStringLiteral("Downmix audio finished"));
        j.strPcmFile = downmixed;
    } else {
        job.Log(QStringLiteral("Downmix audio failed"));
    }

    if (job.options.bNormalizeVolume && normalize(job, aacReencode) == Chain::Stopped)
        return Chain::Stopped;

    j.strAacFile = job.strWorkFolder + QStringLiteral("temp.aac");
    QFile::remove(j.strAacFile);
    const StepOutcome encode
        = RunToolStep(job, { kNeroAacEnc, QStringLiteral("오디오 변환중 2/2"), QStringLiteral("Converting audio to AAC"),
                             j.strAacFile, audio::EncodeArguments(j.strPcmFile, j.strAacFile, aacReencode),
                             kConversionStopped, QString() });
    if (encode == StepOutcome::Stopped)
        return Chain::Stopped;
    if (encode == StepOutcome::Missing) {
        j.strAacFile.clear();
        job.Log(kConversionFailed);
        job.setStatus(kConversionFailedStatus);
        return Chain::Failed;
    }
    job.Log(QStringLiteral("Audio conversion finished"));
    job.Log(QStringLiteral("AAC Filename: ") + j.strAacFile);
    return Chain::Done;
}

// AAC-LC stereo passes through untouched unless "reencode AAC" says otherwise.
Chain aacKeepOrReencode(ConvertJob &job)
{
    auto &j = job.job;
    MediaReport probe(job.tool(kMediaInfo).shortPath, job.strWorkFolder);
    if (!RunProbeStep(job, probe, j.strAudioFile, QString(), QStringLiteral("Media info stopped")))
        return Chain::Stopped;
    if (audio::KeepAac(probe, job.options.iAacMode)) {
        j.strAacFile = j.strAudioFile;
        return Chain::Done;
    }
    return encodeChain(job, true);
}

} // namespace

bool ProbeFinalAac(ConvertJob &job)
{
    auto &j = job.job;
    j.aacReport = MediaReport(job.tool(kMediaInfo).shortPath, job.strWorkFolder);
    if (!j.strAacFile.isEmpty()
        && !RunProbeStep(job, j.aacReport, j.strAacFile, QString(), QStringLiteral("Media info stopped")))
        return false;
    // What MediaInfo cannot read would break the mux: the job goes on without audio.
    if (j.aacReport.iContainer == ContainerNone)
        j.strAacFile.clear();
    return true;
}

StageResult ConvertAudio(ConvertJob &job)
{
    auto &j = job.job;
    Chain result = Chain::Done;
    if (j.strAudioFile.isEmpty())
        j.strAacFile.clear();
    else if (audio::HasExtension(j.strAudioFile, ".aac"))
        result = aacKeepOrReencode(job);
    else
        result = encodeChain(job, false);
    if (result != Chain::Done)
        return toStage(result);
    return ProbeFinalAac(job) ? StageResult::Continue : StageResult::StopRun;
}
