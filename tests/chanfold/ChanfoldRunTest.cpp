#include "Chanfold.h"
#include "RawFile.h"
#include "WavFixture.h"
#include "WavSourceInfo.h"

#include <gtest/gtest.h>

using namespace wavtest;

namespace {

const std::string kFullBar = "downmixing: |==============================| 100.00%\r";

std::vector<std::int16_t> stereoOf(const std::string &target) { return unpackTop16(target.substr(44), 16); }

} // namespace

TEST(ChanfoldRun, WorkedValuesGiveTheExactTargetFile)
{
    TempDir dir;
    WavSpec spec;
    spec.sampleRate = 44100;
    // clang-format off
    const std::vector<std::int16_t> samples = {
        32767, 0, 0, 0,     0, 0,
        0,     0, 0, 10000, 0, 0,
        0,     0, 0, 0,     0, 0,
    };
    // clang-format on
    ASSERT_TRUE(writeFile(dir.path("in.wav"), makeWav(spec, packSamples(samples, 16))));

    const ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kFullBar + kEndLine);
    EXPECT_EQ(readFile(dir.path("out.wav")), expectedTarget(44100, { 8809, 0, -1903, 1903, 0, 0 }));
}

TEST(ChanfoldRun, EachChannelCountMatchesTheIndependentMix)
{
    TempDir dir;
    for (int channels = 5; channels <= 8; ++channels) {
        SCOPED_TRACE(channels);
        WavSpec spec;
        spec.channels = static_cast<std::uint16_t>(channels);
        const auto samples = randomSamples(std::size_t(channels) * 5000, channels);
        ASSERT_TRUE(writeFile(dir.path("in.wav"), makeWav(spec, packSamples(samples, 16))));

        const ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
        EXPECT_EQ(run.out, "downmixing: |============                  | 40.97%\r" + std::string(kEndLine));
        const std::string target = readFile(dir.path("out.wav"));
        EXPECT_EQ(target, expectedTarget(48000, referenceMix(channels, samples)));
        ASSERT_EQ(target.size(), 44u + 4 * 5000);
        EXPECT_EQ(readLe32(target, 4), target.size() - 8);
        EXPECT_EQ(readLe32(target, 40), target.size() - 44);
    }
}

TEST(ChanfoldRun, WiderSamplesContributeTheirTopSixteenBits)
{
    TempDir dir;
    const struct {
        int channels, bits;
        bool extensible;
    } layouts[] = { { 5, 24, false }, { 8, 24, true }, { 6, 32, true }, { 7, 32, false } };
    for (const auto &l : layouts) {
        SCOPED_TRACE(std::to_string(l.channels) + " x " + std::to_string(l.bits));
        WavSpec spec;
        spec.channels = static_cast<std::uint16_t>(l.channels);
        spec.bits = static_cast<std::uint16_t>(l.bits);
        if (l.extensible) {
            spec.format = 0xFFFE;
            spec.fmtSize = 40;
        }
        const auto samples = randomSamples(std::size_t(l.channels) * 2500, l.bits);
        ASSERT_TRUE(writeFile(dir.path("in.wav"), makeWav(spec, packSamples(samples, l.bits, 99))));
        runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
        EXPECT_EQ(readFile(dir.path("out.wav")), expectedTarget(48000, referenceMix(l.channels, samples)));
    }
}

TEST(ChanfoldRun, WrongArgumentCountPrintsTheUsageLines)
{
    TempDir dir;
    for (const auto &args : std::vector<std::vector<std::string>> {
             {}, { dir.path("a.wav") }, { dir.path("a.wav"), dir.path("b.wav"), dir.path("c.wav") } }) {
        const ToolRun run = runChanfoldTool(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, kUsage);
    }
    EXPECT_FALSE(fileExists(dir.path("b.wav")));
}

