#include "common/WaveFile.h"

#include "common/FileUtil.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace adapt {
namespace {

std::uint32_t readLe32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void putLe32(unsigned char *p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Enough for any header ffmpeg or mkvextract writes (JUNK reservations are a few dozen bytes).
constexpr std::size_t headerProbeSize = 1 << 16;

} // namespace

bool parseWaveLayout(const unsigned char *bytes, std::size_t size, WaveLayout *out)
{
    if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return false;
    WaveLayout layout;
    bool haveFmt = false;
    std::uint64_t pos = 12;
    while (pos + 8 <= size) {
        const unsigned char *chunk = bytes + pos;
        const std::uint32_t chunkSize = readLe32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            layout.fmtOffset = pos + 8;
            layout.fmtSize = chunkSize;
            haveFmt = layout.fmtOffset + chunkSize <= size;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFmt)
                return false;
            layout.dataOffset = pos + 8;
            layout.dataSize = chunkSize;
            layout.canonical = layout.fmtOffset == 20 && pos == 20 + static_cast<std::uint64_t>(layout.fmtSize);
            *out = layout;
            return true;
        }
        pos += 8 + static_cast<std::uint64_t>(chunkSize) + (chunkSize & 1);
    }
    return false;
}

bool makeWaveCanonical(const std::string &path)
{
    FILE *in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
    std::vector<unsigned char> head(headerProbeSize);
    const std::size_t got = std::fread(head.data(), 1, head.size(), in);
    WaveLayout layout;
    if (!parseWaveLayout(head.data(), got, &layout)) {
        std::fclose(in);
        return false;
    }
    if (layout.canonical) {
        std::fclose(in);
        return true;
    }

    // A data size of 0 or one beyond the end is what a streamed or oversized write leaves: the
    // samples then run to the end of the file.
    const std::int64_t total = fileSize(path);
    const std::uint64_t available = total > 0 && static_cast<std::uint64_t>(total) > layout.dataOffset
        ? static_cast<std::uint64_t>(total) - layout.dataOffset
        : 0;
    std::uint64_t dataSize = layout.dataSize;
    if (dataSize == 0 || dataSize > available)
        dataSize = available;

    const std::string tmp = createTempFile(path + ".", ".tmp");
    FILE *out = tmp.empty() ? nullptr : std::fopen(tmp.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        removeFile(tmp);
        return false;
    }
    std::vector<unsigned char> header(20 + layout.fmtSize + 8);
    std::memcpy(header.data(), "RIFF", 4);
    const std::uint64_t riffSize = 4 + 8 + layout.fmtSize + 8 + dataSize;
    putLe32(header.data() + 4, riffSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(riffSize));
    std::memcpy(header.data() + 8, "WAVEfmt ", 8);
    putLe32(header.data() + 16, layout.fmtSize);
    std::memcpy(header.data() + 20, head.data() + layout.fmtOffset, layout.fmtSize);
    std::memcpy(header.data() + 20 + layout.fmtSize, "data", 4);
    putLe32(header.data() + 24 + layout.fmtSize,
        dataSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataSize));
    bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size()
        && std::fseek(in, static_cast<long>(layout.dataOffset), SEEK_SET) == 0;
    std::vector<unsigned char> buf(1 << 20);
    std::uint64_t left = dataSize;
    while (ok && left > 0) {
        const std::size_t want = left < buf.size() ? static_cast<std::size_t>(left) : buf.size();
        const std::size_t n = std::fread(buf.data(), 1, want, in);
        if (n == 0)
            break;
        ok = std::fwrite(buf.data(), 1, n, out) == n;
        left -= n;
    }
    std::fclose(in);
    ok = std::fclose(out) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        removeFile(tmp);
        return false;
    }
    return true;
}

} // namespace adapt
