#include "Mp4Writer.h"

#include "BigEndian.h"
#include "ProgressLine.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace mp4box {
namespace {

    constexpr uint32_t kMovieTimescale = 1000;
    constexpr uint64_t kMaxChunkBytes = 1u << 20;


    std::string box(uint32_t type, const std::string &body)
    {
        std::string b;
        put32(&b, static_cast<uint32_t>(body.size() + 8));
        put32(&b, type);
        return b + body;
    }

    std::string fullBox(uint32_t type, int version, uint32_t flags, const std::string &body)
    {
        std::string b;
        put32(&b, static_cast<uint32_t>(version) << 24 | (flags & 0xffffff));
        return box(type, b + body);
    }

    constexpr uint32_t tag(const char (&s)[5])
    {
        return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) << 24
            | static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 16
            | static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 8 | static_cast<unsigned char>(s[3]);
    }

    // av_rescale_rnd for the non-negative and negative values met here.
    int64_t rescaleUp(int64_t v, int64_t mul, int64_t div)
    {
        const __int128 p = static_cast<__int128>(v) * mul;
        return static_cast<int64_t>(p >= 0 ? (p + div - 1) / div : p / div);
    }
    int64_t rescaleDown(int64_t v, int64_t mul, int64_t div)
    {
        const __int128 p = static_cast<__int128>(v) * mul;
        return static_cast<int64_t>(p >= 0 ? p / div : -((-p + div - 1) / div));
    }

    void putMatrix(std::string *b, int x = 0, int y = 0)
    {
        for (uint32_t v : { 0x10000u, 0u, 0u, 0u, 0x10000u, 0u, static_cast<uint32_t>(x) << 16,
                 static_cast<uint32_t>(y) << 16, 0x40000000u })
            put32(b, v);
    }

    struct Chunk {
        uint32_t firstSample = 0;
        uint32_t samples = 0;
        uint64_t offset = 0; // from the start of the media data payload, then in the file
    };

    struct TrackLayout {
        std::vector<Chunk> chunks;
        bool co64 = false;
    };

    // Chunks as ffmpeg builds them: samples that follow each other in the media data, up to 1 MiB.
    std::vector<TrackLayout> layoutChunks(const Mp4OutMovie &movie, const std::vector<std::pair<uint32_t, uint32_t>> &order)
    {
        std::vector<TrackLayout> layout(movie.tracks.size());
        std::vector<uint64_t> chunkBytes(movie.tracks.size(), 0);
        std::vector<uint64_t> nextPos(movie.tracks.size(), UINT64_MAX);
        uint64_t pos = 0;
        for (const auto &[t, s] : order) {
            const uint32_t size = movie.tracks[t].samples[s].size;
            auto &chunks = layout[t].chunks;
            if (!chunks.empty() && nextPos[t] == pos && chunkBytes[t] + size < kMaxChunkBytes) {
                ++chunks.back().samples;
                chunkBytes[t] += size;
            } else {
                chunks.push_back({ s, 1, pos });
                chunkBytes[t] = size;
            }
            pos += size;
            nextPos[t] = pos;
        }
        return layout;
    }

    std::string sampleTable(const Mp4OutTrack &t, const TrackLayout &layout, uint64_t dataStart)
    {
        const auto &s = t.samples;
        std::string stbl;
        {
            std::string b;
            put32(&b, 1);
            b.append(reinterpret_cast<const char *>(t.sampleEntry.data()), t.sampleEntry.size());
            stbl += fullBox(tag("stsd"), 0, 0, b);
        }
        {
            std::vector<std::pair<uint32_t, uint32_t>> runs;
            for (size_t i = 0; i < s.size(); ++i) {
                const auto delta = static_cast<uint32_t>(i + 1 < s.size() ? s[i + 1].dts - s[i].dts : s[i].duration);
                if (!runs.empty() && runs.back().second == delta)
                    ++runs.back().first;
                else
                    runs.emplace_back(1, delta);
            }
            std::string b;
            put32(&b, static_cast<uint32_t>(runs.size()));
            for (const auto &[n, d] : runs) {
                put32(&b, n);
                put32(&b, d);
            }
            stbl += fullBox(tag("stts"), 0, 0, b);
        }
        const auto keys = static_cast<size_t>(std::count_if(s.begin(), s.end(), [](const Mp4OutSample &x) { return x.key; }));
        if (keys > 0 && keys < s.size()) {
            std::string b;
            put32(&b, static_cast<uint32_t>(keys));
            for (size_t i = 0; i < s.size(); ++i) {
                if (s[i].key)
                    put32(&b, static_cast<uint32_t>(i + 1));
            }
            stbl += fullBox(tag("stss"), 0, 0, b);
        }
        const bool offsets = std::any_of(s.begin(), s.end(), [](const Mp4OutSample &x) { return x.pts != x.dts; });
        if (offsets && t.handler == tag("vide")) {
            std::vector<std::pair<uint32_t, int64_t>> runs;
            for (const auto &x : s) {
                const int64_t cts = x.pts - x.dts;
                if (!runs.empty() && runs.back().second == cts)
                    ++runs.back().first;
                else
                    runs.emplace_back(1, cts);
            }
            std::string b;
            put32(&b, static_cast<uint32_t>(runs.size()));
            for (const auto &[n, c] : runs) {
                put32(&b, n);
                put32(&b, static_cast<uint32_t>(c));
            }
            stbl += fullBox(tag("ctts"), 0, 0, b);
        }
        {
            std::string b;
            uint32_t entries = 0;
            uint32_t last = 0;
            for (size_t c = 0; c < layout.chunks.size(); ++c) {
                if (layout.chunks[c].samples != last) {
                    put32(&b, static_cast<uint32_t>(c + 1));
                    put32(&b, layout.chunks[c].samples);
                    put32(&b, 1);
                    last = layout.chunks[c].samples;
                    ++entries;
                }
            }
            std::string head;
            put32(&head, entries);
            stbl += fullBox(tag("stsc"), 0, 0, head + b);
        }
        {
            std::string b;
            const bool uniform = !s.empty()
                && std::all_of(s.begin(), s.end(), [&](const Mp4OutSample &x) { return x.size == s[0].size; });
            put32(&b, uniform ? std::max<uint32_t>(1, s[0].size) : 0);
            put32(&b, static_cast<uint32_t>(s.size()));
            if (!uniform) {
                for (const auto &x : s)
                    put32(&b, x.size);
            }
            stbl += fullBox(tag("stsz"), 0, 0, b);
        }
        {
            std::string b;
            put32(&b, static_cast<uint32_t>(layout.chunks.size()));
            for (const auto &c : layout.chunks) {
                if (layout.co64)
                    put64(&b, dataStart + c.offset);
                else
                    put32(&b, static_cast<uint32_t>(dataStart + c.offset));
            }
            stbl += fullBox(layout.co64 ? tag("co64") : tag("stco"), 0, 0, b);
        }
        if (t.rollGroup && !s.empty()) {
            std::string g;
            put32(&g, tag("roll"));
            put32(&g, 2); // default_length
            put32(&g, 1);
            put16(&g, 0xffff); // roll_distance -1
            stbl += fullBox(tag("sgpd"), 1, 0, g);
            std::string b;
            put32(&b, tag("roll"));
            put32(&b, 1);
            put32(&b, static_cast<uint32_t>(s.size()));
            put32(&b, 1);
            stbl += fullBox(tag("sbgp"), 0, 0, b);
        }
        return box(tag("stbl"), stbl);
    }

    int64_t mediaDuration(const Mp4OutTrack &t)
    {
        if (t.samples.empty())
            return 0;
        return t.samples.back().dts + t.samples.back().duration - t.samples.front().dts;
    }

    std::string trackBox(const Mp4OutTrack &t, const TrackLayout &layout, uint64_t dataStart, uint32_t id)
    {
        int64_t duration = 0;
        const std::vector<Mp4OutEdit> edits = editsFor(t, &duration);
        std::string trak;
        {
            const int v = duration < INT32_MAX ? 0 : 1;
            std::string b;
            if (v == 1) {
                put64(&b, 0);
                put64(&b, 0);
                put32(&b, id);
                put32(&b, 0);
                put64(&b, static_cast<uint64_t>(duration));
            } else {
                put32(&b, 0);
                put32(&b, 0);
                put32(&b, id);
                put32(&b, 0);
                put32(&b, static_cast<uint32_t>(duration));
            }
            put64(&b, 0);
            put16(&b, 0); // layer
            put16(&b, static_cast<uint32_t>(t.alternateGroup));
            put16(&b, static_cast<uint32_t>(t.volume));
            put16(&b, 0);
            putMatrix(&b, t.translationX, t.translationY);
            put32(&b, t.width);
            put32(&b, t.height);
            trak += fullBox(tag("tkhd"), v, t.enabled ? 3 : 2, b);
        }
        {
            bool wide = false;
            for (const auto &e : edits)
                wide = wide || e.duration >= INT32_MAX || e.mediaTime >= INT32_MAX;
            std::string b;
            put32(&b, static_cast<uint32_t>(edits.size()));
            for (const auto &e : edits) {
                if (wide) {
                    put64(&b, static_cast<uint64_t>(e.duration));
                    put64(&b, static_cast<uint64_t>(e.mediaTime));
                } else {
                    put32(&b, static_cast<uint32_t>(e.duration));
                    put32(&b, static_cast<uint32_t>(e.mediaTime));
                }
                put32(&b, 0x10000);
            }
            trak += box(tag("edts"), fullBox(tag("elst"), wide ? 1 : 0, 0, b));
        }
        std::string mdia;
        {
            const int64_t d = mediaDuration(t);
            const int v = d < INT32_MAX ? 0 : 1;
            std::string b;
            if (v == 1) {
                put64(&b, 0);
                put64(&b, 0);
                put32(&b, t.timescale);
                put64(&b, static_cast<uint64_t>(d));
            } else {
                put32(&b, 0);
                put32(&b, 0);
                put32(&b, t.timescale);
                put32(&b, static_cast<uint32_t>(d));
            }
            put16(&b, t.language);
            put16(&b, 0);
            mdia += fullBox(tag("mdhd"), v, 0, b);
        }
        {
            std::string b;
            put32(&b, 0);
            put32(&b, t.handler);
            put32(&b, 0);
            put32(&b, 0);
            put32(&b, 0);
            b += t.handlerName;
            b.push_back('\0');
            mdia += fullBox(tag("hdlr"), 0, 0, b);
        }
        std::string minf;
        if (t.text) {
            minf += fullBox(tag("nmhd"), 0, 0, "");
        } else if (t.handler == tag("vide")) {
            std::string b(8, '\0');
            minf += fullBox(tag("vmhd"), 0, 1, b);
        } else {
            std::string b(4, '\0');
            minf += fullBox(tag("smhd"), 0, 0, b);
        }
        {
            std::string b;
            put32(&b, 1);
            b += fullBox(tag("url "), 0, 1, "");
            minf += box(tag("dinf"), fullBox(tag("dref"), 0, 0, b));
        }
        minf += sampleTable(t, layout, dataStart);
        mdia += box(tag("minf"), minf);
        trak += box(tag("mdia"), mdia);
        return box(tag("trak"), trak);
    }

    std::string movieBox(const Mp4OutMovie &movie, const std::vector<TrackLayout> &layout, uint64_t dataStart)
    {
        int64_t duration = 0;
        for (const auto &t : movie.tracks) {
            int64_t d = 0;
            editsFor(t, &d);
            duration = std::max(duration, d);
        }
        std::string moov;
        {
            const int v = duration < UINT32_MAX ? 0 : 1;
            std::string b;
            if (v == 1) {
                put64(&b, 0);
                put64(&b, 0);
                put32(&b, kMovieTimescale);
                put64(&b, static_cast<uint64_t>(duration));
            } else {
                put32(&b, 0);
                put32(&b, 0);
                put32(&b, kMovieTimescale);
                put32(&b, static_cast<uint32_t>(duration));
            }
            put32(&b, 0x10000); // rate
            put16(&b, 0x100); // volume
            b.append(10, '\0');
            putMatrix(&b);
            b.append(24, '\0');
            put32(&b, static_cast<uint32_t>(movie.tracks.size() + 1));
            moov += fullBox(tag("mvhd"), v, 0, b);
        }
        for (size_t i = 0; i < movie.tracks.size(); ++i)
            moov += trackBox(movie.tracks[i], layout[i], dataStart, static_cast<uint32_t>(i + 1));
        if (!movie.encoder.empty()) {
            std::string hdlr;
            put32(&hdlr, 0);
            put32(&hdlr, tag("mdir"));
            put32(&hdlr, tag("appl"));
            put32(&hdlr, 0);
            put32(&hdlr, 0);
            hdlr.push_back('\0');
            std::string data;
            put32(&data, 1); // UTF-8
            put32(&data, 0);
            data += movie.encoder;
            const std::string ilst = box(tag("ilst"), box(0xa9746f6f /* ©too */, box(tag("data"), data)));
            moov += box(tag("udta"), fullBox(tag("meta"), 0, 0, fullBox(tag("hdlr"), 0, 0, hdlr) + ilst));
        }
        return box(tag("moov"), moov);
    }

    struct FileCloser {
        void operator()(FILE *f) const { std::fclose(f); }
    };

} // namespace

