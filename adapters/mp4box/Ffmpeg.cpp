#include "Ffmpeg.h"

#include "ProgressLine.h"
#include "ToolProcess.h"
#include "common/Process.h"

#include <cstdlib>

namespace mp4box {

std::string ffmpegPath(const std::string &path) { return "file:" + path; }

bool runFfmpeg(const std::vector<std::string> &args, double totalSeconds, ProgressLine *progress)
{
    std::vector<std::string> argv { adapt::systemTool("ffmpeg"), "-nostdin", "-hide_banner", "-loglevel",
        "error", "-y", "-progress", "pipe:1", "-nostats" };
    argv.insert(argv.end(), args.begin(), args.end());
    const int rc = runReadingLines(argv, [&](std::string_view line) {
        if (!progress)
            return;
        if (line.rfind("out_time_us=", 0) == 0 && totalSeconds > 0) {
            const double us = std::atof(std::string(line.substr(12)).c_str());
            progress->update(static_cast<int>(us / 1e6 / totalSeconds * 100.0));
        } else if (line == "progress=end") {
            progress->update(100);
        }
    });
    return rc == 0;
}

} // namespace mp4box
