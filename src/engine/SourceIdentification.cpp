#include "engine/Stages.h"

#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/SourceFiles.h"
#include "engine/VideoReencodePlan.h"
#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <QFile>

#include <algorithm>
#include <climits>

namespace {

struct ContainerRow
{
    const char *logLine;
    QStringList extensions;
    const char *summaryPrefix;
};

// Indexed by ContainerKind 1..12 (11, unknown, has no row of its own).
const ContainerRow &containerRow(int kind)
{
    static const ContainerRow rows[] = {
        { "", {}, "" },
        { "containder format: AVI", { "avi", "divx" }, "AVI / " },
        { "containder format: DivX(Hacked AVI)", { "avi", "divx" }, "DivX / " },
        // WebM is Matroska under another document type.
        { "containder format: MKV", { "mkv", "webm" }, "MKV / " },
        { "containder format: FLV", { "flv" }, "FLV / " },
        { "containder format: OGG", { "ogm", "ogg" }, "OGM / " },
        { "containder format: MP4", { "mp4", "mov", "3gp", "m4v" }, "MP4 / " },
        { "containder format: MPEG", { "mpg", "mpeg", "dat", "vob" }, "MPG / " },
        { "containder format: WMV", { "wmv", "asf" }, "WMV / " },
        { "containder format: SWF", { "swf" }, "SWF / " },
        // Phones write QuickTime-branded files under MP4 names.
        { "containder format: QT", { "mov", "qt", "mp4", "m4v" }, "QT / " },
        { "", {}, "" },
        { "containder format: TS", { "ts", "m2ts", "mts", "tp", "trp" }, "TS / " },
    };
    return rows[kind];
}

struct VideoRow
{
    const char *logLine;
    const char *summary;
};

const VideoRow &videoRow(int format)
{
    static const VideoRow unknown = { "video format: unknown", "unknown" };
    static const VideoRow rows[] = {
        unknown,
        { "video format: H.264", "H.264" },
        { "video format: MPEG", "MPEG" },
        { "video format: MPEG4 Visual", "MPEG4" },
        { "video format: WMV", "WMV" },
        { "video format: VC1", "VC1" },
        { "video format: H.263", "H263" },
        { "video format: MJPEG", "MJPG" },
        { "video format: On2 VP6", "VP6" },
        { "video format: Cinepack", "Cinepack" },
        unknown,
        { "video format: HEVC", "HEVC" },
    };
    return format >= 1 && format <= 11 ? rows[format] : unknown;
}

// Container and extension; false skips the job.
bool checkContainer(ConvertJob &job)
{
    auto &j = job.job;
    const int kind = static_cast<int>(j.report.iContainer);
    if (kind == ContainerNone) {
        job.Log(QStringLiteral("reading source file failed!"));
        job.setStatus(QStringLiteral("파일 읽기 오류"));
        return false;
    }
    if (kind < 1 || kind > 12 || kind == ContainerUnknown) {
        job.Log(QStringLiteral("cannot identify file format!"));
        job.setStatus(QStringLiteral("변환 불가 포맷"));
        return false;
    }
    const ContainerRow &row = containerRow(kind);
    job.Log(QString::fromLatin1(row.logLine));
    if (!row.extensions.contains(j.strSourceExt, Qt::CaseInsensitive)) {
        job.Log(QStringLiteral("invalid extension"));
        job.setStatus(QStringLiteral("확장자 오류!"));
        return false;
    }
    j.strSummary = QString::fromLatin1(row.summaryPrefix);
    return true;
}

// A transport stream's clock starts wherever the broadcaster or camera left it (often
// many seconds in): its tracks are placed from the earliest one, as a copy out of the
// stream places them.
void tracksFromStreamStart(ConvertJob &job)
{
    MediaReport &r = job.job.report;
    if (r.iContainer != ContainerTs)
        return;
    int start = r.iVideoFormat != VideoNone ? r.iVideoDelay : INT_MAX;
    for (const AudioTrack &a : r.audio)
        start = std::min(start, a.iDelay);
    if (start == INT_MAX || start == 0)
        return;
    job.Log(Fmt("Transport stream starts at %d ms: tracks placed from there").d(start));
    r.iVideoDelay -= start;
    for (AudioTrack &a : r.audio)
        a.iDelay -= start;
}

bool copyDivx(ConvertJob &job)
{
    auto &j = job.job;
    const int kind = static_cast<int>(j.report.iContainer);
    if (j.strSourceExt.compare(QLatin1String("divx"), Qt::CaseInsensitive) == 0
        && (kind == ContainerAvi || kind == ContainerDivx)) {
        job.setStatus(QStringLiteral("원본 파일 복사중"));
        const QString copy = job.strWorkFolder + QStringLiteral("tempdivxfile.avi");
        QFile::remove(copy);
        // The source itself is only ever read.
        if (!QFile::copy(j.strSourcePath, copy)) {
            QFile::remove(copy);
            job.Log(QStringLiteral(".divx to .avi file copy failed"));
            job.setStatus(QStringLiteral("임시 파일 생성 실패!"));
            return false;
        }
        AddTempFile(job.tempFiles, copy);
        j.strSourceShortPath = platform::shortPath(copy);
    }
    job.Log(Fmt("internal audio count: %d / internal subtitle count: %d")
                .d(j.report.iAudioCount)
                .d(j.report.iTextCount));
    return true;
}

bool classifyVideo(ConvertJob &job)
{
    auto &j = job.job;
    const int mode = job.options.iConversionMode;
    const int format = static_cast<int>(j.report.iVideoFormat);
    j.bReencodeVideo = false;
    // Without a picture there is nothing to re-encode either: every mode refuses the file
    // before any tool runs, as mode 1 refuses a video it cannot take.
    if (format == VideoNone && j.report.iWidth <= 0 && j.report.iHeight <= 0) {
        job.Log(QStringLiteral("video format is not H.264 nor MPEG4"));
        job.setStatus(QStringLiteral("수용불가 비디오"));
        return false;
    }
    if (format == VideoH264 || (format == VideoHevc && job.options.iDeviceKind == kTodaysDevice)) {
        job.Log(QString::fromLatin1(videoRow(format).logLine));
        j.strSummary += QString::fromLatin1(videoRow(format).summary);
    } else if (format == VideoMpeg4Visual) {
        job.Log(QString::fromLatin1(videoRow(format).logLine));
        j.strSummary += QStringLiteral("MPEG4");
        if (j.report.iDivXVersion != 0) {
            if (mode <= 1) {
                job.Log(Fmt("DIV%d cannot be accepted").d(j.report.iDivXVersion));
                job.setStatus(Fmt("수용불가 비디오: DIV%d").d(j.report.iDivXVersion));
                return false;
            }
            j.bReencodeVideo = true;
        }
    } else {
        if (mode <= 1) {
            job.Log(QStringLiteral("video format is not H.264 nor MPEG4"));
            job.setStatus(QStringLiteral("수용불가 비디오"));
            return false;
        }
        j.bReencodeVideo = true;
        job.Log(QString::fromLatin1(videoRow(format).logLine));
        j.strSummary += QString::fromLatin1(videoRow(format).summary);
    }
    return true;
}

void frameAndBitRate(ConvertJob &job)
{
    auto &j = job.job;
    const MediaReport &r = j.report;
    bool ok = false;
    j.dFrameRate = r.strFrameRate.trimmed().toDouble(&ok);
    if (!ok)
        j.dFrameRate = AtofPrefix(r.strFrameRate);
    job.Log(Fmt("CString → char* → atof (current FPS): %s → %g").s(r.strFrameRate).g(j.dFrameRate));
    j.iBitRate = std::max({ r.iVideoBitRate, r.iMaxBitRate, r.iOverallBitRate });
    if (j.iBitRate < 10) {
        j.iBitRate = EstimatedBitRate(r.iWidth, r.iHeight, j.dFrameRate);
        job.Log(Fmt("new Bit Rate: %dkbps").d(j.iBitRate));
    }
}

struct Limit
{
    bool failed;
    QString logLine;
    const char *status;
};

// What today's iPhones and iPads refuse in a picture they otherwise decode: a profile
// other than (Constrained) Baseline, Main or High, more than 4096x2304 in either
// orientation, more than 60 frames per second, a level above 5.2.
struct TodaysLimits
{
    bool profile;
    bool size;
    bool rate;
    bool level;
};

TodaysLimits todaysLimits(const MediaReport &r, double frameRate)
{
    const QString name = r.strVideoProfile.left(r.strVideoProfile.indexOf(QLatin1Char('@'))).trimmed();
    static const char *const played[] = { "", "Baseline", "Constrained Baseline", "Main", "High" };
    bool known = false;
    for (const char *p : played)
        known |= name.compare(QLatin1String(p), Qt::CaseInsensitive) == 0;
    const int longSide = std::max(r.iWidth, r.iHeight);
    const int shortSide = std::min(r.iWidth, r.iHeight);
    // "5.2", "5", "6.1": compared as tenths.
    const double level = AtofPrefix(r.strLevel);
    return { !known, longSide > 4096 || shortSide > 2304, frameRate > 60.0 + 0.01,
             level > 5.2 + 0.001 };
}

// Device checks in order; false when mode 1 refuses the job.
bool checkDeviceLimits(ConvertJob &job)
{
    auto &j = job.job;
    const MediaReport &r = j.report;
    const int mode = job.options.iConversionMode;
    if (mode == 0 || j.bReencodeVideo)
        return true;
    const bool h264 = static_cast<int>(r.iVideoFormat) == VideoH264;
    const int device = job.options.iDeviceKind;

    const bool resolution = r.iWidth > 720 || r.iHeight > 576 || static_cast<qint64>(r.iWidth) * r.iHeight > 307200;
    const bool bitRate = j.iBitRate > 2500000;
    const bool frameRate = job.options.b30fpsCheck && j.dFrameRate > 30.0;
    const bool level = !r.strLevel.isEmpty() && r.strLevel.at(0).unicode() >= u'4';
    const bool asp = r.iQPel == 2 || r.iGMC != 0 || r.iMatrix == 2 || r.iScanType == 2;

    const QString resolutionLine = Fmt("resolution: %dx%d").d(r.iWidth).d(r.iHeight);
    const QString levelLine = Fmt("H.264 video @L%s").s(r.strLevel);
    const QString aspLine = Fmt("MPEG4 ASP:%s%s%s%s")
                                .s(r.iQPel == 2 ? QStringLiteral(" QPel") : QString())
                                .s(r.iGMC != 0 ? QStringLiteral(" GMC") : QString())
                                .s(r.iMatrix == 2 ? QStringLiteral(" Matrix:MPEG") : QString())
                                .s(r.iScanType == 2 ? QStringLiteral(" Interlace") : QString());
    auto bitRateLine = [&](const char *fmt) { return QString(Fmt(fmt).d(j.iBitRate)); };
    auto frameRateLine = [&](const char *fmt) { return QString(Fmt(fmt).g(j.dFrameRate)); };

    // Before size and rate: a picture the decoder cannot read at all is the first
    // thing to tell.
    const QString features = UndecodableVideoFeatures(r);
    const QString profileLine = Fmt(h264 ? "H.264 video profile: %s" : "MPEG4 video profile: %s").s(features);

    std::vector<Limit> checks;
    if (static_cast<int>(r.iVideoFormat) == VideoHevc) {
        // Only today's devices get here (classifyVideo): Main or Main 10, 4:2:0, the
        // size and rate limits of their H.264.
        const TodaysLimits t = todaysLimits(r, j.dFrameRate);
        const QString name = r.strVideoProfile.trimmed();
        const bool main8 = name.compare(QLatin1String("Main"), Qt::CaseInsensitive) == 0 && r.iVideoBitDepth <= 8;
        const bool main10 = name.compare(QLatin1String("Main 10"), Qt::CaseInsensitive) == 0 && r.iVideoBitDepth <= 10;
        const QString &chroma = r.strChromaSubsampling;
        const bool played = (main8 || main10) && (chroma.isEmpty() || chroma.startsWith(QLatin1String("4:2:0")));
        const QString hevcLine = Fmt("HEVC video profile: %s / %s / %d bit").s(name).s(chroma).d(r.iVideoBitDepth);
        checks = { { !played, hevcLine, "재생 불가 프로파일" },
                   { t.size, resolutionLine, "재생 불가 해상도" },
                   { t.rate, frameRateLine("%g fps HEVC video"), "60fps 초과 HEVC" },
                   { frameRate, frameRateLine("%g fps HEVC video"), "30fps 초과 HEVC" } };
    } else if (h264) {
        checks.push_back({ !features.isEmpty(), profileLine, "재생 불가 프로파일" });
        if (device == 0) {
            checks.insert(checks.end(), { { resolution, resolutionLine, "재생 불가 해상도" },
                       { level, levelLine, "4.x 이상 level" },
                       { bitRate, bitRateLine("%d bps H.264 video"), "2.5Mbps 초과 H.264" },
                       { frameRate, frameRateLine("%g fps H.264 video"), "30fps 초과 H.264" } });
        } else if (device == 1) {
            checks.insert(checks.end(), { { r.iHeight > 720, resolutionLine, "720p 초과 H.264" },
                       { frameRate, frameRateLine("%g fps H.264 video"), "30fps 초과 H.264" },
                       { level, levelLine, "4.x 이상 level" } });
        } else if (device == 2) {
            checks.insert(checks.end(), { { r.iHeight > 1080, resolutionLine, "1080p 초과 H.264" },
                       { frameRate, frameRateLine("%g fps H.264 video"), "30fps 초과 H.264" },
                       { level, levelLine, "4.x 이상 level" } });
        } else {
            const TodaysLimits t = todaysLimits(r, j.dFrameRate);
            checks.insert(checks.end(), { { t.profile, Fmt("H.264 video profile: %s").s(r.strVideoProfile), "재생 불가 프로파일" },
                       { t.size, resolutionLine, "재생 불가 해상도" },
                       { t.rate, frameRateLine("%g fps H.264 video"), "60fps 초과 H.264" },
                       { frameRate, frameRateLine("%g fps H.264 video"), "30fps 초과 H.264" },
                       { t.level, levelLine, "5.2 초과 level" } });
        }
    } else {
        // MPEG-4 Visual: the same checks on every device.
        checks.insert(checks.end(), { { !features.isEmpty(), profileLine, "재생 불가 프로파일" },
                   { resolution, resolutionLine, "재생 불가 해상도" },
                   { bitRate, bitRateLine("%d bps MPEG4 video"), "2.5Mbps 초과 MPEG4" },
                   { frameRate, frameRateLine("%g fps MPEG4 video"), "30fps 초과 MPEG4" },
                   { asp, aspLine, "재생 불가 ASP" } });
    }
    for (const Limit &c : checks) {
        if (!c.failed)
            continue;
        if (mode == 1) {
            job.Log(c.logLine);
            job.setStatus(QString::fromUtf8(c.status));
            return false;
        }
        j.bReencodeVideo = true;
    }
    return true;
}

bool summaryAndSize(ConvertJob &job)
{
    auto &j = job.job;
    const MediaReport &r = j.report;
    QString bracket = Fmt("(%dx%d").d(r.iWidth).d(r.iHeight);
    bracket += j.dFrameRate > 0 ? QString(Fmt(", %gfps").g(j.dFrameRate)) : QStringLiteral(", unknown fps");
    bracket += j.iBitRate > 0 ? QString(Fmt(", %gMbps").g(static_cast<int>(j.iBitRate * 0.001) * 0.001))
                              : QStringLiteral(", unknown Bt Rate");
    bracket += r.iFrameCount != 0 ? QString(Fmt(", %sfr)").s(FormatGrouped(r.iFrameCount))) : QStringLiteral(")");
    j.strSummary += bracket;
    job.Log(Fmt("resolution: %dx%d / %g fps / %d bps / %d frames")
                .d(r.iWidth)
                .d(r.iHeight)
                .g(j.dFrameRate)
                .d(j.iBitRate)
                .d(r.iFrameCount));
    job.ui.setSummaryText(j.strSummary);
    job.Log(Fmt("Source file size: %d MByte").d(r.iFileSizeMB));
    if (job.options.bSmallerThan4GB && r.iFileSizeMB > 4095) {
        job.setStatus(QStringLiteral("4GB 이상 파일"));
        return false;
    }
    return true;
}

void externalFiles(ConvertJob &job)
{
    auto &j = job.job;
    FileList &list = job.ui.fileList();
    const QString base = j.strSourcePath.left(j.strSourcePath.size() - j.strSourceExt.size()); // keeps the dot
    const QString audioExt = list.text(j.iRow, FileList::kAudio);
    const QString stem = base.left(base.size() - 1);
    if (!audioExt.isEmpty()) {
        QString candidate = CompanionFile(stem, audioExt);
        if (candidate.isEmpty())
            candidate = FindFirstMatch(stem + QStringLiteral("*.") + audioExt);
        j.strSummary += QStringLiteral(" / ") + audioExt.toUpper() + QStringLiteral("(ext)");
        j.iExternalAudioDelay = ExternalAudioDelay(j.strSourcePath, j.strSourceExt, candidate);
        job.Log(Fmt("external audio file: %s").s(candidate));
        j.strAudioFile = platform::shortPath(candidate);
    }
    const QString subtitleExt = list.text(j.iRow, FileList::kSubtitle);
    if (!subtitleExt.isEmpty()) {
        QString path = CompanionFile(stem, subtitleExt);
        QList<TaggedSubtitle> tagged = FindLanguageSubtitles(stem);
        if (path.isEmpty()) {
            path = base + subtitleExt;
            // No plain "movie.ext": the first subtitle named with a language leads.
            for (qsizetype i = 0; i < tagged.size(); ++i) {
                if (tagged[i].extension == subtitleExt) {
                    path = tagged[i].path;
                    j.strExternalSubtitleLanguage = tagged[i].language;
                    tagged.removeAt(i);
                    break;
                }
            }
        }
        job.Log(Fmt("external subtitle file: %s").s(path));
        j.strExternalSubtitle = platform::shortPath(path);
        for (const TaggedSubtitle &t : tagged)
            job.Log(Fmt("external subtitle file: %s").s(t.path));
        j.extraSubtitles = tagged;
    }
}

void chooseAudioTrack(ConvertJob &job)
{
    auto &j = job.job;
    j.iInternalAudio = ChooseInternalAudio(j.report, job.options);
    job.Log(Fmt("iInternalAudio = %d").d(j.iInternalAudio));
}

} // namespace

