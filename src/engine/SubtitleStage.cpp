#include "engine/SubtitleStage.h"

#include "engine/FrontEnd.h"
#include "engine/ToolStep.h"
#include "platform/Paths.h"
#include "runner/RunTool.h"
#include "shell/Formatters.h"
#include "subtitles/AssToSrtConverter.h"
#include "subtitles/TimedTextRewriter.h"

#include <QFile>
#include <QRegularExpression>

int ChooseSubtitleSource(const QString &externalExtension, const MediaReport &report)
{
    if (externalExtension == QLatin1String("smi"))
        return kSamiFile;
    if (externalExtension == QLatin1String("srt"))
        return kSrtFile;
    if (externalExtension == QLatin1String("ass"))
        return kAssFile;
    if (externalExtension == QLatin1String("ssa"))
        return kSsaFile;
    if ((report.iContainer == ContainerMkv || report.iContainer == ContainerMp4) && report.iTextCount > 0)
        return kInternalSubtitles;
    return kNoSubtitle;
}

int SrtReadCodePage(bool designate, int codePage)
{
    return designate ? codePage : 0;
}

QString TtxtNameFor(const QString &srtPath)
{
    return srtPath.left(srtPath.size() - 4) + QStringLiteral(".ttxt");
}

QString MkvTrackSrt(const QString &workFolder, int id)
{
    return Fmt("%ssub_%s.srt").s(workFolder).s(QString::number(id).rightJustified(3, QLatin1Char('0')));
}

QString Mp4TrackTtxt(const QString &workFolder, int id)
{
    return Fmt("%ssub_%d_text.ttxt").s(workFolder).d(id);
}

QString InternalTrackTtxt(ContainerKind container, const TextTrack &track, const QString &workFolder)
{
    if (container == ContainerMkv && (track.iFormat == TextSrt || track.iFormat == TextSsa))
        return TtxtNameFor(MkvTrackSrt(workFolder, track.iID));
    if (container == ContainerMp4 && track.iFormat == TextTtxt)
        return Mp4TrackTtxt(workFolder, track.iID);
    return QString();
}

QString InternalTrackLanguage(const TextTrack &track)
{
    const QString language = track.language();
    return language.isEmpty() ? QStringLiteral("ko") : language;
}

SamiEntry ParseSamiEntry(const QString &entry)
{
    qsizetype start = 0;
    while (start < entry.size() && entry.at(start) == QLatin1Char('"'))
        ++start;
    const qsizetype close = entry.indexOf(QLatin1Char('"'), start);
    if (close < 0)
        return SamiEntry{ QString(), entry.mid(start) };
    return SamiEntry{ entry.mid(start, close - start), entry.mid(close + 1) };
}

namespace {

struct LanguageName
{
    const char *name;
    const char *code;
};

// ISO 639-1 and 639-2 (both forms) of the languages subtitles come in, and the
// country-style abbreviations Korean files use for them. Korean, English and Japanese
// keep the two-letter codes the track options always had; the others are given in
// the three-letter form the track needs.
constexpr LanguageName kLanguageNames[] = {
    { "ko", "ko" },   { "kor", "ko" },  { "kr", "ko" },   { "en", "en" },   { "eng", "en" },  { "ja", "ja" },
    { "jpn", "ja" },  { "jp", "ja" },   { "zh", "zho" },  { "zho", "zho" }, { "chi", "zho" }, { "cn", "zho" },
    { "chs", "zho" }, { "cht", "zho" }, { "de", "deu" },  { "deu", "deu" }, { "ger", "deu" }, { "fr", "fra" },
    { "fra", "fra" }, { "fre", "fra" }, { "es", "spa" },  { "spa", "spa" }, { "it", "ita" },  { "ita", "ita" },
    { "ru", "rus" },  { "rus", "rus" }, { "pt", "por" },  { "por", "por" }, { "vi", "vie" },  { "vie", "vie" },
    { "th", "tha" },  { "tha", "tha" }, { "id", "ind" },  { "ind", "ind" }, { "nl", "nld" },  { "nld", "nld" },
    { "dut", "nld" }, { "sv", "swe" },  { "swe", "swe" }, { "pl", "pol" },  { "pol", "pol" }, { "tr", "tur" },
    { "tur", "tur" }, { "ar", "ara" },  { "ara", "ara" },
};

// The two letters before "CC" in the usual SAMI class names (KRCC, ENCC, EGCC, JPCC, CNCC).
constexpr LanguageName kCaptionPrefixes[] = {
    { "KR", "ko" },  { "KO", "ko" },  { "EN", "en" },  { "EG", "en" },  { "US", "en" },  { "JP", "ja" },
    { "JA", "ja" },  { "CN", "zho" }, { "ZH", "zho" }, { "CH", "zho" }, { "FR", "fra" }, { "DE", "deu" },
    { "GE", "deu" }, { "ES", "spa" }, { "SP", "spa" }, { "IT", "ita" }, { "RU", "rus" }, { "PT", "por" },
    { "VI", "vie" }, { "VN", "vie" }, { "TH", "tha" },
};

QString lookUp(const LanguageName *begin, const LanguageName *end, const QString &key)
{
    for (const LanguageName *l = begin; l != end; ++l) {
        if (key == QLatin1StringView(l->name))
            return QString::fromLatin1(l->code);
    }
    return QString();
}

bool isAsciiLetters(QStringView s)
{
    for (QChar c : s) {
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')))
            return false;
    }
    return !s.isEmpty();
}

} // namespace

