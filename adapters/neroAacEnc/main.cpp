// neroAacEnc for the engine: ffmpeg's native AAC-LC encoder writing ADTS, with Nero's
// "Processed N seconds..." progress lines.
#include "common/FileUtil.h"
#include "common/Process.h"
#include "neroAacEnc/NeroArguments.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Picks "out_time_us=" values out of ffmpeg's -progress stream, which may split lines anywhere.
class ProgressPrinter {
public:
    void feed(std::string_view piece)
    {
        for (char c : piece) {
            if (c != '\n') {
                m_line.push_back(c);
                continue;
            }
            handleLine();
            m_line.clear();
        }
    }

private:
    void handleLine()
    {
        static const std::string key = "out_time_us=";
        if (m_line.rfind(key, 0) != 0)
            return;
        const long long us = std::atoll(m_line.c_str() + key.size());
        const long long seconds = us > 0 ? us / 1000000 : 0;
        if (seconds != m_lastSeconds) {
            m_lastSeconds = seconds;
            std::printf("Processed %lld seconds...\r", seconds);
            std::fflush(stdout);
        }
    }

    std::string m_line;
    long long m_lastSeconds = -1;
};

} // namespace

int main(int argc, char **argv)
{
    const NeroArguments call = parseNeroArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!call.error.empty()) {
        std::fprintf(stderr, "neroAacEnc: %s\n"
                             "Usage: neroAacEnc -lc -br <bit/s> -if <input.wav> -of <output.aac>\n",
            call.error.c_str());
        return 1;
    }
    if (!adapt::fileExists(call.input)) {
        std::fprintf(stderr, "neroAacEnc: could not open input file %s\n", call.input.c_str());
        return 1;
    }

    std::vector<std::string> ffmpeg{adapt::systemTool("ffmpeg"), "-nostdin", "-hide_banner", "-loglevel",
        "error", "-nostats", "-progress", "pipe:1", "-y", "-i", call.input, "-vn", "-sn", "-map", "0:a:0",
        "-c:a", "aac", "-profile:a", "aac_low"};
    if (call.bitRate > 0)
        ffmpeg.insert(ffmpeg.end(), {"-b:a", std::to_string(call.bitRate)});
    ffmpeg.insert(ffmpeg.end(), {"-f", "adts", call.output});

    ProgressPrinter progress;
    const int rc = adapt::captureStreaming(ffmpeg, [&progress](std::string_view piece) { progress.feed(piece); });
    std::printf("\n");
    if (rc != 0 || adapt::fileSize(call.output) <= 0) {
        adapt::removeFile(call.output);
        std::fprintf(stderr, "neroAacEnc: encoding failed\n");
        return 1;
    }
    return 0;
}
