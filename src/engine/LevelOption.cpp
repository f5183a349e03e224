#include "engine/LevelOption.h"

#include "shell/DiagnosticLog.h"
#include "shell/Formatters.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

struct Level3Limit
{
    double frameRate;
    int width;
    int height;
};

// Frame sizes and rates that stay within the macroblock rate of level 3.
const Level3Limit kLevel3[] = {
    { 61.4, 352, 480 },
    { 51.1, 352, 576 },
    { 30.0, 720, 480 },
    { 25.0, 720, 576 },
};

// Levels above 3.0 by their frame size and macroblock rate limits; 4.1 is left out
// because it differs from 4.0 only in bit rate, which these encodes stay far below.
struct LevelLimit
{
    int idc;       // level x 10
    long maxFrame; // macroblocks per frame
    long maxRate;  // macroblocks per second
};

const LevelLimit kHigherLevels[] = {
    { 31, 3600, 108000 },  { 32, 5120, 216000 },  { 40, 8192, 245760 },
    { 42, 8704, 522240 },  { 50, 22080, 589824 }, { 51, 36864, 983040 },
    { 52, 36864, 2073600 },
};

// The lowest level above 3.0 whose limits hold the picture: its frame, each side
// (at most the square root of 8 frames' worth of macroblocks) and its macroblock rate.
int higherLevelIdc(int width, int height, double rate)
{
    const long across = (width + 15) / 16;
    const long down = (height + 15) / 16;
    const long frame = across * down;
    for (const LevelLimit &l : kHigherLevels) {
        const long side = static_cast<long>(std::sqrt(8.0 * l.maxFrame));
        if (frame <= l.maxFrame && across <= side && down <= side && frame * std::max(rate, 0.0) <= l.maxRate)
            return l.idc;
    }
    return kHigherLevels[std::size(kHigherLevels) - 1].idc;
}

} // namespace

double FrameRateNumber(const QString &frameRateText)
{
    QString lowBytes;
    lowBytes.reserve(frameRateText.size());
    for (QChar c : frameRateText)
        lowBytes += QChar(static_cast<char16_t>(c.unicode() & 0xFF));
    return AtofPrefix(lowBytes);
}

QString ChooseLevelOption(int width, int height, const QString &frameRateText, bool forNightly,
                          DiagnosticLog *log)
{
    const double rate = FrameRateNumber(frameRateText);
    if (log)
        log->WriteLine(Fmt("CString → char* → atof (getting H.264 level): %s → %g").s(frameRateText).g(rate));
    bool level30 = false;
    for (const Level3Limit &l : kLevel3) {
        if (rate <= l.frameRate && width <= l.width && height <= l.height) {
            level30 = true;
            break;
        }
    }
    const int idc = level30 ? 30 : higherLevelIdc(width, height, rate);
    if (forNightly)
        return Fmt(":level=%d").d(idc);
    return Fmt(":level=%d.%d").d(idc / 10).d(idc % 10);
}
