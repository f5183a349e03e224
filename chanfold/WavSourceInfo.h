#pragma once

#include <cstdint>
#include <functional>

// What the header reader learns about a PCM WAV source.
struct WavSourceInfo {
    std::uint16_t iChannels = 0;
    std::uint16_t iBitsPerSample = 0;
    std::uint32_t iSampleRate = 0;
    std::uint16_t iBlockAlign = 0;
    std::int64_t iFrameCount = 0;
    // Always fmt size + 28; 64-bit because the fmt size field alone can reach 4 GiB.
    std::int64_t iDataOffset = 0;
    // Extensible header whose sub-format says IEEE float.
    bool bFloatSamples = false;
};

// Reads len bytes at offset into buffer; false when they are not all there.
using ReadAt = std::function<bool(std::uint64_t offset, void *buffer, std::size_t len)>;

// Reads the header of a file of fileSize bytes. False when it cannot be read or is not
// acceptable: "fmt " first, its format tag PCM or extensible, "data" right after it.
bool readWavSourceInfo(std::uint64_t fileSize, const ReadAt &readAt, WavSourceInfo &info);
// The same on a file on disk.
bool readWavSourceInfo(const char *path, WavSourceInfo &info);

// Whether the mixing tables can take the source: 5 to 8 integer channels of 16, 24 or
// 32 bits, packed without padding (the frame walk relies on that block align).
bool isDownmixable(const WavSourceInfo &info);

// Frame count from the sizes (usable RIFF size rule); never negative.
std::int64_t wavFrameCount(
    std::uint32_t riffSize, std::uint64_t fileSize, std::uint32_t fmtSize, std::uint16_t blockAlign);
