#pragma once

#include "TimedText.h"

#include <string>
#include <string_view>
#include <vector>

// SRT to timed text. <b>, <i> and <u> become style records; every other tag (a
// <font color> among them) stays in the text, for the timed-text rewriter to colour.
namespace mp4box {

struct SrtCue {
    int64_t startMs = 0;
    int64_t endMs = 0;
    std::u16string text; // lines joined with '\n', markup still in place
};

// Text by byte-order mark, else UTF-8 when valid, else Latin-1.
std::u16string decodeSubtitleBytes(std::string_view bytes);

std::vector<SrtCue> parseSrt(std::u16string_view text);

// Cues sorted by start; an overlapped cue ends where the next begins, cues with the
// same start share one sample. An empty sample fills each gap and follows the last cue.
TimedText srtToTimedText(std::vector<SrtCue> cues);

} // namespace mp4box
