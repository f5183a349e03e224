#include "probe/MediaReport.h"

#include "platform/Paths.h"
#include "runner/CommandScript.h"
#include "runner/RunnerHost.h"
#include "runner/ToolRunner.h"

#include <QFile>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace {

using Bytes = std::string_view;

// MediaInfo's lines are read as fixed-size records: anything past this many bytes
// of one line is dropped, never taken for the start of another line.
constexpr size_t kMaxLineBytes = 259;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWith(Bytes s, Bytes prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool contains(Bytes s, Bytes part)
{
    return s.find(part) != Bytes::npos;
}

bool containsChar(Bytes s, char c)
{
    return s.find(c) != Bytes::npos;
}

bool equalsNoCase(Bytes a, Bytes b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Leading decimal integer as the C library's atoi reads it, saturated at the int range.
int leadingInt(Bytes s)
{
    size_t i = 0;
    while (i < s.size() && isSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int64_t v = 0;
    for (; i < s.size() && isDigit(s[i]); ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > int64_t(INT_MAX) + 1)
            v = int64_t(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-v < INT_MIN ? INT_MIN : -v);
    return static_cast<int>(v > INT_MAX ? INT_MAX : v);
}

// Leading decimal number (digits, optional fraction and exponent) as atof reads it,
// but independent of the locale and without inf or nan.
double leadingDouble(Bytes s)
{
    size_t i = 0;
    while (i < s.size() && isSpace(s[i]))
        ++i;
    const size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const size_t mantissa = i;
    while (i < s.size() && isDigit(s[i]))
        ++i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
    }
    if (i == mantissa || (i == mantissa + 1 && s[mantissa] == '.'))
        return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t e = i + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-'))
            ++e;
        if (e < s.size() && isDigit(s[e])) {
            while (e < s.size() && isDigit(s[e]))
                ++e;
            i = e;
        }
    }
    size_t from = start;
    if (s[from] == '+')
        ++from;
    double v = 0.0;
    std::from_chars(s.data() + from, s.data() + i, v);
    return std::isfinite(v) ? v : 0.0;
}

// The raw-value rule of most numeric keys: the form with units is refused because it
// holds a space or the first letter of its unit.
bool isRawValue(Bytes value, char unitLetter)
{
    return !containsChar(value, ' ') && !containsChar(value, unitLetter);
}

// HH:MM:SS.mmm, exactly; anything else gives no value.
bool parseDelay(Bytes v, int *ms)
{
    if (v.size() != 12 || v[2] != ':' || v[5] != ':' || v[8] != '.')
        return false;
    int digits = 0;
    for (char c : v)
        digits += isDigit(c) ? 1 : 0;
    if (digits != 9)
        return false;
    auto num = [&](size_t pos, size_t len) {
        int n = 0;
        for (size_t i = pos; i < pos + len; ++i)
            n = n * 10 + (v[i] - '0');
        return n;
    };
    *ms = ((num(0, 2) * 60 + num(3, 2)) * 60 + num(6, 2)) * 1000 + num(9, 3);
    return true;
}

// The value after the first colon, trimmed; false when the line has no colon.
bool valueOf(Bytes line, Bytes *value)
{
    const size_t colon = line.find(':');
    if (colon == Bytes::npos)
        return false;
    Bytes v = line.substr(colon + 1);
    while (!v.empty() && isSpace(v.front()))
        v.remove_prefix(1);
    while (!v.empty() && isSpace(v.back()))
        v.remove_suffix(1);
    *value = v;
    return true;
}

void copyLanguage(Bytes value, char (&sz)[3])
{
    if (value.size() != 2)
        return;
    sz[0] = value[0];
    sz[1] = value[1];
    sz[2] = 0;
}

enum class Section { None, General, Video, Audio, Text };

// Walks the report line by line and hands every line of an open section to the
// visitor; onHeader is told of each section that opens.
template<typename OnHeader, typename OnLine>
void walkReport(const QByteArray &report, OnHeader onHeader, OnLine onLine)
{
    const Bytes all(report.constData(), static_cast<size_t>(report.size()));
    Section section = Section::None;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        if (end == Bytes::npos)
            end = all.size();
        Bytes line = all.substr(pos, std::min(end - pos, kMaxLineBytes));
        pos = end + 1;
        // The report is C text to the reader: a NUL ends the line.
        line = line.substr(0, line.find('\0'));

        if (line.empty() || static_cast<unsigned char>(line[0]) < 0x20) {
            section = Section::None;
            continue;
        }
        if (section == Section::None) {
            if (startsWith(line, "General"))
                section = Section::General;
            else if (startsWith(line, "Video"))
                section = Section::Video;
            else if (startsWith(line, "Audio"))
                section = Section::Audio;
            else if (startsWith(line, "Text"))
                section = Section::Text;
            if (section != Section::None)
                onHeader(section);
            continue;
        }
        onLine(section, line);
    }
}

