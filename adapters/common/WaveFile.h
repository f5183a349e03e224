#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace adapt {

// Where the "fmt " and "data" chunks of a RIFF/WAVE file lie.
struct WaveLayout {
    std::uint64_t fmtOffset = 0; // first byte of the fmt payload
    std::uint32_t fmtSize = 0;
    std::uint64_t dataOffset = 0; // first sample byte
    std::uint32_t dataSize = 0; // as the header states it
    // "fmt " is the first chunk and "data" follows it directly: the form the downmix tool reads.
    bool canonical = false;
};

// Reads the chunk list from the first bytes of a file. False when they hold no RIFF/WAVE
// header with a "fmt " chunk followed (at some point) by a "data" chunk.
bool parseWaveLayout(const unsigned char *bytes, std::size_t size, WaveLayout *out);

// Rewrites a RIFF/WAVE file in place so that "fmt " comes first and "data" right after it,
// dropping any other chunk (JUNK, LIST, fact, ...). Files that are no WAV are left alone.
// Returns true when the file is canonical afterwards.
bool makeWaveCanonical(const std::string &path);

} // namespace adapt
