#pragma once

#include "TimedText.h"

#include <string>
#include <vector>

// Timed text as an ASS script for ffmpeg's mov_text encoder: the sample description
// becomes the Default style, each style run an override block with the codes that
// change ({\b1}, {\i0\1c&HBBGGRR&}, ...); the encoder keeps only these forms (a plain
// \c is dropped).
namespace mp4box {

// How long the last sample shows when no sample ends it.
constexpr int64_t kLastSampleMs = 2000;

std::string timedTextToAss(const TimedText &tt);

// One Dialogue line of that script: centisecond times and the text with its override codes.
struct AssEvent {
    int64_t startCs = 0;
    int64_t endCs = 0;
    std::string text;
};

// The script's events: the samples in time order, each shown until the next, times rounded
// to the centisecond; empty samples and those that round to nothing are left out.
std::vector<AssEvent> timedTextEvents(const TimedText &tt);

// The script's Default style as the mov_text encoder reads it: the font name as the style
// line gives it, and the size, colour and face flags of its style record.
std::string assDefaultFontName(const TimedTextHeader &h);
int assDefaultFontSize(const TimedTextHeader &h);

// End of the last shown sample, in milliseconds.
int64_t timedTextEndMs(const TimedText &tt);

} // namespace mp4box
