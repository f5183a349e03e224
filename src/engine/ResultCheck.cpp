#include "engine/ResultCheck.h"

#include "engine/FrontEnd.h"
#include "engine/Stages.h"
#include "engine/ToolStep.h"
#include "engine/VideoReencodePlan.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <QFile>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

int ResultTolerance(double frameRate)
{
    const int frame = frameRate > 0 ? static_cast<int>(std::ceil(1000.0 / frameRate)) : 0;
    return std::max(250, frame);
}

bool DecodablePicture(VideoFormat format, const QString &profile, const QString &chroma, int bitDepth,
                      bool todaysDevice)
{
    if (!chroma.isEmpty() && !chroma.startsWith(QLatin1String("4:2:0")))
        return false;
    const QString name = profile.left(profile.indexOf(QLatin1Char('@'))).trimmed();
    if (format == VideoHevc)
        return todaysDevice
            && ((name == QLatin1String("Main") && (bitDepth == 0 || bitDepth == 8))
                || (name == QLatin1String("Main 10") && bitDepth <= 10));
    if (bitDepth != 0 && bitDepth != 8)
        return false;
    if (format == VideoH264)
        return name.isEmpty() || name == QLatin1String("Baseline") || name == QLatin1String("Constrained Baseline")
            || name == QLatin1String("Main") || name == QLatin1String("High");
    if (format == VideoMpeg4Visual)
        return name.isEmpty() || name == QLatin1String("Simple") || name == QLatin1String("Advanced Simple");
    return false;
}

QList<ResultDifference> CompareResult(const ResultFigures &f)
{
    QList<ResultDifference> out;
    const int tolerance = ResultTolerance(f.frameRate);
    const auto off = [tolerance](int a, int b) { return std::abs(a - b) > tolerance; };

    bool durationsHold = true;
    if (f.sourceHasVideo && !f.outputHasVideo) {
        out.append({ ResultFault::NoVideo, QStringLiteral("no video track in the result") });
        durationsHold = false;
    } else if (f.outputHasVideo && f.sourceVideo.known()) {
        const int v = f.outputVideo.duration;
        // A re-encode starts its picture at 0 s and fills a late start with the first frame.
        const bool filledGap = f.sourceVideo.delay > 0 && !off(v, f.sourceVideo.end());
        if (off(v, f.sourceVideo.duration) && !filledGap) {
            out.append({ ResultFault::VideoDuration, Fmt("video lasts %d ms, the source's %d ms (%d ms)")
                                                         .d(v)
                                                         .d(f.sourceVideo.duration)
                                                         .d(v - f.sourceVideo.duration) });
            durationsHold = false;
        }
    }

    if (f.sourceHasAudio && !f.outputHasAudio) {
        out.append({ ResultFault::NoAudio, Fmt("no sound in the result, the source's lasts %d ms").d(f.sourceAudio.duration) });
        durationsHold = false;
    } else if (f.sourceHasAudio && f.sourceAudio.known() && off(f.outputAudio.duration, f.sourceAudio.duration)) {
        out.append({ ResultFault::AudioDuration, Fmt("sound lasts %d ms, the source's %d ms (%d ms)")
                                                     .d(f.outputAudio.duration)
                                                     .d(f.sourceAudio.duration)
                                                     .d(f.outputAudio.duration - f.sourceAudio.duration) });
        durationsHold = false;
    }

    // Sound against picture by their ends: a common shift of both, and a late picture
    // start filled by a re-encode, both keep the ends where the source has them.
    if (durationsHold && f.outputHasVideo && f.outputHasAudio && f.outputVideo.known() && f.outputAudio.known()
        && (f.endsAligned || (f.sourceHasAudio && f.sourceVideo.known() && f.sourceAudio.known()))) {
        const int result = f.outputAudio.end() - f.outputVideo.end();
        const int wanted = f.endsAligned ? 0 : f.sourceAudio.end() - f.sourceVideo.end();
        if (off(result, wanted))
            out.append({ ResultFault::Sync, Fmt("sound ends %d ms after the picture, in the source %d ms (%d ms)")
                                                .d(result)
                                                .d(wanted)
                                                .d(result - wanted) });
    }

    if (f.outputHasVideo
        && !DecodablePicture(f.outputFormat, f.outputProfile, f.outputChroma, f.outputBitDepth, f.todaysDevice))
        out.append({ ResultFault::Undecodable, Fmt("picture %s, %s, %d bit, which the device does not decode")
                                                   .s(f.outputProfile.isEmpty() ? QStringLiteral("of another format")
                                                                                : f.outputProfile)
                                                   .s(f.outputChroma.isEmpty() ? QStringLiteral("?") : f.outputChroma)
                                                   .d(f.outputBitDepth) });
    return out;
}

QString AudioLengthArguments(const QString &source, int audioIndex, const QString &progressFile)
{
    return Fmt("-i \"%s\" -map 0:a:%d -c copy -f null -progress \"%s\" -").s(source).d(audioIndex).s(progressFile);
}

int ProgressEndMs(const QByteArray &progress)
{
    long long last = -1;
    for (const QByteArray &line : progress.split('\n')) {
        const QByteArray t = line.trimmed();
        if (!t.startsWith("out_time_us="))
            continue;
        bool ok = false;
        const long long us = t.mid(12).toLongLong(&ok);
        if (ok && us >= 0)
            last = us;
    }
    return last < 0 ? -1 : static_cast<int>(std::min<long long>(last / 1000, INT_MAX));
}

