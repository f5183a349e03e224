#include "common/FfmpegOutput.h"

#include "common/FileUtil.h"
#include "common/Process.h"

#include <algorithm>

namespace adapt {
namespace {

bool isFileName(const std::string &output)
{
    return !output.empty() && output != "-" && output.rfind("pipe:", 0) != 0;
}

} // namespace

std::vector<std::string> outputOptionsFor(const std::string &output, bool formatGiven)
{
    if (!isFileName(output))
        return {};
    const std::string ext = extensionOf(output);
    if (ext == "wav")
        return {"-fflags", "+bitexact"};
    if (ext.empty() && !formatGiven)
        return {"-f", "matroska"};
    return {};
}

int runFfmpeg(const std::vector<std::string> &args, const std::string &output)
{
    const bool existedBefore = fileExists(output);
    const bool overwrite = std::find(args.begin(), args.end(), "-y") != args.end();
    std::vector<std::string> argv{systemTool("ffmpeg"), "-nostdin"};
    argv.insert(argv.end(), args.begin(), args.end());
    const int rc = run(argv);
    if (isFileName(output) && (!existedBefore || overwrite)) {
        // A header that could not be written leaves a 0-byte file that would pass for a result.
        if (rc != 0 || fileSize(output) == 0)
            removeFile(output);
    }
    return rc;
}

} // namespace adapt