ContainerKind containerOf(Bytes v)
{
    if (v == "AVI")
        return ContainerAvi;
    if (v == "DivX")
        return ContainerDivx;
    // WebM is Matroska with another document type: the same demuxer reads it.
    if (v == "Matroska" || v == "WebM")
        return ContainerMkv;
    if (v == "Flash Video")
        return ContainerFlv;
    if (v == "OGG")
        return ContainerOgg;
    if (v == "MPEG-4")
        return ContainerMp4;
    // Transport streams: 188-byte packets, or 192 with a time code (Blu-ray, camcorders).
    if (v == "MPEG-TS" || v == "BDAV")
        return ContainerTs;
    if (startsWith(v, "MPEG"))
        return ContainerMpeg;
    if (v == "Windows Media")
        return ContainerWmv;
    if (v == "ShockWave")
        return ContainerSwf;
    if (v == "QuickTime")
        return ContainerQt;
    return ContainerUnknown;
}

// The WMV and VC-1 names leave the format to the Codec ID line.
void applyVideoFormat(Bytes v, VideoFormat *format)
{
    if (v == "AVC" || contains(v, "264"))
        *format = VideoH264;
    else if (v == "HEVC" || v == "H.265")
        *format = VideoHevc;
    else if (contains(v, "263"))
        *format = VideoH263;
    else if (v == "MPEG-4 Visual" || equalsNoCase(v, "xvid") || equalsNoCase(v, "divx"))
        *format = VideoMpeg4Visual;
    else if (v == "MPEG Video")
        *format = VideoMpeg;
    else if (v == "WMV1" || v == "WMV2" || v == "WMV3" || v == "WVC1" || v == "VC-1")
        return;
    else if (equalsNoCase(v, "JPEG") || equalsNoCase(v, "MJPG"))
        *format = VideoMjpeg;
    else if (equalsNoCase(v, "VP6"))
        *format = VideoVp6;
    else if (equalsNoCase(v, "Cinepack"))
        *format = VideoCinepack;
    else
        *format = VideoUnknown;
}

AudioFormat audioFormatOf(Bytes v)
{
    if (v == "AAC")
        return AudioAac;
    if (v == "DTS")
        return AudioDts;
    if (v == "AC-3")
        return AudioAc3;
    if (v == "MPEG Audio")
        return AudioMpegAudio;
    if (v == "Vorbis")
        return AudioVorbis;
    if (v == "WMA")
        return AudioWma;
    if (v == "PCM" || v == "ADPCM")
        return AudioPcm;
    return AudioOther;
}

TextFormat textFormatOf(Bytes v)
{
    if (contains(v, "UTF") && containsChar(v, '8'))
        return TextSrt;
    if (v == "Timed text")
        return TextTtxt;
    if (v == "ASS" || v == "SSA")
        return TextSsa;
    return TextUnknown;
}

int formatBonus(AudioFormat f)
{
    switch (f) {
    case AudioAac: return 7;
    case AudioDts: return 6;
    case AudioPcm: return 5;
    case AudioAc3: return 4;
    case AudioMpegAudio: return 3;
    case AudioVorbis: return 2;
    case AudioWma: return 1;
    default: return 0;
    }
}

int languagePriority(Bytes lang)
{
    if (lang == "ko")
        return 80;
    if (lang == "en")
        return 70;
    if (lang == "ja")
        return 60;
    if (lang == "de")
        return 50;
    if (lang == "fr")
        return 40;
    if (lang == "ru")
        return 30;
    return 20;
}