TEST(ChanfoldRun, UnsuitableSourcesAreRefusedBeforeAnyTargetExists)
{
    TempDir dir;
    const std::string invalid = "not a valid file for downmixing\n";
    const std::string unreadable = "source file reading failed\n";
    const std::string data(8 * 4 * 10, '\0');

    WavSpec four;
    four.channels = 4;
    WavSpec nineBits;
    nineBits.bits = 9;
    nineBits.blockAlign = 12;
    WavSpec nineChannels;
    nineChannels.channels = 9;
    WavSpec floatSamples;
    floatSamples.format = 0xFFFE;
    floatSamples.fmtSize = 40;
    floatSamples.bits = 32;
    floatSamples.subFormat = 3;
    WavSpec padded;
    padded.blockAlign = 16;
    WavSpec list;
    list.between = "LIST" + le32(12) + "INFOISFT" + le32(0);
    WavSpec fact;
    fact.between = "fact" + le32(4) + le32(10);

    const struct {
        const char *name;
        std::string bytes;
        std::string message;
    } cases[] = {
        { "4 channels", makeWav(four, data), invalid },
        { "9 bits", makeWav(nineBits, data), invalid },
        { "9 channels", makeWav(nineChannels, data), invalid },
        { "float samples", makeWav(floatSamples, data), invalid },
        { "padded frames", makeWav(padded, data), invalid },
        { "LIST chunk", makeWav(list, data), unreadable },
        { "fact chunk", makeWav(fact, data), unreadable },
        { "43 bytes", makeWav(WavSpec {}, data).substr(0, 43), unreadable },
        { "not a WAV", std::string(100, 'x'), unreadable },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(dir.path("in.wav"), c.bytes));
        const ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.message + kUsage);
        EXPECT_FALSE(fileExists(dir.path("out.wav")));
    }
    const ToolRun missing = runChanfoldTool({ dir.path("missing.wav"), dir.path("out.wav") });
    EXPECT_EQ(missing.out, unreadable + kUsage);
    EXPECT_FALSE(fileExists(dir.path("out.wav")));
}

TEST(ChanfoldRun, TargetProblemsAreReportedAndTheSourceIsNeverTouched)
{
    TempDir dir;
    const auto samples = randomSamples(6 * 100, 5);
    const std::string source = makeWav(WavSpec {}, packSamples(samples, 16));
    ASSERT_TRUE(writeFile(dir.path("in.wav"), source));

    ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("no-such-folder/out.wav") });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "file writing failed\n" + std::string(kUsage));

    // Emptying the target first would destroy a source given twice.
    run = runChanfoldTool({ dir.path("in.wav"), dir.path("in.wav") });
    EXPECT_EQ(run.out, "file writing failed\n" + std::string(kUsage));
    EXPECT_EQ(readFile(dir.path("in.wav")), source);

    // An existing, longer target is emptied and rewritten.
    ASSERT_TRUE(writeFile(dir.path("out.wav"), std::string(100000, 'z')));
    run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
    EXPECT_EQ(readFile(dir.path("out.wav")), expectedTarget(48000, referenceMix(6, samples)));
    EXPECT_EQ(readFile(dir.path("in.wav")), source);
}

TEST(ChanfoldRun, AWriteThatFailsMidwayLeavesNoTarget)
{
    TempDir dir;
    const auto samples = randomSamples(6 * 40000, 8);
    ASSERT_TRUE(writeFile(dir.path("in.wav"), makeWav(WavSpec {}, packSamples(samples, 16))));

    // 160 kB of output against a 64 KiB limit: the first chunks go through, a later one fails.
    const ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") }, 64 * 1024);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
        "downmixing: |==                            | 5.12%\r\nfile writing failed\n" + std::string(kUsage));
    EXPECT_FALSE(fileExists(dir.path("out.wav")));
}

TEST(ChanfoldRun, EmptyAndOneFrameSources)
{
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.path("in.wav"), makeWav(WavSpec {}, "")));
    ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
    EXPECT_EQ(run.out, kEndLine);
    EXPECT_EQ(readFile(dir.path("out.wav")), expectedTarget(48000, {}));

    ASSERT_TRUE(
        writeFile(dir.path("in.wav"), makeWav(WavSpec {}, packSamples({ 0, 0, 0, 0, 0, 32767 }, 16))));
    run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
    EXPECT_EQ(run.out, kFullBar + kEndLine);
    EXPECT_EQ(readFile(dir.path("out.wav")), expectedTarget(48000, { 5247, 5247 }));
}

