#include "ToolProcess.h"

#include "common/Process.h"

namespace mp4box {

volatile sig_atomic_t g_runningChild = 0;

int runReadingLines(const std::vector<std::string> &argv, const std::function<void(std::string_view)> &onLine)
{
    std::string pending;
    const int rc = adapt::captureStreaming(
        argv,
        [&](std::string_view chunk) {
            for (char c : chunk) {
                if (c == '\n' || c == '\r') {
                    if (!pending.empty())
                        onLine(pending);
                    pending.clear();
                } else {
                    pending.push_back(c);
                }
            }
        },
        false, [](pid_t pid) { g_runningChild = pid; });
    g_runningChild = 0;
    if (!pending.empty())
        onLine(pending);
    return rc;
}

} // namespace mp4box
