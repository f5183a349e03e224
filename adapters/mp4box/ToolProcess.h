#pragma once

#include <csignal>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mp4box {

// Runs a tool (never through a shell) with its standard output read line by line
// (lines end at CR or LF); standard error stays ours. Returns the exit status, -1
// when the tool cannot start.
int runReadingLines(
    const std::vector<std::string> &argv, const std::function<void(std::string_view)> &onLine);

// The tool running now, for the cancel handler (0 when none).
extern volatile sig_atomic_t g_runningChild;

} // namespace mp4box
