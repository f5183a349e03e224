#pragma once

#include "CommandLine.h"
#include "TimedText.h"

#include <optional>
#include <string>
#include <vector>

// The engine's common mux, a raw H.264 stream the in-process timing reads plus an ADTS AAC
// file and timed-text tracks, written straight to an iPod MP4 (Mp4Writer) with the
// timestamps, sample tables, parameter sets and text samples ffmpeg would give it. Whatever it is not sure to write the way ffmpeg
// would is declined and left to ffmpeg.
namespace mp4box {

struct DirectInput {
    std::string path;
    TrackOptions options;
    bool video = false; // else ADTS AAC or timed text
    bool text = false;
    bool srt = false; // the text came from an SRT file
    TimedText timedText;
};

enum class DirectOutcome { Written, Declined, Failed };

// par: the -par for the video track, if any. On Declined, why is in *message; on Failed,
// the error.
DirectOutcome muxDirectly(const std::vector<DirectInput> &inputs, const std::optional<Rational> &defaultFps,
    const std::optional<ParSpec> &par, const std::string &tmpPath, std::string *message);

// A time scale in which every frame of the rate lasts a whole number of ticks.
int64_t timescaleFor(const Rational &r);

// ffmpeg's av_reduce: the closest ratio with both terms at most max.
void reduceRatio(int64_t num, int64_t den, int64_t max, int64_t *outNum, int64_t *outDen);

} // namespace mp4box
