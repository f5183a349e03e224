#pragma once

#include <cstdint>
#include <string>
#include <vector>

// 3GPP timed text as the timed-text XML and the tx3g track both describe it.
// Character positions count UTF-16 code units of the sample text; a line break is one unit.
namespace mp4box {

struct TimedTextStyle {
    int fromChar = 0;
    int toChar = 0; // exclusive
    bool bold = false;
    bool italic = false;
    bool underlined = false;
    int fontId = 1;
    int fontSize = 18;
    uint32_t rgba = 0xffffffffu;
};

struct TimedTextFont {
    int id = 1;
    std::string name; // UTF-8
};

struct TimedTextHeader {
    int width = 400;
    int height = 60;
    int layer = 0;
    int translationX = 0;
    int translationY = 0;
    int horizontalJustification = 1; // 0 left, 1 centre, -1 right
    int verticalJustification = -1; // 0 top, 1 centre, -1 bottom
    uint32_t backRgba = 0x00000000u; // transparent
    uint32_t displayFlags = 0;
    std::vector<TimedTextFont> fonts { { 1, "Serif" } };
    int boxTop = 0;
    int boxLeft = 0;
    int boxBottom = 60;
    int boxRight = 400;
    TimedTextStyle defaultStyle; // fromChar/toChar unused
};

struct TimedTextSample {
    int64_t timeMs = 0;
    std::u16string text;
    std::vector<TimedTextStyle> styles;
};

struct TimedText {
    TimedTextHeader header;
    std::vector<TimedTextSample> samples; // in time order; an empty sample ends the one before
};

// tx3g display flags that the XML spells out as attributes.
constexpr uint32_t kTx3gScrollIn = 0x20;
constexpr uint32_t kTx3gScrollOut = 0x40;
constexpr uint32_t kTx3gContinuousKaraoke = 0x800;
constexpr uint32_t kTx3gVerticalText = 0x20000;
constexpr uint32_t kTx3gFillTextRegion = 0x40000;

} // namespace mp4box
