#include "Downmix.h"
#include "Progress.h"
#include "WavFixture.h"
#include "WavSourceInfo.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace wavtest;

namespace {

WavSourceInfo layout(int channels, int bits)
{
    WavSourceInfo info;
    info.iChannels = static_cast<std::uint16_t>(channels);
    info.iBitsPerSample = static_cast<std::uint16_t>(bits);
    info.iBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    return info;
}

std::vector<std::int16_t> mix(int channels, int bits, const std::string &packed)
{
    const WavSourceInfo info = layout(channels, bits);
    const std::size_t frames = packed.size() / info.iBlockAlign;
    std::vector<unsigned char> out(frames * 4);
    mixFrames(info, reinterpret_cast<const unsigned char *>(packed.data()), frames, out.data());
    std::vector<std::int16_t> stereo;
    for (std::size_t i = 0; i < out.size(); i += 2)
        stereo.push_back(static_cast<std::int16_t>(out[i] | out[i + 1] << 8));
    return stereo;
}

// Random frames whose left or right sum lies within 3e-5 of a whole number: there a slip in
// the ninth decimal of a coefficient, or a sum taken in another order, changes the
// truncated result. Plain random frames almost never land there.
std::vector<std::int16_t> knifeEdgeFrames(int channels, unsigned seed)
{
    std::vector<std::int16_t> found;
    std::size_t frames = 0;
    for (unsigned round = 0; round < 64 && frames < 50; ++round) {
        const auto candidates = randomSamples(std::size_t(channels) * 20000, seed * 1000 + round);
        for (std::size_t f = 0; f < 20000 && frames < 50; ++f) {
            const std::int16_t *frame = candidates.data() + f * channels;
            bool edge = false;
            for (int side = 0; side < 2; ++side) {
                const double sum = referenceSum(channels, side, frame);
                const double distance = std::fabs(sum - std::round(sum));
                edge = edge || (distance > 0 && distance < 3e-5);
            }
            if (edge) {
                found.insert(found.end(), frame, frame + channels);
                ++frames;
            }
        }
    }
    return found;
}

} // namespace

TEST(Mix, WorkedValues)
{
    // Full-scale channel 0 of six: 0.268853377 x 32767 = 8809.52, truncated.
    EXPECT_EQ(mix(6, 16, packSamples({ 32767, 0, 0, 0, 0, 0 }, 16)), (std::vector<std::int16_t> { 8809, 0 }));
    // A surround channel goes left in opposite phase, right in phase.
    EXPECT_EQ(
        mix(6, 16, packSamples({ 0, 0, 0, 10000, 0, 0 }, 16)), (std::vector<std::int16_t> { -1903, 1903 }));
    // Truncation is toward zero for negative sums too: -8809.79 gives -8809.
    EXPECT_EQ(
        mix(6, 16, packSamples({ -32768, 0, 0, 0, 0, 0 }, 16)), (std::vector<std::int16_t> { -8809, 0 }));

    // 24-bit bytes 56 34 12 are read as 0x1234 (4660): 0.268853377 x 4660 = 1252.86.
    std::string frame24 = "\x56\x34\x12";
    frame24 += std::string(15, '\0');
    EXPECT_EQ(mix(6, 24, frame24), (std::vector<std::int16_t> { 1252, 0 }));
    // 32-bit: the top two bytes of 78 56 34 12.
    std::string frame32 = "\x78\x56\x34\x12";
    frame32 += std::string(20, '\0');
    EXPECT_EQ(mix(6, 32, frame32), (std::vector<std::int16_t> { 1252, 0 }));
}

TEST(Mix, EveryTableAndWidthMatchesTheIndependentMix)
{
    for (int channels = 5; channels <= 8; ++channels) {
        // Random frames plus the extremes: every channel at either end of the range.
        std::vector<std::int16_t> samples = randomSamples(std::size_t(channels) * 3000, 40 + channels);
        for (int pattern = 0; pattern < (1 << channels); ++pattern)
            for (int k = 0; k < channels; ++k)
                samples.push_back(pattern >> k & 1 ? 32767 : -32768);
        const auto edges = knifeEdgeFrames(channels, unsigned(channels));
        ASSERT_GE(edges.size(), std::size_t(channels) * 30);
        samples.insert(samples.end(), edges.begin(), edges.end());
        const auto expected = referenceMix(channels, samples);
        for (int bits : { 16, 24, 32 })
            EXPECT_EQ(mix(channels, bits, packSamples(samples, bits, 7)), expected)
                << channels << " channels of " << bits << " bits";
    }
}

TEST(Progress, BarKeepsThirtyCellsAndAtMostHundredPercent)
{
    // Counted against frame count - 1: 2048 of 4097 frames is exactly half.
    EXPECT_EQ(progressLine(2048, 4097), "downmixing: |===============               | 50.00%\r");
    // 2048 / 4999 = 0.4097: 12.29 + 0.5 cells rounds down to 12.
    EXPECT_EQ(progressLine(2048, 5000), "downmixing: |============                  | 40.97%\r");
    EXPECT_EQ(progressLine(0, 5000), "downmixing: |                              | 0.00%\r");

    const std::string full = "downmixing: |==============================| 100.00%\r";
    EXPECT_EQ(progressLine(1, 1), full); // no divisor at all
    EXPECT_EQ(progressLine(61, 61), full); // 61 / 60 would ask for 31 cells
    EXPECT_EQ(progressLine(2, 2), full);
    EXPECT_EQ(progressLine(0, 0), full);
}