std::vector<Mp4OutEdit> editsFor(const Mp4OutTrack &t, int64_t *tkhdDuration)
{
    *tkhdDuration = 0;
    if (t.samples.empty())
        return { { 0, 0 } };
    const int64_t startDts = t.samples.front().dts;
    const int64_t startCts = t.samples.front().pts - startDts;
    int64_t endPts = INT64_MIN;
    for (const auto &s : t.samples)
        endPts = std::max(endPts, s.pts + static_cast<int64_t>(s.duration));
    const int64_t firstPts = startDts + startCts;
    const int64_t ts = t.timescale;
    int64_t duration = rescaleUp(endPts - firstPts, kMovieTimescale, ts);
    const int64_t delay = rescaleDown(firstPts, kMovieTimescale, ts);
    *tkhdDuration = rescaleUp(endPts, kMovieTimescale, ts);
    if (delay > 0)
        return { { delay, -1 }, { duration, startCts } };
    duration += delay;
    return { { duration, -std::min<int64_t>(startDts, 0) } };
}

std::vector<std::pair<uint32_t, uint32_t>> interleaveOrder(const std::vector<Mp4OutTrack> &tracks)
{
    std::vector<std::pair<uint32_t, uint32_t>> order;
    size_t total = 0;
    for (const auto &t : tracks)
        total += t.samples.size();
    order.reserve(total);
    std::vector<size_t> next(tracks.size(), 0);
    for (;;) {
        int best = -1;
        for (size_t i = 0; i < tracks.size(); ++i) {
            if (next[i] >= tracks[i].samples.size())
                continue;
            if (best < 0) {
                best = static_cast<int>(i);
                continue;
            }
            const auto &b = tracks[static_cast<size_t>(best)];
            // dts_i / ts_i < dts_b / ts_b, exactly; a tie keeps the lower track.
            const __int128 mine = static_cast<__int128>(tracks[i].samples[next[i]].dts) * b.timescale;
            const __int128 theirs = static_cast<__int128>(b.samples[next[static_cast<size_t>(best)]].dts) * tracks[i].timescale;
            if (mine < theirs)
                best = static_cast<int>(i);
        }
        if (best < 0)
            break;
        const auto b = static_cast<size_t>(best);
        order.emplace_back(static_cast<uint32_t>(b), static_cast<uint32_t>(next[b]++));
    }
    return order;
}

