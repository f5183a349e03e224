#include "ffmpeg/FfmpegArguments.h"

#include "common/FfmpegOutput.h"
#include "common/FileUtil.h"

#include <cstddef>

namespace {

constexpr const char *statsOption = "stats=x264_2pass.log";

bool isVideoCodecOption(const std::string &a)
{
    return a == "-vcodec" || a == "-c:v" || a == "-codec:v" || a == "-c:v:0" || a == "-codec:v:0";
}

// Formats that hold audio alone: ffmpeg would fill them with the "best" audio stream.
bool isAudioOnlyFormat(const std::string &ext)
{
    return ext == "wav" || ext == "aac" || ext == "ac3" || ext == "dts" || ext == "mp3" || ext == "mp2";
}

bool isAudioCodecOption(const std::string &a)
{
    return a == "-acodec" || a == "-c:a" || a == "-codec:a" || a == "-c" || a == "-codec" || a == "-c:a:0"
        || a == "-codec:a:0";
}

bool isVideoFilterOption(const std::string &a)
{
    return a == "-vf" || a == "-filter:v" || a == "-filter:v:0";
}

} // namespace

FfmpegArguments adaptFfmpegArguments(const std::vector<std::string> &in)
{
    FfmpegArguments result;
    std::vector<std::string> args = in;
    const std::size_t n = args.size();
    if (n >= 2 && !args[n - 1].empty() && args[n - 1][0] != '-' && args[n - 2] != "-i") {
        result.output = args[n - 1];
        args.pop_back();
    }

    bool deinterlace = false;
    bool libx264 = false;
    bool pass = false;
    bool formatGiven = false;
    bool mapped = false;
    bool noVideo = false;
    bool pixelFormatGiven = false;
    bool audioCopy = false;
    int inputs = 0;
    std::ptrdiff_t inputValue = -1;
    std::ptrdiff_t mapValue = -1;
    std::ptrdiff_t filterValue = -1;
    std::ptrdiff_t x264ParamsValue = -1;
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "-deinterlace") {
            deinterlace = true;
            continue;
        }
        if (a == "-i") {
            formatGiven = false; // a -f before -i names the input's format
            ++inputs;
            inputValue = static_cast<std::ptrdiff_t>(kept.size() + 1);
        } else if (a == "-f" && hasValue) {
            formatGiven = true;
        } else if (a == "-vpre" || a == "-pre" || a == "-fpre") {
            result.usesPresets = true;
        } else if (a == "-map") {
            mapped = true;
            if (hasValue)
                mapValue = static_cast<std::ptrdiff_t>(kept.size() + 1);
        } else if (isAudioCodecOption(a) && hasValue && args[i + 1] == "copy") {
            audioCopy = true;
        } else if (a == "-vn") {
            noVideo = true;
        } else if (a == "-pass") {
            pass = true;
        } else if (a == "-pix_fmt") {
            pixelFormatGiven = true;
        } else if (isVideoCodecOption(a) && hasValue && args[i + 1] == "libx264") {
            libx264 = true;
        } else if (isVideoFilterOption(a) && hasValue) {
            filterValue = static_cast<std::ptrdiff_t>(kept.size() + 1);
        } else if (a == "-x264-params" && hasValue) {
            x264ParamsValue = static_cast<std::ptrdiff_t>(kept.size() + 1);
        }
        kept.push_back(a);
    }

    if (deinterlace) {
        if (filterValue >= 0)
            kept[static_cast<std::size_t>(filterValue)] = "yadif," + kept[static_cast<std::size_t>(filterValue)];
        else
            kept.insert(kept.end(), {"-vf", "yadif"});
    }
    // Without this, x264 names its pass logs after ffmpeg's prefix ("ffmpeg2pass-0.log.mbtree"),
    // which nobody would remove.
    if (libx264 && pass) {
        if (x264ParamsValue >= 0) {
            std::string &params = kept[static_cast<std::size_t>(x264ParamsValue)];
            if (params.find("stats=") == std::string::npos)
                params += std::string(params.empty() ? "" : ":") + statsOption;
        } else {
            kept.insert(kept.end(), {"-x264-params", statsOption});
        }
    }
    // The presets cap x264 at Main profile, which holds 8-bit 4:2:0 only; ffmpeg would hand a 4:2:2,
    // 4:4:4 or 10-bit source to x264 as it is and the encode would fail.
    if (libx264 && !pixelFormatGiven)
        kept.insert(kept.end(), {"-pix_fmt", "yuv420p"});
    // Left to itself ffmpeg takes the audio stream with the most channels; the engine relies on the
    // first one (its delay and channel count are what it plans with).
    const bool audioOut = !result.output.empty() && (noVideo || isAudioOnlyFormat(adapt::extensionOf(result.output)));
    if (audioOut && !mapped) {
        mapValue = static_cast<std::ptrdiff_t>(kept.size() + 1);
        kept.insert(kept.end(), {"-map", "0:a:0"});
    }
    if (audioOut && !audioCopy && inputs == 1 && inputValue > 0 && mapValue > 0
        && static_cast<std::size_t>(inputValue) < kept.size()) {
        const std::string &map = kept[static_cast<std::size_t>(mapValue)];
        if (map.rfind("0:a:", 0) == 0 && map.size() > 4 && map.size() <= 8
            && map.find_first_not_of("0123456789", 4) == std::string::npos) {
            result.decodesAudio = true;
            result.inputArg = static_cast<std::size_t>(inputValue);
            result.mapArg = static_cast<std::size_t>(mapValue);
            result.audioStream = std::stoi(map.substr(4));
        }
    }
    if (!result.output.empty()) {
        const auto extra = adapt::outputOptionsFor(result.output, formatGiven);
        kept.insert(kept.end(), extra.begin(), extra.end());
        kept.push_back(result.output);
    }
    result.args = std::move(kept);
    return result;
}