// A frame-rate or level text goes into tool command lines later; a quote or a
// control character in it could break the script line, so such a value is refused.
bool safeForCommandLine(Bytes v)
{
    for (char c : v) {
        if (c == '"' || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

QString toQString(Bytes v)
{
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

} // namespace

MediaReport::MediaReport(const QString &mediaInfoPath, const QString &workFolder)
    : strMediaInfoPath(mediaInfoPath), strWorkFolder(workFolder)
{
}

void MediaReport::Reset()
{
    iContainer = ContainerNone;
    iFileSizeMB = 0;
    iVideoFormat = VideoNone;
    strFrameRate.clear();
    iVideoID = -1;
    iVideoDelay = 0;
    iVideoDuration = 0;
    strLevel.clear();
    iWidth = 0;
    iHeight = 0;
    iFrameCount = 0;
    iOverallBitRate = 0;
    iVideoBitRate = 0;
    iMaxBitRate = 0;
    iDivXVersion = 0;
    dPixelAspect = -100.0;
    iBVOP = 0;
    iQPel = 0;
    iGMC = 0;
    iMatrix = 0;
    iScanType = 0;
    strVideoProfile.clear();
    strChromaSubsampling.clear();
    iVideoBitDepth = 0;
    iRotation = 0;
    iAudioCount = 0;
    audio.clear();
    iTextCount = 0;
    text.clear();
}

void MediaReport::Probe(const QString &path, const QString &languageCode, RunnerHost *stopHost)
{
    Reset();
    strProbedPath = path;

    // Without a folder in the tool path there is no tool to run (its short path
    // could not be made).
    const qsizetype toolSeparator = platform::lastSeparator(strMediaInfoPath);
    if (toolSeparator < 0)
        return;
    // Every name goes into the script line between double quotes; a name holding a
    // quote or a line break would change the command, so nothing is run for it.
    if (!platform::isScriptSafePath(strMediaInfoPath) || !platform::isScriptSafePath(path)
        || !platform::isScriptSafePath(strWorkFolder))
        return;

    const QString scriptPath = strWorkFolder + QStringLiteral("getinfo.cmd");
    const QString reportPath = strWorkFolder + QStringLiteral("mediainfo.txt");
    // A report left by an earlier run must never be read as this file's.
    QFile::remove(reportPath);

    const QString arguments = QStringLiteral("-f \"") + path + QStringLiteral("\" > \"") + reportPath + QLatin1Char('"');
    if (runner::writeCommandScript(scriptPath, {runner::toolCommandLine(strMediaInfoPath, arguments)})) {
        // Silent. It is the current runner only when the caller asks, so that a
        // MediaInfo that hangs can still be stopped.
        ToolRunner toolRunner(scriptPath, ToolRunner::Silent, 0, nullptr, QString(),
                              strMediaInfoPath.mid(toolSeparator + 1), QString());
        const bool stoppable = stopHost && !stopHost->currentRunner;
        if (stoppable)
            stopHost->currentRunner = &toolRunner;
        toolRunner.Run();
        if (stoppable)
            stopHost->currentRunner = nullptr;
    }
    QFile::remove(scriptPath);

    QFile file(reportPath);
    if (!file.open(QIODevice::ReadOnly)) {
        QFile::remove(reportPath);
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QFile::remove(reportPath);
    ReadReport(bytes, languageCode);
}

void MediaReport::ReadReport(const QByteArray &report, const QString &languageCode)
{
    Reset();

    // First pass: General and Video, and the number of Audio and Text sections.
    auto countSections = [this](Section s) {
        if (s == Section::Audio)
            ++iAudioCount;
        else if (s == Section::Text)
            ++iTextCount;
    };
    walkReport(report, countSections, [this](Section section, Bytes line) {
        Bytes v;
        if (section == Section::General) {
            if (startsWith(line, "Format   ")) {
                if (valueOf(line, &v))
                    iContainer = containerOf(v);
            } else if (startsWith(line, "File size  ")) {
                if (!valueOf(line, &v) || v.empty())
                    return;
                uint64_t size = 0;
                for (char c : v) {
                    if (!isDigit(c))
                        return;
                    size = size > UINT64_MAX / 10 ? UINT64_MAX : size * 10 + uint64_t(c - '0');
                }
                const uint64_t mib = size / 1024 / 1024;
                iFileSizeMB = mib > uint64_t(INT_MAX) ? INT_MAX : static_cast<int>(mib);
            } else if (startsWith(line, "Overall bit rate   ")) {
                if (valueOf(line, &v) && isRawValue(v, 'p'))
                    iOverallBitRate = leadingInt(v);
            }
            return;
        }
        if (section != Section::Video)
            return;
        if (startsWith(line, "ID  ")) {
            if (valueOf(line, &v))
                iVideoID = leadingInt(v);
        } else if (startsWith(line, "Codec ID  ")) {
            if (!valueOf(line, &v))
                return;
            if (v == "DIV3" || v == "DIV4" || v == "DIV5")
                iDivXVersion = v[3] - '0';
            else if (v == "WMV1" || v == "WMV2" || v == "WMV3")
                iVideoFormat = VideoWmv;
            else if (v == "WVC1")
                iVideoFormat = VideoVc1;
        } else if (startsWith(line, "Duration  ")) {
            if (valueOf(line, &v) && !containsChar(v, 'm') && !containsChar(v, ':'))
                iVideoDuration = leadingInt(v);
        } else if (startsWith(line, "Format  ")) {
            if (valueOf(line, &v))
                applyVideoFormat(v, &iVideoFormat);
        } else if (startsWith(line, "Frame rate  ")) {
            if (!valueOf(line, &v) || !safeForCommandLine(v))
                return;
            while (!v.empty() && (v.back() == ' ' || v.back() == 'f' || v.back() == 'p' || v.back() == 's'))
                v.remove_suffix(1);
            strFrameRate = toQString(v);
        } else if (startsWith(line, "Frame count   ")) {
            if (valueOf(line, &v))
                iFrameCount = leadingInt(v);
        } else if (startsWith(line, "Width  ")) {
            if (valueOf(line, &v) && isRawValue(v, 'p'))
                iWidth = leadingInt(v);
        } else if (startsWith(line, "Height  ")) {
            if (valueOf(line, &v) && isRawValue(v, 'p'))
                iHeight = leadingInt(v);
        } else if (startsWith(line, "Delay  ")) {
            int ms = 0;
            if (valueOf(line, &v) && parseDelay(v, &ms))
                iVideoDelay = ms;
        } else if (startsWith(line, "Bit rate     ")) {
            if (valueOf(line, &v) && isRawValue(v, 'p'))
                iVideoBitRate = leadingInt(v);
        } else if (startsWith(line, "Maximum bit rate  ")) {
            if (valueOf(line, &v) && isRawValue(v, 'p'))
                iMaxBitRate = leadingInt(v);
        } else if (startsWith(line, "Pixel aspect ratio    ")) {
            if (!valueOf(line, &v))
                return;
            const double par = leadingDouble(v);
            if (par > 0.0000001)
                dPixelAspect = par;
        } else if (startsWith(line, "Format settings, BVOP   ") || startsWith(line, "Codec settings, BVOP  ")) {
            if (valueOf(line, &v))
                iBVOP = equalsNoCase(v, "Yes") ? 2 : 1;
        } else if (startsWith(line, "Format settings, QPel   ") || startsWith(line, "Codec settings, QPel  ")) {
            if (valueOf(line, &v))
                iQPel = equalsNoCase(v, "Yes") ? 2 : 1;
        } else if (startsWith(line, "Format settings, GMC   ") || startsWith(line, "Codec settings, GMC  ")) {
            if (valueOf(line, &v))
                iGMC = leadingInt(v);
        } else if (startsWith(line, "Format settings, Matrix   ") || startsWith(line, "Codec settings, Matrix  ")) {
            if (valueOf(line, &v))
                iMatrix = contains(v, "H.263") ? 1 : 2;
        } else if (startsWith(line, "Scan type     ")) {
            if (valueOf(line, &v))
                iScanType = equalsNoCase(v, "Progressive") ? 1 : 2;
        } else if (startsWith(line, "Format profile      ") || startsWith(line, "Codec profile       ")) {
            if (!valueOf(line, &v))
                return;
            const size_t at = v.find("@L");
            if (at != Bytes::npos && at > 0 && safeForCommandLine(v))
                strLevel = toQString(v.substr(at + 2));
            // The first profile line names the video's profile; a second one (Matroska
            // codec profile, MPEG-4 "Simple@L1" twice) says the same or less.
            if (strVideoProfile.isEmpty())
                strVideoProfile = toQString(at == Bytes::npos ? v : v.substr(0, at));
        } else if (startsWith(line, "Chroma subsampling  ")) {
            if (valueOf(line, &v) && strChromaSubsampling.isEmpty())
                strChromaSubsampling = toQString(v);
        } else if (startsWith(line, "Bit depth  ")) {
            if (valueOf(line, &v) && isRawValue(v, 'b'))
                iVideoBitDepth = leadingInt(v);
        } else if (startsWith(line, "Rotation  ")) {
            if (valueOf(line, &v) && !containsChar(v, ' ')) {
                const long turn = std::lround(leadingDouble(v));
                iRotation = static_cast<int>(((turn % 360) + 360) % 360);
            }
        }
    });

    audio.resize(iAudioCount);
    text.resize(iTextCount);

    // Second pass: the tracks, in report order.
    int audioIndex = -1;
    int textIndex = -1;
    auto nextTrack = [&](Section s) {
        if (s == Section::Audio)
            ++audioIndex;
        else if (s == Section::Text)
            ++textIndex;
    };
    walkReport(report, nextTrack, [&](Section section, Bytes line) {
        Bytes v;
        if (section == Section::Audio) {
            AudioTrack &t = audio[audioIndex];
            if (startsWith(line, "ID  ")) {
                if (valueOf(line, &v))
                    t.iID = leadingInt(v);
            } else if (startsWith(line, "Format  ")) {
                if (valueOf(line, &v))
                    t.iFormat = audioFormatOf(v);
            } else if (startsWith(line, "Delay  ")) {
                int ms = 0;
                if (valueOf(line, &v) && parseDelay(v, &ms))
                    t.iDelay = ms;
            } else if (startsWith(line, "Duration  ")) {
                if (valueOf(line, &v) && !containsChar(v, 'm') && !containsChar(v, ':'))
                    t.iDuration = leadingInt(v);
            } else if (startsWith(line, "Bit rate   ")) {
                if (valueOf(line, &v) && isRawValue(v, 's'))
                    t.iBitRate = leadingInt(v);
            } else if (startsWith(line, "Format profile   ")) {
                if (valueOf(line, &v) && v == "LC")
                    t.bLC = true;
            } else if (startsWith(line, "Language   ")) {
                if (valueOf(line, &v))
                    copyLanguage(v, t.szLanguage);
            } else if (startsWith(line, "Sampling rate   ")) {
                if (valueOf(line, &v) && isRawValue(v, 'H'))
                    t.iSampleRate = leadingInt(v);
            } else if (startsWith(line, "Channel(s)   ")) {
                if (valueOf(line, &v) && isRawValue(v, 'c'))
                    t.iChannels = leadingInt(v);
            } else if (startsWith(line, "Bit depth    ")) {
                if (valueOf(line, &v) && isRawValue(v, 'b'))
                    t.iBitDepth = leadingInt(v);
            }
        } else if (section == Section::Text) {
            TextTrack &t = text[textIndex];
            if (startsWith(line, "ID")) {
                if (valueOf(line, &v))
                    t.iID = leadingInt(v);
            } else if (startsWith(line, "Format  ")) {
                if (valueOf(line, &v))
                    t.iFormat = textFormatOf(v);
            } else if (startsWith(line, "Language   ")) {
                if (valueOf(line, &v))
                    copyLanguage(v, t.szLanguage);
            }
        }
    });

    RankAudioTracks(languageCode);
}

void MediaReport::RankAudioTracks(const QString &languageCode)
{
    const QByteArray code = languageCode.toLatin1();
    const Bytes wanted(code.constData(), static_cast<size_t>(code.size()));
    for (AudioTrack &t : audio) {
        int priority = 0;
        if (!wanted.empty()) {
            const Bytes lang(t.szLanguage);
            priority = languagePriority(lang);
            // "**" asks for a language outside the six known ones; an untagged track
            // counts as such a language.
            if (priority == 20 && wanted == "**")
                priority = 90;
            if (lang.size() == 2 && lang == wanted)
                priority = 90;
        }
        t.iPriority = priority + formatBonus(t.iFormat);
    }
}

int MediaReport::BestAudioTrack() const
{
    int best = -1;
    for (int i = 0; i < audio.size(); ++i) {
        if (best < 0 || audio[i].iPriority > audio[best].iPriority)
            best = i;
    }
    return best;
}
