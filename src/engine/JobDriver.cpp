#include "engine/JobDriver.h"

#include "engine/ConvertJob.h"
#include "engine/ConcurrentRun.h"
#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/SourceFiles.h"
#include "engine/Stages.h"
#include "engine/VideoAhead.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/SystemInfo.h"
#include "shell/ConverterOptions.h"
#include "shell/Formatters.h"

namespace {

const Stage kStages[] = { ProbeSource,  IdentifySource, PrepareSubtitles, ExtractAudio, ConvertAudio,
                          PrepareTrackOptions, ExtractVideo, ReencodeVideo, MuxAndSync, CheckResult };

QString withoutTrailingSeparatorsShort(const QString &folder)
{
    return platform::withoutTrailingSeparators(platform::shortPath(folder));
}

// The temporary folder the run works in; the default when none could be kept.
QString chosenTempFolder(const ConverterOptions &o)
{
    return o.strTempFolder.isEmpty() ? DefaultTempFolder() : o.strTempFolder;
}

bool startChecks(ConvertJob &job)
{
    FrontEnd &ui = job.ui;
    const ConverterOptions &o = job.options;
    if (o.bUseSaveFolder
        && withoutTrailingSeparatorsShort(o.strTempFolder)
                   .compare(withoutTrailingSeparatorsShort(o.strSaveFolder), Qt::CaseInsensitive)
            == 0) {
        ui.showMessage(QStringLiteral("저장폴더와 임시폴더가 같음!"));
        return false;
    }
    // The mux names its output inside the save folder between double quotes; a quote in
    // the folder's name would hand the tool a different path.
    if (o.bUseSaveFolder && !platform::isScriptSafePath(o.strSaveFolder)) {
        ui.showMessage(kUnsafeSaveFolderMessage);
        return false;
    }

    if (o.bWriteLog) {
        job.log.Start(DiagnosticLog::defaultPath());
        job.log.WriteSystemInfo();
    }

    // The folder may have changed hands (or vanished) since it was chosen.
    QString refusedLine;
    const QString refusal = CheckTempFolder(chosenTempFolder(o), &refusedLine);
    if (!refusal.isEmpty()) {
        job.Log(refusedLine);
        ui.showMessage(refusal);
        return false;
    }

    job.tools = BuildToolTable(job.strProgramFolder, o.bForNightly);
    for (ToolEntry &t : job.tools)
        t.shortPath = platform::shortPath(t.fullPath);
    for (const ToolEntry &t : job.tools) {
        if (!platform::fileExists(t.shortPath)) {
            job.Log(QStringLiteral("File check failed!"));
            ui.showMessage(QStringLiteral("tools 폴더에 주요 파일이 없음!!"));
            return false;
        }
    }
    job.Log(QStringLiteral(
        "File check completed: ffmpeg, neroAacEnc, MP4Box, mkvextract, OGMDemuxer, normalize, chanfold, MediaInfo"));

    platform::SettingsStore store;
    o.SaveOptions(store);
    o.LogOptions(job.log);
    return true;
}

// Preparation and source check of one row; false skips the job.
bool prepareJob(ConvertJob &job, int row)
{
    FileList &list = job.ui.fileList();
    list.ensureVisible(row);
    job.resetJob(row);
    job.setStatus(QStringLiteral("변환 준비중"));
    const QString counter = Fmt("%d/%d").d(row + 1).d(job.iRowCount);
    job.ui.setStatusText(0, counter);
    job.Log(Fmt("Preparing job: %s").s(counter));

    job.job.dwJobStart = platform::tickCount();
    job.Log(Fmt("GetTickCount() result: %d").d(job.job.dwJobStart));
    FindCompanions(list, row);

    auto &j = job.job;
    j.strSourcePath = list.fullPath(row);
    const qsizetype dot = j.strSourcePath.lastIndexOf(QLatin1Char('.'));
    j.strSourceExt = dot < 0 ? QString() : j.strSourcePath.mid(dot + 1);
    job.Log(Fmt("Source filename: %s").s(j.strSourcePath));
    j.strSourceShortPath = platform::shortPath(j.strSourcePath);
    if (!platform::fileExists(j.strSourceShortPath)) {
        job.Log(QStringLiteral("reading source file failed!"));
        job.setStatus(QStringLiteral("원본 읽기 오류!"));
        return false;
    }
    return true;
}

void endJob(ConvertJob &job)
{
    const std::uint32_t now = platform::tickCount();
    job.Log(Fmt("GetTickCount() result: %d").d(now));
    const std::uint32_t elapsed = now - job.job.dwJobStart;
    const auto &j = job.job;
    if (!j.strOutputName.isEmpty() && platform::fileExists(j.strOutputFolder + platform::kSeparator + j.strOutputName)) {
        // The output exists, but a subtitle the user had did not make it into it.
        job.setStatus(QStringLiteral("완료: ") + FormatElapsed(elapsed)
                      + (j.bSubtitleFailed ? QString::fromUtf8(kSubtitleFailedSuffix) : QString()));
        ++job.iSucceeded;
    }
    job.Log(QStringLiteral("removing temporary files"));
    DeleteTempFiles(job.tempFiles, job.options.bKeepTempFiles);
    job.Log(QStringLiteral("job fnished"));
}

void endRun(ConvertJob &job, bool stopped, bool sideBySide)
{
    FrontEnd &ui = job.ui;
    AddTempFile(job.tempFiles, job.strWorkFolder + QStringLiteral("runapp.cmd"));
    AddTempFile(job.tempFiles, job.strWorkFolder + QStringLiteral("runapp_out.cmd"));
    DeleteTempFiles(job.tempFiles, job.options.bKeepTempFiles);

    const std::uint32_t now = platform::tickCount();
    QString message;
    if (stopped) {
        // Jobs run side by side marked their own rows.
        if (!sideBySide)
            job.setStatus(QStringLiteral("중단: ") + FormatElapsed(now - job.job.dwJobStart));
        message = QStringLiteral("작업 중단! / ");
    } else {
        message = QStringLiteral("작업 종료! / ");
    }
    message += FormatElapsed(now - job.dwRunStart);
    if (job.options.bKeepTempFiles) {
        // Later starts leave a kept folder alone; the user needs its name to find it.
        const QString kept = job.runFolder.keep();
        job.Log(Fmt("Temporary files kept in: %s").s(kept));
        message += QStringLiteral("\n임시파일 위치: ") + kept;
    }

    if (job.iSucceeded > 0) {
        if (ui.askFinished(message)) {
            FileList &list = ui.fileList();
            for (int row = list.rowCount() - 1; row >= 0; --row) {
                if (list.text(row, FileList::kStatus).startsWith(QStringLiteral("완료")))
                    list.removeRow(row);
            }
        }
    } else {
        ui.showMessage(message);
    }

    DeleteTempFiles(job.tempFiles, job.options.bKeepTempFiles);
    if (!job.options.bKeepTempFiles)
        job.runFolder.remove();
    ui.enableControls(true);
    ui.setStatusText(0, QString());
    ui.setSummaryText(QString());
}

} // namespace