QString LanguageOfTag(const QString &tag)
{
    QString primary = tag;
    const qsizetype dash = tag.indexOf(QRegularExpression(QStringLiteral("[-_]")));
    if (dash >= 0)
        primary = tag.left(dash); // "ko-KR", "zh-Hans", "pt_BR"
    if (!isAsciiLetters(primary) || primary.size() < 2 || primary.size() > 3)
        return QString();
    return lookUp(std::begin(kLanguageNames), std::end(kLanguageNames), primary.toLower());
}

QString KnownSamiClassLanguage(const QString &className)
{
    const QString upper = className.toUpper();
    if (upper.size() >= 4 && upper.endsWith(QLatin1StringView("CC"))) {
        const QString code = lookUp(std::begin(kCaptionPrefixes), std::end(kCaptionPrefixes), upper.mid(upper.size() - 4, 2));
        if (!code.isEmpty())
            return code;
    }
    // Language tags with the hyphen taken out ("koKR", "enUS", "zhHans"), or bare
    // codes ("ko", "eng").
    const QString head = className.left(2);
    const bool tagLike = className.size() == 2 || className.size() == 3
        || (className.size() >= 3 && isAsciiLetters(className) && head == head.toLower() && className.at(2).isUpper())
        || (className.size() == 4 && isAsciiLetters(className) && className == upper);
    if (!tagLike)
        return QString();
    if (className.size() == 3)
        return LanguageOfTag(className);
    return LanguageOfTag(head);
}

QString SamiClassLanguage(const QString &className, const QString &fileLanguage)
{
    const QString known = KnownSamiClassLanguage(className);
    if (!known.isEmpty())
        return known;
    if (!fileLanguage.isEmpty())
        return fileLanguage;
    const QChar first = className.isEmpty() ? QChar() : className.at(0).toUpper();
    if (first == QLatin1Char('E'))
        return QStringLiteral("en");
    if (first == QLatin1Char('J'))
        return QStringLiteral("ja");
    return QStringLiteral("ko");
}

QString SubtitleTrackOption(const QString &ttxt, const QString &language, bool withLayout)
{
    return QStringLiteral(" -add \"") + ttxt + QStringLiteral("\":lang=") + language
        + (withLayout ? QStringLiteral(":layout=0x60x0x-1") : QString()) + QStringLiteral(":hdlr=sbtl:group=2:disable");
}

QString WithoutSubtitleTracks(const QString &trackOptions, const std::function<bool(const QString &)> &keep,
                              QStringList *dropped)
{
    // Only the options this stage writes are candidates; the audio option never matches.
    static const QRegularExpression option(QStringLiteral(
        " -add \"([^\"]*)\":lang=[^: \"]*(?::layout=0x60x0x-1)?:hdlr=sbtl:group=2(?::disable)?(?= -add |$)"));
    QString out;
    qsizetype from = 0;
    auto it = option.globalMatch(trackOptions);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (keep(m.captured(1)))
            continue;
        out += trackOptions.mid(from, m.capturedStart() - from);
        from = m.capturedEnd();
        if (dropped)
            dropped->append(m.captured(1));
    }
    return out + trackOptions.mid(from);
}

