// Sources as the conversion engine gets them: PCM WAV files written by ffmpeg.
#include "WavFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace wavtest;

namespace {

const char *const kFfmpeg = "/usr/bin/ffmpeg";

// Six different tones at near full scale, in ffmpeg's 5.1 layout (extensible header).
bool makeSixChannels(const std::string &path, const char *codec, bool bitexact)
{
    std::vector<std::string> argv = { kFfmpeg, "-nostdin", "-y", "-f", "lavfi", "-i",
        "aevalsrc=0.99*sin(2*PI*440*t)|0.9*sin(2*PI*554*t)|0.8*sin(2*PI*659*t)|0.95*sin(2*PI*97*t+1)|"
        "0.97*sin(2*PI*1201*t)|0.99*sin(2*PI*60*t):s=48000:c=5.1:d=1",
        "-c:a", codec };
    if (bitexact) {
        // Without these ffmpeg adds a LIST chunk naming itself.
        argv.insert(argv.end(), { "-fflags", "+bitexact", "-flags:a", "+bitexact" });
    }
    argv.push_back(path);
    return runQuiet(argv) == 0;
}

bool haveFfmpeg() { return fileExists(kFfmpeg); }

} // namespace

TEST(FfmpegSource, ExtensibleSixChannelFilesMixLikeTheIndependentMix)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "no ffmpeg";
    TempDir dir;
    const struct {
        const char *codec;
        int bits;
    } formats[] = { { "pcm_s16le", 16 }, { "pcm_s24le", 24 }, { "pcm_s32le", 32 } };
    for (const auto &f : formats) {
        SCOPED_TRACE(f.codec);
        ASSERT_TRUE(makeSixChannels(dir.path("in.wav"), f.codec, true));
        const std::string source = readFile(dir.path("in.wav"));
        // What ffmpeg writes for 5.1: WAVE_FORMAT_EXTENSIBLE, fmt size 40, data straight after.
        ASSERT_GT(source.size(), 68u);
        ASSERT_EQ(readLe32(source, 16), 40u);
        ASSERT_EQ(source.substr(20, 2), le16(0xFFFE));
        ASSERT_EQ(source.substr(60, 4), "data");

        const ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
        EXPECT_EQ(run.status, 0);
        const std::vector<std::int16_t> samples = unpackTop16(source.substr(68), f.bits);
        ASSERT_EQ(samples.size(), 6u * 48000);
        EXPECT_EQ(readFile(dir.path("out.wav")), expectedTarget(48000, referenceMix(6, samples)));
    }
}

TEST(FfmpegSource, MatchesFfmpegsOwnPanFilterWithinRounding)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "no ffmpeg";
    TempDir dir;
    ASSERT_TRUE(makeSixChannels(dir.path("in.wav"), "pcm_s16le", true));
    runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
    // The same matrix-surround fold-down by ffmpeg, which rounds instead of truncating.
    ASSERT_EQ(
        runQuiet({ kFfmpeg, "-nostdin", "-y", "-i", dir.path("in.wav"), "-af",
            "pan=stereo|c0=0.268853377*c0+0.190333615*c1-0.190333615*c3-0.190333615*c4+0.160145779*c5"
            "|c1=0.190333615*c1+0.268853377*c2+0.190333615*c3+0.190333615*c4+0.160145779*c5",
            "-c:a", "pcm_s16le", "-fflags", "+bitexact", "-flags:a", "+bitexact", dir.path("pan.wav") }),
        0);
    const std::string ours = readFile(dir.path("out.wav"));
    const std::string theirs = readFile(dir.path("pan.wav"));
    ASSERT_EQ(theirs.substr(36, 4), "data");
    const auto a = unpackTop16(ours.substr(44), 16);
    const auto b = unpackTop16(theirs.substr(44), 16);
    ASSERT_EQ(a.size(), b.size());
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    EXPECT_LE(worst, 2);
}

TEST(FfmpegSource, FfmpegsDefaultLISTChunkIsRefused)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "no ffmpeg";
    TempDir dir;
    ASSERT_TRUE(makeSixChannels(dir.path("in.wav"), "pcm_s16le", false));
    ASSERT_EQ(readFile(dir.path("in.wav")).substr(60, 4), "LIST");
    const ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
    EXPECT_EQ(run.out, "source file reading failed\n" + std::string(kUsage));
    EXPECT_FALSE(fileExists(dir.path("out.wav")));
}
