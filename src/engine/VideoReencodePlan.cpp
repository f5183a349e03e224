#include "engine/VideoReencodePlan.h"

#include "engine/LevelOption.h"
#include "shell/Formatters.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kIphone3Area = 307200.0; // 640 x 480

struct Profile
{
    const char *preset;
    int bitRateFactor;
};

const Profile kProfiles[] = {
    { "slow", 1 }, { "fast", 1 }, { "veryfast", 1 }, { "superfast", 1 }, { "ultrafast", 1 }, { "slow", 2 },
};

const Profile &profileAt(int index)
{
    if (index < 0 || index >= static_cast<int>(std::size(kProfiles)))
        index = 0;
    return kProfiles[index];
}

int truncated(double v)
{
    return static_cast<int>(std::trunc(v));
}

} // namespace

FrameSize ReencodeTargetSize(int sourceWidth, int sourceHeight, int deviceKind)
{
    const double a = static_cast<double>(sourceWidth) / sourceHeight;
    FrameSize s{ sourceWidth, sourceHeight };
    switch (deviceKind) {
    case 0:
        // About 640 x 480 pixels whatever the source size, bounded to 720 x 576.
        s.height = truncated(std::sqrt(kIphone3Area / a));
        s.width = truncated(std::sqrt(a * kIphone3Area));
        if (s.width > 720) {
            s.width = 720;
            s.height = truncated(720 / a);
        }
        if (s.height > 576) {
            s.height = 576;
            s.width = truncated(a * 576);
        }
        break;
    case 1:
    case 2:
        s.height = std::min(sourceHeight, deviceKind == 1 ? 720 : 1080);
        s.width = truncated(s.height * a);
        break;
    case kTodaysDevice:
        // The long side at most 1920, whichever way the picture stands.
        if (sourceWidth >= sourceHeight && sourceWidth > 1920) {
            s.width = 1920;
            s.height = truncated(1920 / a);
        } else if (sourceHeight > sourceWidth && sourceHeight > 1920) {
            s.height = 1920;
            s.width = truncated(1920 * a);
        }
        break;
    default:
        break;
    }
    s.width &= ~1;
    s.height &= ~1;
    return s;
}

int EncodedVideoStart(const MediaReport &report)
{
    int start = report.iVideoDelay;
    for (const AudioTrack &a : report.audio)
        start = std::min(start, a.iDelay);
    return start;
}

QString EncoderFrameRateText(const QString &frameRateText, int maxRate)
{
    const double rate = FrameRateNumber(frameRateText);
    if (rate <= 0.0)
        return QStringLiteral("30");
    return rate >= maxRate ? QString::number(maxRate) : frameRateText;
}

int EncoderMaxFrameRate(int deviceKind, bool check30fps)
{
    return deviceKind == kTodaysDevice && !check30fps ? 60 : 30;
}

int CappedBitRate(int bitRate, int deviceKind)
{
    const int cap = deviceKind == 0 ? 2400000 : deviceKind == kTodaysDevice ? 8000000 : 3000000;
    return std::min(bitRate, cap);
}

QString ProfilePresetName(int profile, bool highProfile)
{
    return QString::fromLatin1(profileAt(profile).preset) + (highProfile ? QStringLiteral("_high") : QString());
}

int ProfileKbps(int bitRate, int profile)
{
    return static_cast<int>((static_cast<long long>(profileAt(profile).bitRateFactor) * bitRate + 500) / 1000);
}

QStringList TwoPassScriptLines(const TwoPassPass &p)
{
    const QString encoder = Fmt("\"%s\" -i \"%s\" %s -s %dx%d -an -pass %d -vcodec libx264 -vpre %s%s -b %dk -r %s \"%s\"")
                                .s(p.ffmpegPath)
                                .s(p.sourcePath)
                                .s(p.deinterlace ? QStringLiteral("-deinterlace") : QString())
                                .d(p.size.width)
                                .d(p.size.height)
                                .d(p.pass)
                                .s(ProfilePresetName(p.profile, p.highProfile))
                                .s(p.pass == 1 ? QStringLiteral("_firstpass") : QString())
                                .d(ProfileKbps(p.bitRate, p.profile))
                                .s(p.frameRate)
                                .s(p.outputPath);
    return { Fmt("pushd \"%s\"").s(p.tempFolder), Fmt("set FFMPEG_DATADIR=%s").s(p.presetFolder),
             Fmt("del \"%s\"").s(p.outputPath), encoder };
}
