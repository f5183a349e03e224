// ffmpeg for the engine: Debian's ffmpeg with the engine's older options translated.
#include "common/FfmpegOutput.h"
#include "common/FileUtil.h"
#include "common/Process.h"
#include "ffmpeg/FfmpegArguments.h"

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// The stream copy made before an AMR decode; read by the signal handler, so a fixed buffer.
char g_amrCopy[PATH_MAX];

void removeAmrCopy()
{
    if (g_amrCopy[0]) {
        unlink(g_amrCopy);
        g_amrCopy[0] = '\0';
    }
}

void onCancel(int sig)
{
    if (g_amrCopy[0])
        unlink(g_amrCopy);
    signal(sig, SIG_DFL);
    raise(sig);
}

std::string scratchFolder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? std::string(tmp) : std::string("/tmp");
}

// True when the stream is AMR inside another container. Phones pack many AMR frames into one
// 3GP sample, and Debian's ffmpeg decodes only the first 20 ms of each such packet; the raw
// .amr format splits them into frames again.
bool isPackedAmr(const std::string &input, int stream)
{
    std::string out;
    const int rc = adapt::capture({ adapt::systemTool("ffprobe"), "-v", "error", "-select_streams",
                                      "a:" + std::to_string(stream), "-show_entries", "stream=codec_name:format=format_name",
                                      "-of", "default=nw=1", input },
        &out, true);
    if (rc != 0)
        return false;
    const bool amr = out.find("codec_name=amr_nb") != std::string::npos
        || out.find("codec_name=amr_wb") != std::string::npos;
    return amr && out.find("format_name=amr\n") == std::string::npos;
}

// Copies the AMR stream to a raw .amr file in the temporary folder and points the call at it.
void decodeAmrFromRawCopy(FfmpegArguments *call)
{
    const std::string input = call->args[call->inputArg];
    if (!isPackedAmr(input, call->audioStream))
        return;
    const std::string copy = adapt::createTempFile(scratchFolder() + "/.ffmpeg-amr-", ".amr");
    if (copy.empty() || copy.size() >= sizeof g_amrCopy) {
        if (!copy.empty())
            adapt::removeFile(copy);
        return;
    }
    std::strcpy(g_amrCopy, copy.c_str());
    const int rc = adapt::run({ adapt::systemTool("ffmpeg"), "-nostdin", "-v", "error", "-y", "-i", input, "-map",
        "0:a:" + std::to_string(call->audioStream), "-c", "copy", "-f", "amr", copy });
    if (rc != 0 || adapt::fileSize(copy) <= 6) {
        removeAmrCopy();
        return;
    }
    call->args[call->inputArg] = copy;
    call->args[call->mapArg] = "0:a:0";
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> in(argv + 1, argv + argc);
    FfmpegArguments call = adaptFfmpegArguments(in);
    // The engine's two-pass script names the presets folder; a hand-run call finds the one
    // beside this program.
    if (call.usesPresets) {
        const char *dataDir = std::getenv("FFMPEG_DATADIR");
        if (!dataDir || !*dataDir)
            setenv("FFMPEG_DATADIR", (adapt::executableFolder() + "/presets").c_str(), 1);
    }
    if (call.decodesAudio) {
        struct sigaction sa { };
        sa.sa_handler = onCancel;
        sigemptyset(&sa.sa_mask);
        for (int sig : { SIGTERM, SIGINT, SIGHUP })
            sigaction(sig, &sa, nullptr);
        decodeAmrFromRawCopy(&call);
    }
    const int rc = adapt::runFfmpeg(call.args, call.output);
    removeAmrCopy();
    return rc < 0 ? 1 : rc;
}
