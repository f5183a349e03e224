#include "Mp4File.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace mp4box {
namespace {

    constexpr uint64_t kMaxMoovSize = 256u * 1024 * 1024;
    constexpr uint64_t kMaxSamples = 50u * 1000 * 1000;

    struct FileCloser {
        void operator()(FILE *f) const { std::fclose(f); }
    };
    using FilePtr = std::unique_ptr<FILE, FileCloser>;

    uint32_t be32(const uint8_t *p)
    {
        return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16
            | static_cast<uint32_t>(p[2]) << 8 | p[3];
    }

    uint64_t be64(const uint8_t *p) { return static_cast<uint64_t>(be32(p)) << 32 | be32(p + 4); }

    uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

    // One child box inside a parent's payload.
    struct Box {
        uint32_t type = 0;
        const uint8_t *body = nullptr;
        size_t bodySize = 0;
        size_t offset = 0; // of the box header, within the parent's buffer
    };

    // Splits a payload into its child boxes; false when a size runs past the end.
    bool children(const uint8_t *p, size_t size, std::vector<Box> *out)
    {
        size_t i = 0;
        while (i + 8 <= size) {
            uint64_t boxSize = be32(p + i);
            size_t header = 8;
            if (boxSize == 1) {
                if (i + 16 > size)
                    return false;
                boxSize = be64(p + i + 8);
                header = 16;
            } else if (boxSize == 0) {
                boxSize = size - i;
            }
            if (boxSize < header || boxSize > size - i)
                return false;
            out->push_back(Box { be32(p + i + 4), p + i + header, static_cast<size_t>(boxSize - header), i });
            i += static_cast<size_t>(boxSize);
        }
        return true;
    }

    const Box *find(const std::vector<Box> &boxes, uint32_t type)
    {
        for (const auto &b : boxes) {
            if (b.type == type)
                return &b;
        }
        return nullptr;
    }

} // namespace

std::string fourccText(uint32_t code)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>(code >> shift & 0xff);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

const Mp4Track *Mp4File::track(uint32_t id) const
{
    for (const auto &t : m_tracks) {
        if (t.id == id)
            return &t;
    }
    return nullptr;
}

bool Mp4File::open(const std::string &path, std::string *error)
{
    m_path = path;
    m_tracks.clear();
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        *error = "cannot open " + path;
        return false;
    }
    if (std::fseek(f.get(), 0, SEEK_END) != 0) {
        *error = "cannot read " + path;
        return false;
    }
    const long end = std::ftell(f.get());
    if (end < 0) {
        *error = "cannot read " + path;
        return false;
    }
    m_fileSize = static_cast<uint64_t>(end);
    uint64_t pos = 0;
    while (pos + 8 <= m_fileSize) {
        uint8_t h[16];
        if (std::fseek(f.get(), static_cast<long>(pos), SEEK_SET) != 0 || std::fread(h, 1, 8, f.get()) != 8)
            break;
        uint64_t size = be32(h);
        uint64_t header = 8;
        if (size == 1) {
            if (std::fread(h + 8, 1, 8, f.get()) != 8)
                break;
            size = be64(h + 8);
            header = 16;
        } else if (size == 0) {
            size = m_fileSize - pos;
        }
        if (size < header || size > m_fileSize - pos) {
            *error = "damaged box structure in " + path;
            return false;
        }
        const uint32_t type = be32(h + 4);
        if (type == fourcc("moof")) {
            *error = path + " is a fragmented MP4, which is not supported";
            return false;
        }
        if (type == fourcc("moov")) {
            if (size - header > kMaxMoovSize) {
                *error = "the movie header of " + path + " is too large";
                return false;
            }
            std::vector<uint8_t> moov(static_cast<size_t>(size - header));
            if (std::fseek(f.get(), static_cast<long>(pos + header), SEEK_SET) != 0
                || std::fread(moov.data(), 1, moov.size(), f.get()) != moov.size()) {
                *error = "cannot read the movie header of " + path;
                return false;
            }
            return parseMoov(moov, pos + header, error);
        }
        pos += size;
    }
    *error = path + " holds no MP4 movie header";
    return false;
}

bool Mp4File::parseMoov(const std::vector<uint8_t> &moov, uint64_t base, std::string *error)
{
    std::vector<Box> boxes;
    if (!children(moov.data(), moov.size(), &boxes)) {
        *error = "damaged movie header in " + m_path;
        return false;
    }
    if (const Box *mvhd = find(boxes, fourcc("mvhd")); mvhd && mvhd->bodySize >= 24)
        m_movieTimescale = be32(mvhd->body + (mvhd->body[0] == 1 ? 20 : 12));
    for (const auto &b : boxes) {
        if (b.type != fourcc("trak"))
            continue;
        if (!parseTrak(b.body, b.bodySize, base + static_cast<uint64_t>(b.body - moov.data()), error))
            return false;
    }
    return true;
}