namespace {

const QString kStopLine = QStringLiteral("Result check stopped");

bool hasAny(const QList<ResultDifference> &diffs, std::initializer_list<ResultFault> faults)
{
    return std::any_of(diffs.begin(), diffs.end(), [&](const ResultDifference &d) {
        return std::find(faults.begin(), faults.end(), d.fault) != faults.end();
    });
}

enum class Measure { Stopped, Measured, Failed };

// The length of the sound the job took from its source, read from the packets.
Measure measureAudio(ConvertJob &job, const QString &source, int audioIndex, int *ms)
{
    const QString progress = job.strWorkFolder + QStringLiteral("resultcheck.txt");
    QFile::remove(progress);
    const StepOutcome outcome =
        RunToolStep(job, { kFfmpeg, QStringLiteral("결과 검증중"), QStringLiteral("Measuring the source's sound"), progress,
                           AudioLengthArguments(source, audioIndex, progress), kStopLine, QString() });
    if (outcome == StepOutcome::Stopped)
        return Measure::Stopped;
    QFile file(progress);
    const int length = file.open(QIODevice::ReadOnly) ? ProgressEndMs(file.readAll()) : -1;
    if (length <= 0)
        return Measure::Failed;
    job.Log(Fmt("measured sound of the source: %d ms").d(length));
    *ms = length;
    return Measure::Measured;
}

} // namespace

// After the mux: the finished file against its source.
StageResult CheckResult(ConvertJob &job)
{
    auto &j = job.job;
    const QString finalPath = j.strOutputFolder + platform::kSeparator + j.strOutputName;
    if (!platform::fileExists(finalPath))
        return StageResult::Continue;
    // The report made after the first mux describes the file unless the sync re-mux replaced it.
    if (j.bSyncCorrected
        && !RunProbeStep(job, j.outputReport, finalPath, QString(), QStringLiteral("Media info stopped")))
        return StageResult::StopRun;
    const MediaReport &src = j.report;
    const MediaReport &out = j.outputReport;

    ResultFigures f;
    f.frameRate = j.dFrameRate;
    f.sourceHasVideo = src.iVideoFormat != VideoNone;
    f.sourceVideo = { src.iVideoDelay, src.iVideoDuration };
    f.outputHasVideo = out.iVideoFormat != VideoNone;
    f.outputVideo = { out.iVideoDelay, out.iVideoDuration };
    f.outputHasAudio = !out.audio.isEmpty();
    if (f.outputHasAudio)
        f.outputAudio = { out.audio.first().iDelay, out.audio.first().iDuration };
    f.endsAligned = j.bSyncCorrected;
    f.outputFormat = out.iVideoFormat;
    f.outputProfile = out.strVideoProfile;
    f.outputChroma = out.strChromaSubsampling;
    f.outputBitDepth = out.iVideoBitDepth;
    f.todaysDevice = job.options.iDeviceKind == kTodaysDevice;

    // Where the sound came from: a companion file, placed by the delay in its name
    // against the first picture, or the source's own track.
    QString audioSource;
    int audioIndex = 0;
    if (j.bExternalAudio) {
        MediaReport companion(job.tool(kMediaInfo).shortPath, job.strWorkFolder);
        if (!RunProbeStep(job, companion, j.strAudioFile, QString(), QStringLiteral("Media info stopped")))
            return StageResult::StopRun;
        f.sourceHasAudio = true;
        f.sourceAudio = { src.iVideoDelay + j.iExternalAudioDelay,
                          companion.audio.isEmpty() ? 0 : companion.audio.first().iDuration };
        audioSource = j.strAudioFile;
    } else if (j.iInternalAudio >= 0 && j.iInternalAudio < src.audio.size()) {
        const AudioTrack &t = src.audio.at(j.iInternalAudio);
        f.sourceHasAudio = true;
        f.sourceAudio = { t.iDelay, t.iDuration };
        audioSource = j.strSourceShortPath;
        audioIndex = j.iInternalAudio;
    }

    // The container's figure is read first; the packets are counted only where it is
    // missing, or before a result is condemned by it (a header may claim what the
    // stream does not hold).
    bool measured = false;
    auto measure = [&]() {
        measured = true;
        int ms = 0;
        const Measure m = measureAudio(job, audioSource, audioIndex, &ms);
        if (m == Measure::Measured)
            f.sourceAudio.duration = ms;
        return m != Measure::Stopped;
    };
    if (f.sourceHasAudio && !f.sourceAudio.known() && f.outputHasAudio && !measure())
        return StageResult::StopRun;
    QList<ResultDifference> diffs = CompareResult(f);
    if (!measured && hasAny(diffs, { ResultFault::AudioDuration, ResultFault::Sync }) && f.sourceHasAudio) {
        if (!measure())
            return StageResult::StopRun;
        diffs = CompareResult(f);
    }

    if (diffs.isEmpty()) {
        job.Log(QStringLiteral("Result check passed"));
        return StageResult::Continue;
    }
    for (const ResultDifference &d : diffs)
        job.Log(QStringLiteral("Result check failed: ") + d.text);
    // A file without its picture, or one MediaInfo cannot read, is no use to anyone;
    // anything else stays for the user to judge.
    if (out.iContainer == ContainerNone || hasAny(diffs, { ResultFault::NoVideo })) {
        job.Log(QStringLiteral("Result removed: ") + finalPath);
        QFile::remove(finalPath);
    }
    job.setStatus(QStringLiteral("결과 검증 실패"));
    return StageResult::SkipJob;
}
