#include "Downmix.h"

#include "WavSourceInfo.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr double kTables[4][2][8] = {
    // 5 channels
    { { 0.332054513, 0.0, -0.235076592, -0.235076592, 0.197792303, 0.0, 0.0, 0.0 },
        { 0.0, 0.332054513, 0.235076592, 0.235076592, 0.197792303, 0.0, 0.0, 0.0 } },
    // 6 channels
    { { 0.268853377, 0.190333615, 0.0, -0.190333615, -0.190333615, 0.160145779, 0.0, 0.0 },
        { 0.0, 0.190333615, 0.268853377, 0.190333615, 0.190333615, 0.160145779, 0.0, 0.0 } },
    // 7 channels
    { { 0.343145, 0.171572, 0.0, 0.24264, 0.0, 0.24264, 0.0, 0.0 },
        { 0.0, 0.171572, 0.343145, 0.0, 0.24264, 0.0, 0.24264, 0.0 } },
    // 8 channels: channel 3 is not used
    { { 0.343145, 0.171572, 0.0, 0.0, 0.24264, 0.0, 0.24264, 0.0 },
        { 0.0, 0.171572, 0.343145, 0.0, 0.0, 0.24264, 0.0, 0.24264 } },
};

// Left and right are summed side by side in one register pair.
using Pair = double __attribute__((vector_size(16)));
using IntPair = std::int32_t __attribute__((vector_size(8)));

// The top 16 bits of sample k in a frame of Bytes-wide samples.
template <int Bytes> inline double sampleAt(const unsigned char *frame, int k)
{
    std::int16_t v;
    std::memcpy(&v, frame + (Bytes - 2) + k * Bytes, sizeof v);
    return v;
}

template <int Channels, int Bytes, int K> inline Pair term(const unsigned char *frame)
{
    constexpr Pair coefficients = { kTables[Channels - 5][0][K], kTables[Channels - 5][1][K] };
    return coefficients * sampleAt<Bytes>(frame, K);
}

// Terms are added in channel order, each to both sides. A channel that feeds one side only
// adds 0·c to the other: adding a zero leaves a sum exactly as it was, so each side gets the
// table's own sum. Channels that feed neither side are left out at compile time.
template <int Channels, int Bytes, int... K>
inline Pair mixFrame(const unsigned char *frame, std::integer_sequence<int, K...>)
{
    Pair sum = term<Channels, Bytes, 0>(frame);
    (
        [&] {
            constexpr auto &table = kTables[Channels - 5];
            if constexpr (table[0][K] != 0.0 || table[1][K] != 0.0)
                sum += term<Channels, Bytes, K>(frame);
        }(),
        ...);
    return sum;
}

template <int Channels, int Bytes>
void mixBlock(const unsigned char *__restrict source, std::size_t frames, unsigned char *__restrict out)
{
    constexpr auto laterChannels = std::integer_sequence<int, 1, 2, 3, 4, 5, 6, 7> {};
    // Frames are independent: unrolled, one frame's sums overlap the next frame's.
#pragma GCC unroll 4
    for (std::size_t i = 0; i < frames; ++i) {
        const Pair sum = mixFrame<Channels, Bytes>(source + i * (Channels * Bytes), laterChannels);
        // Truncation toward zero; the tables keep every sum within 16 bits.
        const IntPair truncated = __builtin_convertvector(sum, IntPair);
        const std::int16_t stereo[2]
            = { static_cast<std::int16_t>(truncated[0]), static_cast<std::int16_t>(truncated[1]) };
        std::memcpy(out + 4 * i, stereo, sizeof stereo);
    }
}

using MixFunction = void (*)(const unsigned char *, std::size_t, unsigned char *);

template <int Bytes>
constexpr MixFunction kByChannels[4]
    = { mixBlock<5, Bytes>, mixBlock<6, Bytes>, mixBlock<7, Bytes>, mixBlock<8, Bytes> };

} // namespace

void mixFrames(const WavSourceInfo &info, const unsigned char *source, std::size_t frames, unsigned char *out)
{
    const int row = info.iChannels - 5;
    switch (info.iBitsPerSample) {
    case 16:
        kByChannels<2>[row](source, frames, out);
        break;
    case 24:
        kByChannels<3>[row](source, frames, out);
        break;
    case 32:
        kByChannels<4>[row](source, frames, out);
        break;
    }
}
