// Header reader on arbitrary bytes; an accepted header also drives the mixer over the
// bytes that follow it, chunk by chunk, through buffers sized as the tool sizes them.
#include "Downmix.h"
#include "Progress.h"
#include "WavSourceInfo.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ReadAt readAt = [&](std::uint64_t offset, void *buffer, std::size_t len) {
        if (offset > size || len > size - offset)
            return false;
        std::memcpy(buffer, data + offset, len);
        return true;
    };
    WavSourceInfo info;
    if (!readWavSourceInfo(size, readAt, info) || !isDownmixable(info))
        return 0;

    std::vector<unsigned char> source(std::size_t(info.iBitsPerSample) * 2049);
    std::vector<unsigned char> out(8196);
    std::uint64_t offset = std::uint64_t(info.iDataOffset);
    std::int64_t done = 0;
    while (done < info.iFrameCount && offset < size) {
        std::size_t bytes = std::min<std::size_t>(2048 * info.iBlockAlign, size - offset);
        std::size_t frames = bytes / info.iBlockAlign;
        if (frames == 0)
            break;
        std::memcpy(source.data(), data + offset, bytes);
        mixFrames(info, source.data(), frames, out.data());
        offset += bytes;
        done += std::int64_t(frames);
        // The bar must keep its 30 cells whatever the counts.
        const std::string line = progressLine(done, info.iFrameCount);
        if (line.compare(0, 13, "downmixing: |") != 0 || line.size() < 46 || line[43] != '|')
            __builtin_trap();
    }
    return 0;
}
