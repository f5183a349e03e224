#include "Progress.h"

#include <cstdio>

std::string progressLine(std::int64_t framesDone, std::int64_t frameCount)
{
    constexpr int kCells = 30;
    // Counted against the last frame's index, so the last chunk shows 100%.
    double fraction = 1.0;
    if (frameCount > 1)
        fraction = static_cast<double>(framesDone) / static_cast<double>(frameCount - 1);
    if (fraction > 1.0)
        fraction = 1.0;
    if (!(fraction >= 0.0))
        fraction = 0.0;
    const int filled = static_cast<int>(fraction * kCells + 0.5);

    std::string line = "downmixing: |";
    line.append(static_cast<std::size_t>(filled), '=');
    line.append(static_cast<std::size_t>(kCells - filled), ' ');
    char percent[32];
    std::snprintf(percent, sizeof percent, "| %.2f%%\r", fraction * 100.0);
    line += percent;
    return line;
}