QString SrtToTtxt(ConvertJob &job, const QString &srtPath)
{
    if (srtPath.isEmpty())
        return QString();
    const QString ttxt = TtxtNameFor(srtPath);
    // An old file of that name (kept temporary files of an earlier job) must not pass
    // for this conversion's result.
    AddTempFile(job.tempFiles, ttxt);
    QFile::remove(ttxt);
    const ToolEntry &mp4box = job.tool(kMP4Box);
    job.ui.stopRequested = false;
    RunTool(job.ui, job.strWorkFolder, mp4box.fullPath, mp4box.shortPath,
            QStringLiteral("-ttxt \"") + srtPath + QLatin1Char('"'));
    if (job.ui.stopRequested)
        return QString();
    return platform::fileExists(ttxt) ? ttxt : QString();
}

void ApplySubtitleFontSize(ConvertJob &job, const QString &ttxtPath)
{
    // A file the rewriter cannot read stays as MP4Box wrote it, at its default size.
    TimedTextRewriter().Restyle(ttxtPath, QString(), job.options.subtitlePointSize());
}

namespace {

const QString kConvertingStatus = QStringLiteral("자막 변환중");

QString conversionLine(const QString &srt, const QString &ttxt)
{
    return QStringLiteral("SRT → TTXT conversion: ") + srt + QStringLiteral(" → ") + ttxt;
}

// A line of the extracted-track conversion in the given style; nothing when silent.
void logStep(ConvertJob &job, TrackLogStyle style, const char *text, int k, int n)
{
    switch (style) {
    case TrackLogStyle::Numbered:
        job.Log(Fmt(QString::fromUtf8(text) + QStringLiteral(" (%d/%d)")).d(k).d(n));
        break;
    case TrackLogStyle::Unnumbered:
        job.Log(QString::fromUtf8(text));
        break;
    case TrackLogStyle::Silent:
        break;
    }
}

void logResult(ConvertJob &job, TrackLogStyle style, const char *text)
{
    if (style != TrackLogStyle::Silent)
        job.Log(QString::fromUtf8(text));
}

// The external subtitle's timed text: false when Stop was pressed.
bool convertExternal(ConvertJob &job, const QString &srt, const QString &language, bool withLayout)
{
    auto &j = job.job;
    if (srt.isEmpty())
        return true;
    const QString ttxt = SrtToTtxt(job, srt);
    if (job.ui.stopRequested) {
        TakeStopPath(job, QString::fromUtf8(kSubtitleStopLine));
        return false;
    }
    j.strSubtitleTtxt = ttxt;
    job.Log(conversionLine(srt, ttxt));
    if (ttxt.isEmpty()) {
        j.bSubtitleFailed = true;
        return true;
    }
    ApplySubtitleFontSize(job, ttxt);
    j.externalTtxtFiles << ttxt;
    j.strTrackOptions += SubtitleTrackOption(ttxt, language, withLayout);
    return true;
}

} // namespace

StageResult ExtractMp4TimedText(ConvertJob &job, TrackLogStyle style)
{
    auto &j = job.job;
    job.setStatus(kConvertingStatus);
    const ToolEntry &mp4box = job.tool(kMP4Box);
    for (qsizetype i = 0; i < j.report.text.size(); ++i) {
        const TextTrack &t = j.report.text.at(i);
        if (t.iFormat != TextTtxt)
            continue;
        const QString file = Mp4TrackTtxt(job.strWorkFolder, t.iID);
        AddTempFile(job.tempFiles, file);
        // A kept file of an earlier job must not stand in for a failed extraction.
        QFile::remove(file);
        const QString args =
            Fmt(" -ttxt %d \"%s\" -out \"%ssub\"").d(t.iID).s(j.strSourceShortPath).s(job.strWorkFolder);
        if (style == TrackLogStyle::Numbered) {
            job.Log(Fmt("Extracting TTXT (%d/%d)").d(i + 1).d(j.report.iTextCount));
        } else {
            job.Log(QStringLiteral("Extracting TTXT from MP4"));
            job.log.LogDriveFreeSpace(job.strWorkFolder);
        }
        job.ui.stopRequested = false;
        RunTool(job.ui, job.strWorkFolder, mp4box.fullPath, mp4box.shortPath, args);
        if (job.ui.stopRequested) {
            TakeStopPath(job, QStringLiteral("Extraction stopped"));
            return StageResult::StopRun;
        }
        if (platform::fileExists(file)) {
            ApplySubtitleFontSize(job, file);
            job.Log(QStringLiteral("Extraction finished"));
        } else {
            j.bSubtitleFailed = true;
            job.Log(QStringLiteral("Extraction failed"));
        }
    }
    return StageResult::Continue;
}

