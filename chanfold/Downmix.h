#pragma once

#include <cstddef>

struct WavSourceInfo;

// Folds 5 to 8 channels down to stereo with fixed tables; for 5 and 6 channels the surround
// pair goes to the left output in opposite phase (matrix surround).
// Mixes frames packed source frames into frames stereo 16-bit little-endian frames at out.
// The source must pass isDownmixable(); each sample contributes its 16 most significant bits
// and each sum is truncated toward zero.
void mixFrames(
    const WavSourceInfo &info, const unsigned char *source, std::size_t frames, unsigned char *out);
