#pragma once

// Test media as phones write it: AMR-NB in 3GP with many 20 ms frames in one sample. Debian's
// ffmpeg has no AMR encoder and its MP4 muxer writes one frame per sample, so the frames are made
// here (12.2 kbit/s frames with a fixed pseudo-random payload, which the decoder takes as sound)
// and the sample tables of an ffmpeg-written file are regrouped.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace packedamr {

// A raw .amr file of `frames` frames (20 ms each).
inline bool writeAmrFile(const std::string &path, int frames)
{
    std::ofstream f(path, std::ios::binary);
    f << "#!AMR\n";
    std::uint32_t x = 12345;
    for (int i = 0; i < frames; ++i) {
        f.put(static_cast<char>(0x3C)); // frame type 7 (12.2 kbit/s), quality bit set
        for (int b = 0; b < 31; ++b) {
            x = x * 1103515245u + 12345u;
            f.put(static_cast<char>(x >> 24));
        }
    }
    return static_cast<bool>(f);
}

namespace detail {

    struct Box {
        std::string type;
        std::vector<std::uint8_t> payload; // leaf boxes
        std::vector<Box> children; // container boxes
        bool container = false;
    };

    inline std::uint32_t be32(const std::uint8_t *p)
    {
        return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
    }
    inline void put32(std::vector<std::uint8_t> &v, std::uint32_t x)
    {
        for (int s = 24; s >= 0; s -= 8)
            v.push_back(static_cast<std::uint8_t>(x >> s));
    }

    inline bool parse(const std::uint8_t *p, std::size_t size, std::vector<Box> *out)
    {
        std::size_t off = 0;
        while (off + 8 <= size) {
            const std::uint32_t len = be32(p + off);
            if (len < 8 || off + len > size)
                return false;
            Box b;
            b.type.assign(reinterpret_cast<const char *>(p + off + 4), 4);
            b.container = b.type == "moov" || b.type == "trak" || b.type == "mdia" || b.type == "minf"
                || b.type == "stbl";
            if (b.container) {
                if (!parse(p + off + 8, len - 8, &b.children))
                    return false;
            } else {
                b.payload.assign(p + off + 8, p + off + len);
            }
            out->push_back(std::move(b));
            off += len;
        }
        return off == size;
    }

    inline void serialize(const std::vector<Box> &boxes, std::vector<std::uint8_t> *out)
    {
        for (const Box &b : boxes) {
            std::vector<std::uint8_t> body;
            if (b.container)
                serialize(b.children, &body);
            else
                body = b.payload;
            put32(*out, static_cast<std::uint32_t>(body.size() + 8));
            out->insert(out->end(), b.type.begin(), b.type.end());
            out->insert(out->end(), body.begin(), body.end());
        }
    }

    inline Box *child(Box &b, const char *type)
    {
        for (Box &c : b.children)
            if (c.type == type)
                return &c;
        return nullptr;
    }

} // namespace detail

// Copies `in` (an MP4/3GP file with its moov box last, as ffmpeg writes it) to `out` with the
// samples of its AMR sound track regrouped: up to framesPerSample consecutive frames of a chunk
// become one sample. Returns the largest number of frames put into one sample (0 on failure).
inline int packAmrSamples(const std::string &in, const std::string &out, int framesPerSample)
{
    using namespace detail;
    std::ifstream f(in, std::ios::binary);
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<Box> top;
    if (data.empty() || !parse(data.data(), data.size(), &top) || top.empty() || top.back().type != "moov")
        return 0;
    int most = 0;
    for (Box &trak : top.back().children) {
        Box *mdia = trak.type == "trak" ? child(trak, "mdia") : nullptr;
        Box *hdlr = mdia ? child(*mdia, "hdlr") : nullptr;
        if (!hdlr || hdlr->payload.size() < 12 || std::string(hdlr->payload.begin() + 8, hdlr->payload.begin() + 12) != "soun")
            continue;
        Box *minf = child(*mdia, "minf");
        Box *stbl = minf ? child(*minf, "stbl") : nullptr;
        Box *stsz = stbl ? child(*stbl, "stsz") : nullptr;
        Box *stsc = stbl ? child(*stbl, "stsc") : nullptr;
        Box *stco = stbl ? child(*stbl, "stco") : nullptr;
        Box *stts = stbl ? child(*stbl, "stts") : nullptr;
        if (!stsz || !stsc || !stco || !stts)
            return 0;
        const std::uint32_t fixed = be32(&stsz->payload[4]);
        const std::uint32_t count = be32(&stsz->payload[8]);
        std::vector<std::uint32_t> sizes(count, fixed);
        if (!fixed)
            for (std::uint32_t i = 0; i < count; ++i)
                sizes[i] = be32(&stsz->payload[12 + 4 * i]);
        const std::uint32_t entries = be32(&stsc->payload[4]);
        const std::uint32_t chunks = be32(&stco->payload[4]);
        std::vector<std::uint32_t> newSizes, newPerChunk, newDurations;
        std::size_t next = 0;
        for (std::uint32_t c = 1; c <= chunks; ++c) {
            std::uint32_t perChunk = 0;
            for (std::uint32_t e = 0; e < entries; ++e)
                if (be32(&stsc->payload[8 + 12 * e]) <= c)
                    perChunk = be32(&stsc->payload[12 + 12 * e]);
            std::uint32_t samples = 0;
            for (std::uint32_t k = 0; k < perChunk && next < sizes.size();) {
                std::uint32_t bytes = 0, frames = 0;
                for (; frames < static_cast<std::uint32_t>(framesPerSample) && k < perChunk && next < sizes.size();
                     ++frames, ++k)
                    bytes += sizes[next++];
                newSizes.push_back(bytes);
                newDurations.push_back(160 * frames); // 8 kHz time scale
                most = std::max(most, static_cast<int>(frames));
                ++samples;
            }
            newPerChunk.push_back(samples);
        }
        std::vector<std::uint8_t> p(4, 0);
        put32(p, 0);
        put32(p, static_cast<std::uint32_t>(newSizes.size()));
        for (std::uint32_t s : newSizes)
            put32(p, s);
        stsz->payload = p;
        p.assign(4, 0);
        put32(p, static_cast<std::uint32_t>(newPerChunk.size()));
        for (std::size_t c = 0; c < newPerChunk.size(); ++c) {
            put32(p, static_cast<std::uint32_t>(c + 1));
            put32(p, newPerChunk[c]);
            put32(p, 1);
        }
        stsc->payload = p;
        p.assign(4, 0);
        put32(p, static_cast<std::uint32_t>(newDurations.size()));
        for (std::uint32_t d : newDurations) {
            put32(p, 1);
            put32(p, d);
        }
        stts->payload = p;
    }
    // moov stays last, so the chunk offsets into mdat stay valid.
    std::vector<std::uint8_t> result;
    serialize(top, &result);
    std::ofstream o(out, std::ios::binary);
    o.write(reinterpret_cast<const char *>(result.data()), static_cast<std::streamsize>(result.size()));
    return o ? most : 0;
}

} // namespace packedamr
