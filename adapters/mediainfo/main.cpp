// MediaInfo adapter: "MediaInfo -f FILE" prints Debian mediainfo's full report of FILE,
// rewritten into the forms the engine's probe reads. Any other call is passed through.
#include "OggPages.h"
#include "ReportAdapter.h"

#include "common/Process.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

int main(int argc, char **argv)
{
    const std::string mediainfo = adapt::systemTool("mediainfo");
    std::vector<std::string> args(argv + 1, argv + argc);

    if (args.size() != 2 || (args[0] != "-f" && args[0] != "--Full")) {
        std::vector<std::string> call{mediainfo};
        call.insert(call.end(), args.begin(), args.end());
        const int rc = adapt::run(call);
        return rc < 0 ? 127 : rc;
    }

    std::string file = args[1];
    // mediainfo would report every file inside a folder; a folder is not a media file.
    struct stat st;
    if (stat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "MediaInfo: cannot open %s\n", file.c_str());
        return 1;
    }
    // A name starting with '-' would be taken for an option.
    if (!file.empty() && file[0] == '-')
        file = "./" + file;

    std::string raw;
    const int rc = adapt::capture({mediainfo, "-f", file}, &raw);
    if (rc < 0) {
        std::fprintf(stderr, "MediaInfo: cannot run %s\n", mediainfo.c_str());
        return 127;
    }
    const std::string report = mediainfo::adaptReport(raw, mediainfo::oggStreamSerials(file));
    std::fwrite(report.data(), 1, report.size(), stdout);
    return rc;
}
