// ffmpeg for the engine: Debian's ffmpeg with the engine's older options translated.
#include "common/FfmpegOutput.h"
#include "common/FileUtil.h"
#include "ffmpeg/FfmpegArguments.h"

#include <cstdlib>

int main(int argc, char **argv)
{
    const std::vector<std::string> in(argv + 1, argv + argc);
    const FfmpegArguments call = adaptFfmpegArguments(in);
    // The engine's two-pass script names the presets folder; a hand-run call finds the one
    // beside this program.
    if (call.usesPresets) {
        const char *dataDir = std::getenv("FFMPEG_DATADIR");
        if (!dataDir || !*dataDir)
            setenv("FFMPEG_DATADIR", (adapt::executableFolder() + "/presets").c_str(), 1);
    }
    const int rc = adapt::runFfmpeg(call.args, call.output);
    return rc < 0 ? 1 : rc;
}
