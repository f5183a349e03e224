#pragma once

#include "CommandLine.h"
#include "H264Timing.h"

#include <string>
#include <string_view>

// A timed raw H.264 stream written as a one-track Matroska file for ffmpeg to copy from:
// microsecond timestamps, each picture's presentation time worked out from its picture order
// count at the given frame rate, parameter sets in the codec private data, length-prefixed
// NAL units, key frames marked.
namespace mp4box {

// Where the picture shown at the given place starts, in microseconds (rounded half up).
int64_t presentationMicroseconds(size_t rank, const Rational &fps);

// The Matroska display size for a picture of that size and sample aspect ratio: the
// wider side is stretched, as mkvmerge does.
void displaySize(int width, int height, int sarNum, int sarDen, int *displayWidth, int *displayHeight);

bool writeTimedH264Matroska(const std::string &rawPath, const H264Stream &stream, std::string_view bytes,
    const Rational &fps, const std::string &mkvPath, std::string *error);


} // namespace mp4box
