#pragma once

#include "TimedText.h"

#include <optional>
#include <string>
#include <vector>

// 3GPP text samples and the tx3g sample description as ffmpeg's mov_text encoder makes them
// from the ASS script AssExport writes (its demuxer, its override-code reader and the
// encoder's style records), so a text track can be written without running them.
namespace mp4box {

// The encoder's default style record, from the script's Default style.
struct MovTextDefaults {
    uint8_t flags = 0; // bold 1, italic 2, underline 4
    uint8_t fontSize = 18;
    uint32_t rgba = 0xffffffffu;
    std::string fontName = "Serif";
};

// nullopt when the header holds what the script would not carry through unchanged (a font
// size outside 1..255, a font name an override block or the style line would cut).
std::optional<MovTextDefaults> movTextDefaults(const TimedTextHeader &h);

// The tx3g sample entry (box header included) with the text box of the header.
std::vector<uint8_t> movTextSampleEntry(const TimedTextHeader &h, const MovTextDefaults &d);

// The sample the encoder writes for one Dialogue text: the text's length, its UTF-8 bytes
// and a 'styl' box with a record for every run not in the default style. nullopt for a
// text it might treat otherwise (control characters, invalid UTF-8, codes AssExport does
// not write, nothing left once the reader has skipped its leading spaces).
std::optional<std::string> movTextSample(const std::string &assText, const MovTextDefaults &d);

} // namespace mp4box
