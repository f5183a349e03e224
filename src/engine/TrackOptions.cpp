#include "engine/Stages.h"

#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/MuxPlan.h"
#include "engine/SubtitleStage.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <QFileInfo>

namespace {

const QString kProgressName = QStringLiteral("progressing.mp4");
// Used instead when the source itself is named like the in-progress file, which the
// mux deletes before it runs.
const QString kProgressNameBesideSource = QStringLiteral("progressing (Qor).mp4");

bool sameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

// The folder a row's output goes to, as the user named it.
QString wantedOutputFolder(const ConverterOptions &o, const QString &sourcePath)
{
    const bool toSaveFolder = o.bUseSaveFolder && !o.strSaveFolder.isEmpty();
    return platform::withoutTrailingSeparators(toSaveFolder ? o.strSaveFolder
                                                            : sourcePath.left(platform::lastSeparator(sourcePath)));
}

// How many rows before this one would write an output of the same name into the same
// folder ("movie.avi" and "movie.mkv" beside each other, or two "movie.mkv" of different
// folders into one save folder). Each takes a numbered name of its own: one row's
// output never replaces another's of the same run, whichever finishes first.
int earlierRowsOfTheSameOutput(ConvertJob &job, const QString &folder, const QString &base)
{
    const FileList &list = job.ui.fileList();
    int count = 0;
    for (int row = 0; row < job.job.iRow && row < list.rowCount(); ++row) {
        const QString other = list.fullPath(row);
        count += OutputBaseName(other) == base && wantedOutputFolder(job.options, other) == folder;
    }
    return count;
}

} // namespace

// Stage 12. The probe of the final AAC ran at the end of the audio stage (ConvertAudio).
StageResult PrepareTrackOptions(ConvertJob &job)
{
    auto &j = job.job;
    const ConverterOptions &o = job.options;

    // Output folder and names.
    QString base = OutputBaseName(j.strSourcePath);
    const QString wanted = wantedOutputFolder(o, j.strSourcePath);
    if (const int earlier = earlierRowsOfTheSameOutput(job, wanted, base); earlier > 0)
        base += Fmt(" (%d)").d(earlier + 1);
    j.strOutputFolder = platform::withoutTrailingSeparators(platform::shortPath(wanted));
    j.strDcOutputName = QStringLiteral("[Qor-DC] ") + base + QStringLiteral(".mp4");
    j.strOutputName = QStringLiteral("[Qor] ") + base + QStringLiteral(".mp4");
    if (j.strOutputFolder.isEmpty() || !platform::directoryExists(j.strOutputFolder)) {
        // Nothing may be written anywhere but the chosen folder.
        job.Log(Fmt("Output folder not found: %s").s(wanted));
        job.setStatus(QStringLiteral("파일 생성 실패"));
        j.strOutputFolder.clear();
        return StageResult::SkipJob;
    }
    j.strProgressFile = j.strOutputFolder + platform::kSeparator + kProgressName;
    if (sameFile(j.strProgressFile, j.strSourcePath) || sameFile(j.strProgressFile, j.strSourceShortPath))
        j.strProgressFile = j.strOutputFolder + platform::kSeparator + kProgressNameBesideSource;

    // Shifts and the audio track option; the subtitle stage appends its tracks after it.
    // A companion audio file is muxed with its own delay, even when the source has tracks too.
    const bool internalAudio = j.iInternalAudio >= 0 && !j.bExternalAudio;
    const TrackShifts shifts = ComputeShifts(j.report.iVideoDelay, internalAudio, j.iSubtitleSource);
    j.iVideoShift = shifts.video;
    j.iAudioShift = shifts.audio;
    if (!j.strAacFile.isEmpty()) {
        j.strTrackOptions = AudioTrackOption(j.strAacFile);
        j.iMuxAudioDelay = internalAudio ? j.iSourceAudioDelay + j.iAudioShift : j.iExternalAudioDelay;
    } else {
        j.strTrackOptions.clear();
        j.iMuxAudioDelay = 0;
    }
    return AppendSubtitleTrackOptions(job);
}