bool Mp4File::parseTrak(const uint8_t *p, size_t size, uint64_t bodyPos, std::string *error)
{
    // bodyPos: file offset of p. A child's header lies at bodyPos + offset, its body at
    // bodyPos + (body - p).
    auto fail = [&](const char *what) {
        *error = std::string("damaged track (") + what + ") in " + m_path;
        return false;
    };
    std::vector<Box> trak;
    if (!children(p, size, &trak))
        return fail("trak");
    Mp4Track t;
    const Box *tkhd = find(trak, fourcc("tkhd"));
    if (!tkhd || tkhd->bodySize < 84)
        return fail("tkhd");
    {
        const uint8_t *b = tkhd->body;
        t.tkhdVersion = b[0];
        if (t.tkhdVersion == 1 && tkhd->bodySize < 96)
            return fail("tkhd");
        t.tkhdFlags = be32(b) & 0xffffff;
        t.tkhdPos = bodyPos + tkhd->offset;
        const size_t fixed = t.tkhdVersion == 1 ? 32 : 20;
        t.id = be32(b + 4 + (t.tkhdVersion == 1 ? 16 : 8));
        const uint8_t *rest = b + 4 + fixed + 8;
        t.alternateGroup = static_cast<int16_t>(be16(rest + 2));
        for (int i = 0; i < 9; ++i)
            t.matrix[i] = static_cast<int32_t>(be32(rest + 8 + 4 * i));
        t.width = be32(rest + 44) / 65536.0;
        t.height = be32(rest + 48) / 65536.0;
    }
    if (const Box *edts = find(trak, fourcc("edts"))) {
        std::vector<Box> e;
        if (!children(edts->body, edts->bodySize, &e))
            return fail("edts");
        if (const Box *elst = find(e, fourcc("elst")); elst && elst->bodySize >= 8) {
            const int v = elst->body[0];
            const uint32_t n = be32(elst->body + 4);
            const size_t entry = v == 1 ? 20 : 12;
            if (n > (elst->bodySize - 8) / entry)
                return fail("elst");
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t *q = elst->body + 8 + i * entry;
                Mp4Edit ed;
                if (v == 1) {
                    ed.duration = static_cast<int64_t>(be64(q));
                    ed.mediaTime = static_cast<int64_t>(be64(q + 8));
                } else {
                    ed.duration = be32(q);
                    ed.mediaTime = static_cast<int32_t>(be32(q + 4));
                }
                t.edits.push_back(ed);
            }
        }
    }
    const Box *mdia = find(trak, fourcc("mdia"));
    if (!mdia)
        return fail("mdia");
    std::vector<Box> md;
    if (!children(mdia->body, mdia->bodySize, &md))
        return fail("mdia");
    const uint64_t mdiaBodyPos = bodyPos + static_cast<uint64_t>(mdia->body - p);
    if (const Box *mdhd = find(md, fourcc("mdhd")); mdhd && mdhd->bodySize >= 24) {
        const uint8_t *b = mdhd->body;
        const bool v1 = b[0] == 1;
        if (v1 && mdhd->bodySize < 36)
            return fail("mdhd");
        t.timescale = be32(b + (v1 ? 20 : 12));
        const uint16_t lang = be16(b + (v1 ? 32 : 20));
        for (int shift = 10; shift >= 0; shift -= 5)
            t.language += static_cast<char>(((lang >> shift) & 31) + 0x60);
    }
    if (const Box *hdlr = find(md, fourcc("hdlr")); hdlr && hdlr->bodySize >= 12) {
        t.handler = be32(hdlr->body + 8);
        t.hdlrPos = mdiaBodyPos + hdlr->offset;
    }
    const Box *minf = find(md, fourcc("minf"));
    std::vector<Box> mi;
    if (!minf || !children(minf->body, minf->bodySize, &mi))
        return fail("minf");
    const uint64_t minfBodyPos = mdiaBodyPos + static_cast<uint64_t>(minf->body - mdia->body);
    const Box *stbl = find(mi, fourcc("stbl"));
    std::vector<Box> st;
    if (!stbl || !children(stbl->body, stbl->bodySize, &st))
        return fail("stbl");
    const uint64_t stblBodyPos = minfBodyPos + static_cast<uint64_t>(stbl->body - minf->body);

    if (const Box *stsd = find(st, fourcc("stsd")); stsd && stsd->bodySize >= 16) {
        const uint8_t *e = stsd->body + 8;
        const uint32_t entrySize = be32(e);
        if (entrySize >= 8 && entrySize <= stsd->bodySize - 8) {
            t.sampleEntry.assign(e, e + entrySize);
            t.sampleEntryPos = stblBodyPos + static_cast<uint64_t>(stsd->body - stbl->body) + 8;
        }
    }

    // Sample table.
    const Box *stsz = find(st, fourcc("stsz"));
    const Box *stts = find(st, fourcc("stts"));
    const Box *stsc = find(st, fourcc("stsc"));
    const Box *stco = find(st, fourcc("stco"));
    const Box *co64 = find(st, fourcc("co64"));
    if (stsz && stts && stsc && (stco || co64)) {
        if (stsz->bodySize < 12)
            return fail("stsz");
        const uint32_t uniform = be32(stsz->body + 4);
        const uint32_t count = be32(stsz->body + 8);
        if (count > kMaxSamples || (uniform == 0 && count > (stsz->bodySize - 12) / 4))
            return fail("stsz");
        std::vector<uint64_t> chunks;
        const Box *co = co64 ? co64 : stco;
        const size_t width = co64 ? 8 : 4;
        if (co->bodySize < 8)
            return fail("stco");
        const uint32_t nChunks = be32(co->body + 4);
        if (nChunks > (co->bodySize - 8) / width)
            return fail("stco");
        for (uint32_t i = 0; i < nChunks; ++i)
            chunks.push_back(co64 ? be64(co->body + 8 + 8 * i) : be32(co->body + 8 + 4 * i));
        if (stsc->bodySize < 8)
            return fail("stsc");
        const uint32_t nRuns = be32(stsc->body + 4);
        if (nRuns > (stsc->bodySize - 8) / 12)
            return fail("stsc");
        t.samples.resize(count);
        uint32_t sample = 0;
        for (uint32_t r = 0; r < nRuns && sample < count; ++r) {
            const uint8_t *q = stsc->body + 8 + 12 * r;
            const uint32_t first = be32(q);
            const uint32_t perChunk = be32(q + 4);
            const uint32_t last = r + 1 < nRuns ? be32(q + 12) : nChunks + 1;
            if (first == 0 || last < first)
                return fail("stsc");
            for (uint32_t c = first; c < last && c <= nChunks && sample < count; ++c) {
                uint64_t off = chunks[c - 1];
                for (uint32_t k = 0; k < perChunk && sample < count; ++k, ++sample) {
                    const uint32_t sz = uniform ? uniform : be32(stsz->body + 12 + 4 * sample);
                    t.samples[sample].offset = off;
                    t.samples[sample].size = sz;
                    off += sz;
                }
            }
        }
        if (sample < count)
            return fail("stsc");
        if (stts->bodySize < 8)
            return fail("stts");
        const uint32_t nTimes = be32(stts->body + 4);
        if (nTimes > (stts->bodySize - 8) / 8)
            return fail("stts");
        int64_t dts = 0;
        sample = 0;
        for (uint32_t r = 0; r < nTimes && sample < count; ++r) {
            const uint32_t n = be32(stts->body + 8 + 8 * r);
            const uint32_t delta = be32(stts->body + 12 + 8 * r);
            for (uint32_t k = 0; k < n && sample < count; ++k, ++sample) {
                t.samples[sample].dts = dts;
                t.samples[sample].duration = delta;
                dts += delta;
            }
        }
        for (; sample < count; ++sample)
            t.samples[sample].dts = dts;
    }
    m_tracks.push_back(std::move(t));
    return true;
}

bool Mp4File::readSample(const Mp4Sample &s, std::vector<uint8_t> *out) const
{
    if (s.offset > m_fileSize || s.size > m_fileSize - s.offset)
        return false;
    FilePtr f(std::fopen(m_path.c_str(), "rb"));
    if (!f || std::fseek(f.get(), static_cast<long>(s.offset), SEEK_SET) != 0)
        return false;
    out->resize(s.size);
    return std::fread(out->data(), 1, s.size, f.get()) == s.size;
}

bool Mp4File::writeAt(
    const std::string &path, uint64_t offset, const std::vector<uint8_t> &bytes, std::string *error)
{
    FilePtr f(std::fopen(path.c_str(), "r+b"));
    if (!f || std::fseek(f.get(), static_cast<long>(offset), SEEK_SET) != 0
        || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
        *error = "cannot update " + path;
        return false;
    }
    if (std::fflush(f.get()) != 0) {
        *error = "cannot update " + path;
        return false;
    }
    return true;
}

} // namespace mp4box