StageResult RunJob(ConvertJob &job, int row, std::span<const Stage> stages)
{
    if (!prepareJob(job, row))
        return StageResult::SkipJob;
    StageResult result = StageResult::Continue;
    for (Stage stage : stages) {
        result = stage(job);
        if (result != StageResult::Continue)
            break;
    }
    // A video extraction started early and never waited for (the job ended before its
    // turn) ends here, before the job's files go.
    job.job.videoAhead.reset();
    if (result == StageResult::Continue)
        endJob(job);
    return result;
}

std::span<const Stage> DefaultStages()
{
    return kStages;
}

RunOutcome OnConvert(FrontEnd &ui, const QString &programFolder, std::span<const Stage> stages)
{
    ui.bConverting = true;
    ui.pullOptions();
    ConvertJob job(ui, programFolder);
    if (!startChecks(job)) {
        ui.bConverting = false;
        return RunOutcome::NotStarted;
    }
    FileList &list = ui.fileList();
    job.iRowCount = list.rowCount();
    if (job.iRowCount == 0) {
        ui.bConverting = false;
        return RunOutcome::NotStarted;
    }
    job.iSucceeded = 0;
    ui.enableControls(false);
    for (int row = 0; row < job.iRowCount; ++row)
        list.setText(row, FileList::kStatus, QStringLiteral("대기중"));

    job.dwRunStart = platform::tickCount();
    ui.stopRequested = false;
    job.tempFiles.clear();
    // Every script and intermediate file of this run lives in a subfolder of its own,
    // so no other run (another window, the command line) can touch them.
    const QString tempFolder = chosenTempFolder(job.options);
    if (!job.runFolder.create(platform::shortPath(tempFolder))) {
        job.Log(Fmt("Creating the work folder failed: %s").s(tempFolder));
        ui.showMessage(Fmt("임시폴더 안에 작업폴더를 만들 수 없음: %s").s(tempFolder));
        for (int row = 0; row < job.iRowCount; ++row)
            list.setText(row, FileList::kStatus, QString());
        ui.enableControls(true);
        ui.bConverting = false;
        return RunOutcome::NotStarted;
    }
    job.strWorkFolder = job.runFolder.path();
    job.Log(Fmt("Work folder: %s").s(job.strWorkFolder));

    const int sideBySide = qMin(job.options.concurrentJobs(), job.iRowCount);
    bool stopped = false;
    if (sideBySide > 1) {
        job.Log(Fmt("Converting %d files at a time").d(sideBySide));
        stopped = RunSideBySide(job, stages, sideBySide);
    } else {
        for (int row = 0; row < job.iRowCount && !stopped; ++row)
            stopped = RunJob(job, row, stages) == StageResult::StopRun;
    }
    // Only a stop taken by a tool step ends the run early. A Stop pressed while no
    // tool ran had nothing to stop and must not mark a finished row as stopped.
    endRun(job, stopped, sideBySide > 1);
    ui.bConverting = false;
    return stopped ? RunOutcome::Stopped : RunOutcome::Finished;
}
