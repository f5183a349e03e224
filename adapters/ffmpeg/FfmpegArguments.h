#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The engine writes its ffmpeg calls for an older ffmpeg; this turns them into what
// Debian's ffmpeg 5.1 needs for the same effect.
struct FfmpegArguments {
    std::vector<std::string> args; // for Debian's ffmpeg, without the program and -nostdin
    std::string output; // the output file, empty when the call names none
    bool usesPresets = false; // -vpre: the preset files must be found
    // The call decodes one audio stream of its only input to an audio-only output (no stream
    // copy): inputArg is the index in args of that input's name, mapArg the index of the
    // "0:a:N" value that picks the stream, audioStream is N.
    bool decodesAudio = false;
    std::size_t inputArg = 0;
    std::size_t mapArg = 0;
    int audioStream = 0;
};

// The last argument is taken as the output file when it is no option and no -i value.
// Rewrites: "-deinterlace" (removed from ffmpeg) becomes the yadif filter; a libx264 pass
// writes its statistics as "x264_2pass.log" (and ".mbtree"), the names the caller cleans up;
// an audio-only output without -map gets the first audio stream; the output options of
// outputOptionsFor() are placed before the output.
FfmpegArguments adaptFfmpegArguments(const std::vector<std::string> &in);
