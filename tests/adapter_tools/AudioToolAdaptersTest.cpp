// neroAacEnc and normalize as the audio stage calls them.
#include "AdapterTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace adaptertest;

TEST(NeroAacEncAdapter, EncodesAacLcAtTheRequestedBitRate)
{
    ScratchDir dir;
    const std::string pcm = dir.file("temp downmixed.wav");
    writeFile(pcm, readFile(mediaPath("noise_stereo.wav")));
    for (const long bitRate : {136000L, 144000L}) {
        SCOPED_TRACE(bitRate);
        const std::string aac = dir.file("temp.aac");
        const RunResult r = runTool("neroAacEnc", {"-lc", "-br", std::to_string(bitRate), "-if", pcm, "-of", aac});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        ASSERT_TRUE(exists(aac));
        const FormatInfo info = probe(aac);
        ASSERT_EQ(info.streams.size(), 1u);
        EXPECT_EQ(info.streams[0].codec, "aac");
        EXPECT_EQ(info.streams[0].profile, "LC");
        EXPECT_EQ(info.streams[0].channels, 2);
        EXPECT_EQ(info.streams[0].sampleRate, 48000);
        // Average rate over the 3 s of noise, from the file size and the decoded length.
        const double seconds = static_cast<double>(decodedSamples(aac)) / 48000.0;
        ASSERT_GT(seconds, 2.9);
        const double rate = static_cast<double>(sizeOf(aac)) * 8.0 / seconds;
        EXPECT_NEAR(rate, static_cast<double>(bitRate), bitRate * 0.12);
        // The runner shows progress lines of this form; the last one counts the whole input.
        EXPECT_NE(r.output.find("Processed 3 seconds..."), std::string::npos) << r.output;
    }
}

TEST(NeroAacEncAdapter, WritesNothingWhenItCannotEncode)
{
    ScratchDir dir;
    const std::string aac = dir.file("temp.aac");
    RunResult r = runTool("neroAacEnc", {"-lc", "-br", "136000", "-if", dir.file("missing.wav"), "-of", aac});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(exists(aac));

    const std::string garbage = dir.file("garbage.wav");
    writeFile(garbage, "RIFF????WAVEnot really");
    r = runTool("neroAacEnc", {"-lc", "-br", "136000", "-if", garbage, "-of", aac});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(exists(aac));

    r = runTool("neroAacEnc", {"-he", "-br", "64000", "-if", mediaPath("noise_stereo.wav"), "-of", aac});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(exists(aac));
}

namespace {

int peakOf(const std::string &wav)
{
    const std::string d = readFile(wav);
    int peak = 0;
    for (size_t i = 44; i + 1 < d.size(); i += 2) {
        const auto s = static_cast<int16_t>(static_cast<unsigned char>(d[i]) | static_cast<unsigned char>(d[i + 1]) << 8);
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    return peak;
}

} // namespace

TEST(NormalizeAdapter, RaisesAQuietWaveInPlace)
{
    ScratchDir dir;
    const std::string wav = dir.file("temp_downmixed.wav");
    writeFile(wav, readFile(mediaPath("tone_quiet.wav")));
    const int before = peakOf(wav);
    const std::int64_t size = sizeOf(wav);
    ASSERT_GT(before, 0);
    const RunResult r = runTool("normalize", {wav});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_GT(peakOf(wav), before * 10);
    EXPECT_EQ(sizeOf(wav), size);
    EXPECT_EQ(waveChunks(wav), (std::vector<std::string>{"fmt ", "data"}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"temp_downmixed.wav"});
}
