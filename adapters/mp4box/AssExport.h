#pragma once

#include "TimedText.h"

#include <string>

// Timed text as an ASS script for ffmpeg's mov_text encoder: the sample description
// becomes the Default style, each style run an override block with the codes that
// change ({\b1}, {\i0\1c&HBBGGRR&}, ...); the encoder keeps only these forms (a plain
// \c is dropped).
namespace mp4box {

// How long the last sample shows when no sample ends it.
constexpr int64_t kLastSampleMs = 2000;

std::string timedTextToAss(const TimedText &tt);

// End of the last shown sample, in milliseconds.
int64_t timedTextEndMs(const TimedText &tt);

} // namespace mp4box
