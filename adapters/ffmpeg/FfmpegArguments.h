#pragma once

#include <string>
#include <vector>

// The engine writes its ffmpeg calls for an older ffmpeg; this turns them into what
// Debian's ffmpeg 5.1 needs for the same effect.
struct FfmpegArguments {
    std::vector<std::string> args; // for Debian's ffmpeg, without the program and -nostdin
    std::string output; // the output file, empty when the call names none
    bool usesPresets = false; // -vpre: the preset files must be found
};

// The last argument is taken as the output file when it is no option and no -i value.
// Rewrites: "-deinterlace" (removed from ffmpeg) becomes the yadif filter; a libx264 pass
// writes its statistics as "x264_2pass.log" (and ".mbtree"), the names the caller cleans up;
// an audio-only output without -map gets the first audio stream; the output options of
// outputOptionsFor() are placed before the output.
FfmpegArguments adaptFfmpegArguments(const std::vector<std::string> &in);
