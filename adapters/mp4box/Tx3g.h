#pragma once

#include "Mp4File.h"
#include "TimedText.h"

#include <cstdint>
#include <string>
#include <vector>

// 3GPP timed text (tx3g) as stored in an MP4 track: the sample description and the
// samples with their style records, read into the timed-text model.
namespace mp4box {

bool parseTx3gSampleEntry(const std::vector<uint8_t> &entry, TimedTextHeader *header);

// One sample: 16-bit text length, UTF-8 (or UTF-16 with a byte-order mark) text, then
// boxes of which "styl" is read. Style offsets count characters; they are turned into
// UTF-16 positions.
bool parseTx3gSample(
    const std::vector<uint8_t> &data, const TimedTextStyle &defaults, TimedTextSample *sample);

bool readTextTrack(const Mp4File &file, const Mp4Track &track, TimedText *out, std::string *error);

} // namespace mp4box
