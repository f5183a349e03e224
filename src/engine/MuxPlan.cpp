#include "engine/MuxPlan.h"

#include "platform/Paths.h"
#include "shell/Formatters.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace {

const char16_t kSyllableBase = 0xAC00;
const char16_t kLeadFirst = 0x1100, kLeadLast = 0x1112;
const char16_t kVowelFirst = 0x1161, kVowelLast = 0x1175;
const char16_t kTrailFirst = 0x11A8, kTrailLast = 0x11C2;

bool inRange(const QString &s, qsizetype i, char16_t first, char16_t last)
{
    if (i >= s.size())
        return false;
    const char16_t c = s.at(i).unicode();
    return c >= first && c <= last;
}

const QString kDisable = QStringLiteral(":disable");

} // namespace

QString ComposeHangulJamo(const QString &s)
{
    QString out;
    out.reserve(s.size());
    qsizetype i = 0;
    while (i < s.size() && !s.at(i).isNull()) {
        if (inRange(s, i, kLeadFirst, kLeadLast) && inRange(s, i + 1, kVowelFirst, kVowelLast)) {
            const int l = s.at(i).unicode() - kLeadFirst;
            const int v = s.at(i + 1).unicode() - kVowelFirst;
            int syllable = kSyllableBase + (l * 21 + v) * 28;
            if (inRange(s, i + 2, kTrailFirst, kTrailLast)) {
                syllable += s.at(i + 2).unicode() - kTrailFirst + 1;
                i += 3;
            } else {
                i += 2;
            }
            out += QChar(static_cast<char16_t>(syllable));
        } else {
            out += s.at(i);
            ++i;
        }
    }
    return out;
}

int Gcd(int a, int b)
{
    if (a <= 0)
        return b;
    if (b <= 0)
        return a;
    unsigned u = static_cast<unsigned>(a), v = static_cast<unsigned>(b);
    int shift = 0;
    while (((u | v) & 1u) == 0) {
        u >>= 1;
        v >>= 1;
        ++shift;
    }
    while ((u & 1u) == 0)
        u >>= 1;
    do {
        while ((v & 1u) == 0)
            v >>= 1;
        if (u > v)
            std::swap(u, v);
        v -= u;
    } while (v != 0);
    return static_cast<int>(u << shift);
}

QString OutputBaseName(const QString &sourcePath)
{
    QString name = sourcePath.mid(platform::lastSeparator(sourcePath) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return ComposeHangulJamo(name);
}

AspectRatio SourcePixelAspect(double p)
{
    AspectRatio r;
    if (!(p > 0.0000001))
        return r;
    r.value = p;
    r.n = static_cast<int>(p * 1000 + 0.5);
    r.d = 1000;
    if (r.n % 100 != 0) {
        r.n = static_cast<int>(p * 90000 + 0.5);
        r.d = 90000;
    }
    const int g = Gcd(r.n, r.d);
    if (g > 0) {
        r.n /= g;
        r.d /= g;
    }
    if (r.n <= 0) // a ratio too small to show in ninety-thousandths
        return AspectRatio();
    return r;
}

AspectRatio TargetPixelAspect(const AspectRatio &source, int parMode, int width, int height)
{
    const double p = source.value;
    switch (parMode) {
    case 0:
        return source;
    case 2:
        return (p < 0.666667 || p > 1.5) ? AspectRatio() : source;
    case 3:
        return (p < 0.5 || p > 2.0) ? AspectRatio() : source;
    case 4:
    case 5: {
        // Without a picture size no ratio can be formed; square pixels are the safe choice.
        if (width <= 0 || height <= 0)
            return AspectRatio();
        const long long n = (parMode == 4 ? 3LL : 4LL) * height;
        const long long d = (parMode == 4 ? 2LL : 3LL) * width;
        if (n > INT_MAX || d > INT_MAX)
            return AspectRatio();
        const int g = Gcd(static_cast<int>(n), static_cast<int>(d));
        AspectRatio r;
        r.n = static_cast<int>(n) / g;
        r.d = static_cast<int>(d) / g;
        r.value = static_cast<double>(r.n) / r.d;
        return r;
    }
    default:
        return AspectRatio();
    }
}

QString ParOption(const AspectRatio &ratio)
{
    return Fmt(" -par 1=%d:%d").d(ratio.n).d(ratio.d);
}

QString AudioTrackOption(const QString &aacFile)
{
    return Fmt(" -add \"%s\"##AUDIODELAY##").s(aacFile);
}

QString ComposeMuxArgs(const QString &videoOption, const QString &parOption, const QString &trackOptions,
                       const QString &progressFile)
{
    QString args = QStringLiteral(" -ipod") + videoOption + QStringLiteral("##VIDEODELAY##") + parOption
        + trackOptions + QStringLiteral(" \"") + progressFile + QLatin1Char('"');
    const qsizetype disable = args.indexOf(kDisable);
    if (disable >= 0)
        args.remove(disable, kDisable.size());
    return args;
}

TrackShifts ComputeShifts(int sourceVideoDelay, bool internalAudio, int subtitleSource)
{
    TrackShifts s;
    s.video = (internalAudio && subtitleSource == 1) ? 0 : -sourceVideoDelay;
    s.audio = (internalAudio && subtitleSource != 1) ? -sourceVideoDelay : 0;
    return s;
}

MuxDelays CorrectNegativeDelays(int audio, int video)
{
    MuxDelays r{ audio, video, 0 };
    if (audio < 0 || video < 0) {
        const int m = std::min(audio, video);
        r.audio -= m;
        r.video -= m;
        r.correction = -m;
    }
    return r;
}

QString SubstituteDelays(QString args, int audio, int video)
{
    args.replace(QStringLiteral("##AUDIODELAY##"), Fmt(":delay=%d").d(audio).str());
    args.replace(QStringLiteral("##VIDEODELAY##"), Fmt(":delay=%d").d(video).str());
    return args;
}

QString AdjustedSubtitleName(const QString &ttxtPath)
{
    return ttxtPath.left(ttxtPath.size() - 5) + QStringLiteral("_adj.ttxt");
}

int SyncOffset(int sourceAudioDelay, int outputAudioDuration, int outputVideoDuration)
{
    return sourceAudioDelay + outputAudioDuration - outputVideoDuration;
}

bool IsSyncProblem(int syncOffset, int sourceVideoDelay)
{
    return syncOffset - sourceVideoDelay > 100;
}