StageResult ConvertExtractedMkvTracks(ConvertJob &job, TrackLogStyle style)
{
    job.setStatus(kConvertingStatus);
    const MediaReport &report = job.job.report;
    const int n = report.iTextCount;
    for (qsizetype i = 0; i < report.text.size(); ++i) {
        const TextTrack &t = report.text.at(i);
        if (t.iFormat != TextSrt && t.iFormat != TextSsa)
            continue;
        const int k = static_cast<int>(i) + 1;
        const QString srt = MkvTrackSrt(job.strWorkFolder, t.iID);
        AddTempFile(job.tempFiles, srt);
        if (t.iFormat == TextSsa) {
            logStep(job, style, "Converting ASS/SSA to SRT", k, n);
            // mkvextract wrote ASS/SSA text under the ".srt" name. A failure leaves
            // that text, which MP4Box then turns into no file: the track is dropped.
            AssToSrtConverter().Convert(srt);
        }
        logStep(job, style, "Converting SRT to TTXT", k, n);
        QString ttxt = SrtToTtxt(job, srt);
        if (job.ui.stopRequested) {
            TakeStopPath(job, QString::fromUtf8(kSubtitleStopLine));
            return StageResult::StopRun;
        }
        job.Log(conversionLine(srt, ttxt));
        if (ttxt.isEmpty()) {
            job.job.bSubtitleFailed = true;
            logResult(job, style, "Converting failed");
            ttxt = TtxtNameFor(srt);
        } else {
            ApplySubtitleFontSize(job, ttxt);
            logResult(job, style, "Converting finished");
        }
        AddTempFile(job.tempFiles, ttxt);
    }
    return StageResult::Continue;
}

StageResult AppendSubtitleTrackOptions(ConvertJob &job)
{
    auto &j = job.job;
    switch (j.iSubtitleSource) {
    case kInternalSubtitles:
        // The files are made later by the video stage; a track that never gets its
        // file is taken out again before the mux.
        for (const TextTrack &t : j.report.text) {
            const QString ttxt = InternalTrackTtxt(j.report.iContainer, t, job.strWorkFolder);
            if (!ttxt.isEmpty())
                j.strTrackOptions += SubtitleTrackOption(ttxt, InternalTrackLanguage(t), true);
        }
        break;
    case kSamiFile:
        for (const QString &entry : j.samiSrtFiles) {
            const SamiEntry e = ParseSamiEntry(entry);
            if (!convertExternal(job, e.srtPath, SamiClassLanguage(e.className, j.strExternalSubtitleLanguage), true))
                return StageResult::StopRun;
        }
        break;
    case kSrtFile:
    case kAssFile:
    case kSsaFile:
        // No language is guessed from the text: an external SRT, ASS or SSA track is
        // Korean unless its name says otherwise.
        if (!convertExternal(job, j.strPreparedSrt,
                             j.strExternalSubtitleLanguage.isEmpty() ? QStringLiteral("ko")
                                                                     : j.strExternalSubtitleLanguage,
                             false))
            return StageResult::StopRun;
        break;
    default:
        break;
    }
    for (const PreparedSubtitle &p : std::as_const(j.extraPreparedSrt)) {
        if (!convertExternal(job, p.srtPath, p.language, p.withLayout))
            return StageResult::StopRun;
    }
    return StageResult::Continue;
}

void DropMissingSubtitleTracks(ConvertJob &job)
{
    auto &j = job.job;
    QStringList dropped;
    j.strTrackOptions = WithoutSubtitleTracks(
        j.strTrackOptions, [](const QString &file) { return platform::fileExists(file); }, &dropped);
    for (const QString &file : dropped)
        job.Log(QStringLiteral("Subtitle track left out, no file: ") + file);
    if (!dropped.isEmpty())
        j.bSubtitleFailed = true;
}
