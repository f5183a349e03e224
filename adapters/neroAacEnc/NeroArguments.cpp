#include "neroAacEnc/NeroArguments.h"

#include <cerrno>
#include <cstdlib>

NeroArguments parseNeroArguments(const std::vector<std::string> &args)
{
    NeroArguments result;
    for (std::size_t i = 0; i < args.size() && result.error.empty(); ++i) {
        const std::string &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "-lc" || a == "-ignorelength") {
            continue;
        } else if ((a == "-br" || a == "-cbr") && hasValue) {
            const std::string &v = args[++i];
            char *end = nullptr;
            errno = 0;
            const long rate = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || rate < 8000 || rate > 1536000)
                result.error = "invalid bit rate: " + v;
            else
                result.bitRate = rate;
        } else if (a == "-if" && hasValue) {
            result.input = args[++i];
        } else if (a == "-of" && hasValue) {
            result.output = args[++i];
        } else if (a == "-he" || a == "-hev2" || a == "-q") {
            result.error = "option " + a + " is not supported: only AAC-LC at a given bit rate";
        } else {
            result.error = "unknown or incomplete option: " + a;
        }
    }
    if (result.error.empty() && (result.input.empty() || result.output.empty()))
        result.error = "both -if and -of are required";
    return result;
}