TEST(ChanfoldRun, ProgressIsPrintedForTheFirstChunkAndEvery1001st)
{
    TempDir dir;
    const std::int64_t frames = 1003 * 2048;
    WavSpec spec;
    spec.channels = 5;
    ASSERT_TRUE(writeFile(dir.path("in.wav"), makeWav(spec, std::string(std::size_t(frames) * 10, '\0'))));
    const ToolRun run = runChanfoldTool({ dir.path("in.wav"), dir.path("out.wav") });
    EXPECT_EQ(run.out,
        "downmixing: |                              | 0.10%\r"
        "downmixing: |==============================| 99.90%\r"
            + std::string(kEndLine));
    const std::string target = readFile(dir.path("out.wav"));
    ASSERT_EQ(target.size(), std::size_t(44 + frames * 4));
    EXPECT_EQ(readLe32(target, 4), 36 + frames * 4);
    EXPECT_EQ(readLe32(target, 40), frames * 4);
    EXPECT_EQ(target.find_first_not_of('\0', 44), std::string::npos);
}

TEST(ChanfoldStream, ASourceShorterThanItsHeaderEndsAtItsLastWholeFrame)
{
    TempDir dir;
    const auto samples = randomSamples(6 * 3000, 11);
    // 3000 frames and half of another, while the header below promises 5000.
    ASSERT_TRUE(writeFile(dir.path("in.raw"), packSamples(samples, 16) + std::string(6, '\x7f')));
    ASSERT_TRUE(writeFile(dir.path("out.wav"), std::string(44, '\0')));

    WavSourceInfo info;
    info.iChannels = 6;
    info.iBitsPerSample = 16;
    info.iSampleRate = 48000;
    info.iBlockAlign = 12;
    info.iFrameCount = 5000;
    RawFile source, target;
    ASSERT_TRUE(source.openRead(dir.path("in.raw").c_str()));
    ASSERT_TRUE(target.openWrite(dir.path("out.wav").c_str()));
    ASSERT_TRUE(target.seek(44));
    std::int64_t written = 44;
    std::FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(downmixStream(source, target, info, out, written), StreamResult::Finished);
    std::fclose(out);
    EXPECT_EQ(written, 44 + 3000 * 4);
    ASSERT_TRUE(patchTargetHeader(target, written));
    target.close();

    const std::string result = readFile(dir.path("out.wav"));
    ASSERT_EQ(result.size(), std::size_t(written));
    EXPECT_EQ(readLe32(result, 4), 36u + 3000 * 4);
    EXPECT_EQ(readLe32(result, 40), 3000u * 4);
    EXPECT_EQ(stereoOf(result), referenceMix(6, samples));
}

TEST(ChanfoldStream, HeaderSizesThatNoLongerFitSayTheLargestSize)
{
    TempDir dir;
    auto patch = [&](std::int64_t total) {
        EXPECT_TRUE(writeFile(dir.path("out.wav"), std::string(44, '\0')));
        RawFile target;
        EXPECT_TRUE(target.openWrite(dir.path("out.wav").c_str()));
        EXPECT_TRUE(patchTargetHeader(target, total));
        target.close();
        const std::string h = readFile(dir.path("out.wav"));
        return std::make_pair(readLe32(h, 4), readLe32(h, 40));
    };
    EXPECT_EQ(patch(1044), std::make_pair(1036u, 1000u));
    EXPECT_EQ(patch(0xFFFFFFFFLL + 8), std::make_pair(0xFFFFFFFFu, 0xFFFFFFDBu));
    // Wrapping to the low 32 bits would announce 4 bytes of data in a 4 GiB file.
    EXPECT_EQ(patch((1LL << 32) + 48), std::make_pair(0xFFFFFFFFu, 0xFFFFFFFFu));
}
