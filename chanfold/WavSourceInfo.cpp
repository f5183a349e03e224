#include "WavSourceInfo.h"

#include "RawFile.h"

#include <cstring>

namespace {

std::uint16_t le16(const unsigned char *p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t le32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr std::uint64_t kFourGiB = std::uint64_t(1) << 32;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::uint32_t kSubFormatFloat = 3;

} // namespace

std::int64_t wavFrameCount(
    std::uint32_t riffSize, std::uint64_t fileSize, std::uint32_t fmtSize, std::uint16_t blockAlign)
{
    // Writers that could not seek back, or that passed 4 GiB, leave a RIFF size that
    // cannot be trusted; the file system's size can.
    std::int64_t usable = riffSize;
    if (std::uint64_t(riffSize) + 8 > fileSize || fileSize >= kFourGiB)
        usable = static_cast<std::int64_t>(fileSize) - 8;
    if (blockAlign == 0)
        return 0;
    std::int64_t frames = (usable - std::int64_t(fmtSize) - 20) / blockAlign;
    return frames > 0 ? frames : 0;
}

bool readWavSourceInfo(std::uint64_t fileSize, const ReadAt &readAt, WavSourceInfo &info)
{
    info = WavSourceInfo {};
    if (fileSize < 44)
        return false;
    unsigned char head[44];
    if (!readAt(0, head, sizeof head))
        return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVEfmt ", 8) != 0)
        return false;
    const std::uint32_t fmtSize = le32(head + 16);
    // Smaller than the PCM fields it must hold: "data" would sit inside them.
    if (fmtSize < 16)
        return false;
    // Only the four bytes after the fmt chunk matter: no other chunk may come between.
    unsigned char tag[4];
    if (!readAt(20 + std::uint64_t(fmtSize), tag, sizeof tag) || std::memcmp(tag, "data", 4) != 0)
        return false;
    const std::uint16_t format = le16(head + 20);
    if (format != kFormatPcm && format != kFormatExtensible)
        return false;
    info.iChannels = le16(head + 22);
    info.iSampleRate = le32(head + 24);
    info.iBlockAlign = le16(head + 32);
    info.iBitsPerSample = le16(head + 34);
    if (info.iBlockAlign == 0)
        return false;
    if (format == kFormatExtensible && fmtSize >= 40) {
        // The sub-format GUID starts 24 bytes into the fmt data; its first field is the format code.
        unsigned char guid[4];
        if (!readAt(44, guid, sizeof guid))
            return false;
        info.bFloatSamples = le32(guid) == kSubFormatFloat;
    }
    info.iFrameCount = wavFrameCount(le32(head + 4), fileSize, fmtSize, info.iBlockAlign);
    info.iDataOffset = std::int64_t(fmtSize) + 28;
    return true;
}

bool readWavSourceInfo(const char *path, WavSourceInfo &info)
{
    RawFile file;
    std::int64_t size = 0;
    if (!file.openRead(path) || !file.size(size) || size < 0)
        return false;
    ReadAt readAt = [&file](std::uint64_t offset, void *buffer, std::size_t len) {
        return file.seek(static_cast<std::int64_t>(offset))
            && file.read(buffer, len) == static_cast<std::int64_t>(len);
    };
    return readWavSourceInfo(static_cast<std::uint64_t>(size), readAt, info);
}

bool isDownmixable(const WavSourceInfo &info)
{
    const unsigned bits = info.iBitsPerSample;
    if (info.iChannels < 5 || info.iChannels > 8)
        return false;
    if (bits != 16 && bits != 24 && bits != 32)
        return false;
    if (info.bFloatSamples)
        return false;
    return info.iBlockAlign == info.iChannels * bits / 8;
}
