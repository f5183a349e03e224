// OGMDemuxer for the engine: "tracks SRC -p ID:FILE ..." with ID the stream's 0-based index
// in the file (as the MediaInfo adapter reports Ogg stream IDs), copied out by ffmpeg.
// A ".avi" file gets AVI (the engine hands the video on to MP4Box's AVI reader); the other
// extensions choose their own format.
#include "common/FfmpegOutput.h"
#include "common/FileUtil.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool splitSpec(const std::string &spec, std::string *index, std::string *file)
{
    const auto colon = spec.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= spec.size())
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        if (spec[i] < '0' || spec[i] > '9')
            return false;
    }
    *index = spec.substr(0, colon);
    *file = spec.substr(colon + 1);
    return true;
}

int usage()
{
    std::fprintf(stderr, "Usage: OGMDemuxer tracks <source.ogm> -p <stream index>:<file> [-p ...]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 3 || args[0] != "tracks")
        return usage();
    const std::string &source = args[1];
    int result = 0;
    bool any = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::string spec = args[i];
        if (spec == "-p") {
            if (i + 1 >= args.size())
                return usage();
            spec = args[++i];
        }
        std::string index;
        std::string file;
        if (!splitSpec(spec, &index, &file))
            return usage();
        any = true;
        std::vector<std::string> call{"-hide_banner", "-loglevel", "error", "-stats", "-y", "-i", source, "-map",
            "0:" + index, "-c", "copy"};
        if (adapt::extensionOf(file) == "avi")
            call.insert(call.end(), {"-f", "avi"});
        const auto extra = adapt::outputOptionsFor(file, adapt::extensionOf(file) == "avi");
        call.insert(call.end(), extra.begin(), extra.end());
        call.push_back(file);
        if (adapt::runFfmpeg(call, file) != 0) {
            std::fprintf(stderr, "OGMDemuxer: stream %s of '%s' could not be written to '%s'\n", index.c_str(),
                source.c_str(), file.c_str());
            result = 2;
        }
    }
    return any ? result : usage();
}