bool packLanguage(const std::string &code, uint16_t *packed)
{
    const std::string c = code.empty() ? "und" : code;
    if (c.size() != 3)
        return false;
    uint16_t v = 0;
    for (const char ch : c) {
        const int x = static_cast<unsigned char>(ch) - 0x60;
        if (x < 0 || x > 0x1f)
            return false;
        v = static_cast<uint16_t>(v << 5 | x);
    }
    *packed = v;
    return true;
}

bool writeMp4(const std::string &path, const Mp4OutMovie &movie, ProgressLine *progress, std::string *error)
{
    const auto order = movie.order.empty() ? interleaveOrder(movie.tracks) : movie.order;
    std::vector<TrackLayout> layout = layoutChunks(movie, order);
    uint64_t payload = 0;
    for (const auto &t : movie.tracks) {
        for (const auto &s : t.samples)
            payload += s.size;
    }
    std::string ftyp;
    put32(&ftyp, movie.majorBrand);
    put32(&ftyp, movie.minorVersion);
    for (uint32_t b : movie.compatibleBrands)
        put32(&ftyp, b);
    ftyp = box(tag("ftyp"), ftyp);
    // A 'free' box stands where a 64-bit media data size would go, as ffmpeg leaves it.
    const bool largeMdat = payload + 8 > 0xffffffffull;
    // Chunk offsets count from the end of the movie header, whose size depends on whether
    // a track needs 64-bit offsets: settle both.
    std::string moov;
    uint64_t dataStart = 0;
    for (int pass = 0; pass < 8; ++pass) {
        moov = movieBox(movie, layout, dataStart);
        const uint64_t start = ftyp.size() + moov.size() + 16;
        bool settled = start == dataStart;
        for (auto &l : layout) {
            const bool wide = !l.chunks.empty() && needsCo64(start + l.chunks.back().offset);
            settled = settled && wide == l.co64;
            l.co64 = wide;
        }
        if (settled)
            break;
        dataStart = start;
    }
    std::string head = ftyp + moov;
    if (largeMdat) {
        put32(&head, 1);
        put32(&head, tag("mdat"));
        put64(&head, payload + 16);
    } else {
        put32(&head, 8);
        put32(&head, tag("free"));
        put32(&head, static_cast<uint32_t>(payload + 8));
        put32(&head, tag("mdat"));
    }

    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
    if (!f) {
        *error = "cannot write " + path;
        return false;
    }
    bool ok = std::fwrite(head.data(), 1, head.size(), f.get()) == head.size();
    std::string buffer;
    constexpr size_t kFlushAt = 4u << 20;
    buffer.reserve(kFlushAt + (1u << 20));
    uint64_t written = 0;
    for (size_t k = 0; ok && k < order.size(); ++k) {
        const auto &[t, s] = order[k];
        const size_t before = buffer.size();
        movie.tracks[t].data(s, &buffer);
        if (buffer.size() - before != movie.tracks[t].samples[s].size) {
            *error = "a sample of track " + std::to_string(t + 1) + " changed size while it was written";
            return false;
        }
        if (buffer.size() >= kFlushAt || k + 1 == order.size()) {
            ok = std::fwrite(buffer.data(), 1, buffer.size(), f.get()) == buffer.size();
            written += buffer.size();
            buffer.clear();
            if (progress && payload > 0)
                progress->update(static_cast<int>(written * 100 / payload));
        }
    }
    if (std::fclose(f.release()) != 0)
        ok = false;
    if (!ok)
        *error = "cannot write " + path;
    return ok;
}

} // namespace mp4box