int ExternalAudioDelay(const QString &sourcePath, const QString &sourceExt, const QString &candidate)
{
    QString rest = candidate.mid(sourcePath.size() - sourceExt.size() - 1).toUpper();
    const qsizetype delay = rest.indexOf(QLatin1String("DELAY"));
    if (delay >= 0)
        rest = rest.mid(delay + 5);
    qsizetype i = 0;
    while (i < rest.size() && rest.at(i).isSpace())
        ++i;
    return LeadingInt(rest.mid(i));
}

int ChooseInternalAudio(const MediaReport &report, const ConverterOptions &options)
{
    const int count = report.iAudioCount;
    if (options.bDesignateAudioLanguage && options.iAudioLanguage >= 7 && options.iAudioLanguage <= 15) {
        int index = options.iAudioLanguage - 7;
        if (index >= count)
            index = count - 1;
        return index;
    }
    return report.BestAudioTrack();
}

QString UndecodableVideoFeatures(const MediaReport &report)
{
    const QString &profile = report.strVideoProfile;
    // High 10, High 4:2:2, High 4:4:4 Predictive and Intra, CAVLC 4:4:4 Intra, and their
    // short names in other tools' reports.
    static const char *const beyondHigh[] = { "High 10", "High 4:2:2", "4:4:4", "Hi10", "Hi422", "Hi444" };
    bool profileBeyond = false;
    if (report.iVideoFormat == VideoH264) {
        for (const char *p : beyondHigh)
            profileBeyond |= profile.contains(QLatin1String(p), Qt::CaseInsensitive);
    }
    const QString &chroma = report.strChromaSubsampling;
    const bool chromaBeyond = !chroma.isEmpty() && !chroma.startsWith(QLatin1String("4:2:0"));
    const bool depthBeyond = report.iVideoBitDepth > 8;
    if (!profileBeyond && !chromaBeyond && !depthBeyond)
        return QString();
    QStringList parts;
    parts << (profile.isEmpty() ? QStringLiteral("unknown profile") : profile);
    if (!chroma.isEmpty())
        parts << chroma;
    if (report.iVideoBitDepth > 0)
        parts << QString::number(report.iVideoBitDepth) + QStringLiteral(" bit");
    return parts.join(QStringLiteral(" / "));
}

int EstimatedBitRate(int width, int height, double frameRate)
{
    return static_cast<int>(static_cast<double>(width) * height * frameRate * 0.1953125);
}

StageResult IdentifySource(ConvertJob &job)
{
    if (!checkContainer(job) || !copyDivx(job) || !classifyVideo(job))
        return StageResult::SkipJob;
    tracksFromStreamStart(job);
    frameAndBitRate(job);
    if (!checkDeviceLimits(job) || !summaryAndSize(job))
        return StageResult::SkipJob;
    externalFiles(job);
    chooseAudioTrack(job);
    return StageResult::Continue;
}
