#include "OggPages.h"

#include <fstream>

namespace mediainfo {
namespace {

uint32_t le32(const std::string &b, size_t pos)
{
    return uint32_t(uint8_t(b[pos])) | uint32_t(uint8_t(b[pos + 1])) << 8
           | uint32_t(uint8_t(b[pos + 2])) << 16 | uint32_t(uint8_t(b[pos + 3])) << 24;
}

} // namespace

std::vector<uint32_t> oggStreamSerialsFromBytes(const std::string &head)
{
    // Every stream's BOS page precedes all data pages, so the pages at the start of the
    // file name the streams; the walk ends at the first page that is not a BOS page.
    std::vector<uint32_t> serials;
    size_t pos = 0;
    while (pos + 27 <= head.size() && head.compare(pos, 4, "OggS") == 0) {
        const uint8_t flags = uint8_t(head[pos + 5]);
        const uint8_t segments = uint8_t(head[pos + 26]);
        if (pos + 27 + segments > head.size())
            break;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i)
            body += uint8_t(head[pos + 27 + i]);
        if (!(flags & 0x02) || pos + 27 + segments + body > head.size())
            break;
        serials.push_back(le32(head, pos + 14));
        pos += 27 + segments + body;
    }
    return serials;
}

std::vector<uint32_t> oggStreamSerials(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    // BOS pages are small; 1 MiB covers hundreds of streams.
    std::string head(1 << 20, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    return oggStreamSerialsFromBytes(head);
}

} // namespace mediainfo
