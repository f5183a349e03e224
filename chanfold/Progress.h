#pragma once

#include <cstdint>
#include <string>

// One progress line: "downmixing: |", 30 cells, "| " and the percentage, ending in a
// carriage return so the next line overwrites it. The bar stays 30 cells wide and the
// percentage stays within 0 to 100, also for sources of one frame or a few.
std::string progressLine(std::int64_t framesDone, std::int64_t frameCount);
