#pragma once

#include "TimedText.h"

#include <string>
#include <string_view>

// The timed-text XML (".ttxt"): a TextStreamHeader with one TextSampleDescription,
// then one TextSample per sample. The writer emits every character above 127 as a
// decimal reference (one per UTF-16 unit) and line breaks as a bare LF, which is the
// form the engine's timed-text rewriter reads and restyles.
namespace mp4box {

std::string writeTtxt(const TimedText &tt);

// Reads what writeTtxt and the rewriter produce, and other files of the same shape.
bool parseTtxt(std::string_view xml, TimedText *out, std::string *error);

// "HH:MM:SS.mmm"; clamped to 0 .. 99:59:59.999 so the field keeps its 12 characters.
std::string formatSampleTime(int64_t ms);
bool parseSampleTime(std::string_view text, int64_t *ms);

std::string formatColour(uint32_t rgba); // "rr gg bb aa"
bool parseColour(std::string_view text, uint32_t *rgba);

} // namespace mp4box
