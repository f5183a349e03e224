#include "engine/Stages.h"

#include "engine/AudioSteps.h"
#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/SubtitleStage.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"
#include "subtitles/AssToSrtConverter.h"
#include "subtitles/SamiToSrtConverter.h"
#include "subtitles/SrtRewriter.h"

namespace {

void prepareSami(ConvertJob &job)
{
    auto &j = job.job;
    job.Log(QStringLiteral("Converting SAMI subtitle(s) to SRT"));
    const int n = SamiToSrtConverter().Convert(j.strExternalSubtitle, j.samiSrtFiles, job.strWorkFolder);
    if (n <= 0) {
        // The source stays SAMI with no class files, so no track is added.
        j.samiSrtFiles.clear();
        j.bSubtitleFailed = true;
        job.Log(QStringLiteral("Converting SAMI subtitle(s) to SRT failed"));
    } else {
        job.Log(Fmt("%d subtitle(s) extracted & converted").d(n));
    }
    for (const QString &entry : j.samiSrtFiles)
        AddTempFile(job.tempFiles, entry);
}

void prepareSrt(ConvertJob &job)
{
    auto &j = job.job;
    const ConverterOptions &o = job.options;
    job.Log(QStringLiteral("rewriting SRT subtitle"));
    const int ok = SrtRewriter().Rewrite(j.strExternalSubtitle, j.strPreparedSrt, job.strWorkFolder,
                                         SrtReadCodePage(o.bDesignateSrtLanguage, o.srtCodePage()));
    // A rewrite without a cue may still have written its file.
    AddTempFile(job.tempFiles, j.strPreparedSrt);
    if (ok) {
        job.Log(QStringLiteral("rewriting SRT subtitle finished"));
    } else {
        job.Log(QStringLiteral("rewriting SRT subtitle failed"));
        j.bSubtitleFailed = true;
        j.strPreparedSrt.clear();
        j.iSubtitleSource = kNoSubtitle;
    }
}

void prepareAss(ConvertJob &job)
{
    auto &j = job.job;
    job.Log(QStringLiteral("Converting ASS/SSA subtitle to SRT"));
    j.strPreparedSrt = job.strWorkFolder + QStringLiteral("SUB.srt");
    AddTempFile(job.tempFiles, j.strPreparedSrt);
    if (AssToSrtConverter().Convert(j.strExternalSubtitle, j.strPreparedSrt)) {
        job.Log(QStringLiteral("Converting ASS/SSA subtitle to SRT finished"));
    } else {
        job.Log(QStringLiteral("Converting ASS/SSA subtitle to SRT failed"));
        j.bSubtitleFailed = true;
        j.strPreparedSrt.clear();
        j.iSubtitleSource = kNoSubtitle;
    }
}

// A further subtitle named with a language, converted to SRT like the first one; its
// SRT files wait in extraPreparedSrt. n numbers the ASS/SSA outputs apart ("SUB2.srt").
void prepareExtra(ConvertJob &job, const TaggedSubtitle &sub, int n)
{
    auto &j = job.job;
    const QString source = platform::shortPath(sub.path);
    if (sub.extension == QLatin1String("smi")) {
        job.Log(QStringLiteral("Converting SAMI subtitle(s) to SRT"));
        QStringList entries;
        const int classes = SamiToSrtConverter().Convert(source, entries, job.strWorkFolder);
        if (classes <= 0) {
            job.Log(QStringLiteral("Converting SAMI subtitle(s) to SRT failed"));
            j.bSubtitleFailed = true;
            return;
        }
        job.Log(Fmt("%d subtitle(s) extracted & converted").d(classes));
        for (const QString &entry : entries) {
            AddTempFile(job.tempFiles, entry);
            const SamiEntry e = ParseSamiEntry(entry);
            j.extraPreparedSrt.append({ e.srtPath, SamiClassLanguage(e.className, sub.language), true });
        }
    } else if (sub.extension == QLatin1String("srt")) {
        const ConverterOptions &o = job.options;
        job.Log(QStringLiteral("rewriting SRT subtitle"));
        QString srt;
        const int ok = SrtRewriter().Rewrite(source, srt, job.strWorkFolder,
                                             SrtReadCodePage(o.bDesignateSrtLanguage, o.srtCodePage()));
        AddTempFile(job.tempFiles, srt);
        if (!ok) {
            job.Log(QStringLiteral("rewriting SRT subtitle failed"));
            j.bSubtitleFailed = true;
            return;
        }
        job.Log(QStringLiteral("rewriting SRT subtitle finished"));
        j.extraPreparedSrt.append({ srt, sub.language, false });
    } else {
        job.Log(QStringLiteral("Converting ASS/SSA subtitle to SRT"));
        const QString srt = job.strWorkFolder + Fmt("SUB%d.srt").d(n);
        AddTempFile(job.tempFiles, srt);
        if (!AssToSrtConverter().Convert(source, srt)) {
            job.Log(QStringLiteral("Converting ASS/SSA subtitle to SRT failed"));
            j.bSubtitleFailed = true;
            return;
        }
        job.Log(QStringLiteral("Converting ASS/SSA subtitle to SRT finished"));
        j.extraPreparedSrt.append({ srt, sub.language, false });
    }
}

} // namespace

// Stage 9: the subtitle source, and an external subtitle turned into SRT before the
// audio stage.
StageResult PrepareSubtitles(ConvertJob &job)
{
    auto &j = job.job;
    j.iSubtitleSource = ChooseSubtitleSource(job.ui.fileList().text(j.iRow, FileList::kSubtitle), j.report);
    switch (j.iSubtitleSource) {
    case kSamiFile:
        prepareSami(job);
        break;
    case kSrtFile:
        prepareSrt(job);
        break;
    case kAssFile:
    case kSsaFile:
        prepareAss(job);
        break;
    default:
        break;
    }
    int assOutputs = 1; // "SUB.srt" is the first subtitle's
    for (const TaggedSubtitle &sub : std::as_const(j.extraSubtitles)) {
        const bool ass = sub.extension == QLatin1String("ass") || sub.extension == QLatin1String("ssa");
        prepareExtra(job, sub, ass ? ++assOutputs : 0);
    }
    // With an external audio file the audio stage adds no summary of its own.
    if (!j.strAudioFile.isEmpty())
        j.strSummary += audio::SubtitleSummary(j.report, j.iSubtitleSource);
    job.ui.setSummaryText(j.strSummary);
    return StageResult::Continue;
}
