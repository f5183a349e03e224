#include "mkvextract/MkvTracks.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace {

constexpr std::uint32_t kEbml = 0x1A45DFA3;
constexpr std::uint32_t kDocType = 0x4282;
constexpr std::uint32_t kSegment = 0x18538067;
constexpr std::uint32_t kSeekHead = 0x114D9B74;
constexpr std::uint32_t kSeek = 0x4DBB;
constexpr std::uint32_t kSeekId = 0x53AB;
constexpr std::uint32_t kSeekPosition = 0x53AC;
constexpr std::uint32_t kTracks = 0x1654AE6B;
constexpr std::uint32_t kTrackEntry = 0xAE;
constexpr std::uint32_t kTrackNumber = 0xD7;
constexpr std::uint32_t kTrackType = 0x83;
constexpr std::uint32_t kCodecId = 0x86;
constexpr std::uint32_t kCluster = 0x1F43B675;
constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};
// Larger header elements than this are not what a sane muxer writes.
constexpr std::uint64_t kMaxHeaderElement = 64u << 20;

class Reader {
public:
    explicit Reader(FILE *f) : m_f(f) {}

    bool seek(std::uint64_t pos) { return fseeko(m_f, static_cast<off_t>(pos), SEEK_SET) == 0; }
    std::uint64_t tell() const { return static_cast<std::uint64_t>(ftello(m_f)); }

    // An element header: its ID (length marker kept) and its data size (kUnknownSize for "unknown").
    bool header(std::uint32_t *id, std::uint64_t *size)
    {
        int c = std::fgetc(m_f);
        if (c == EOF || c == 0)
            return false;
        int len = 1;
        while (len <= 4 && !(c & (0x80 >> (len - 1))))
            ++len;
        if (len > 4)
            return false;
        std::uint32_t v = static_cast<std::uint32_t>(c);
        for (int i = 1; i < len; ++i) {
            const int b = std::fgetc(m_f);
            if (b == EOF)
                return false;
            v = v << 8 | static_cast<std::uint32_t>(b);
        }
        *id = v;
        return vint(size);
    }

    std::optional<std::vector<unsigned char>> bytes(std::uint64_t size)
    {
        if (size > kMaxHeaderElement)
            return std::nullopt;
        std::vector<unsigned char> b(static_cast<std::size_t>(size));
        if (!b.empty() && std::fread(b.data(), 1, b.size(), m_f) != b.size())
            return std::nullopt;
        return b;
    }

private:
    bool vint(std::uint64_t *out)
    {
        const int c = std::fgetc(m_f);
        if (c == EOF || c == 0)
            return false;
        int len = 1;
        while (!(c & (0x80 >> (len - 1))))
            ++len;
        std::uint64_t v = static_cast<std::uint64_t>(c) & (0xFFu >> len);
        bool allOnes = v == (0xFFu >> len);
        for (int i = 1; i < len; ++i) {
            const int b = std::fgetc(m_f);
            if (b == EOF)
                return false;
            allOnes = allOnes && b == 0xFF;
            v = v << 8 | static_cast<std::uint64_t>(b);
        }
        *out = allOnes ? kUnknownSize : v;
        return true;
    }

    FILE *m_f;
};

// The children of an element held in memory.
struct Child {
    std::uint32_t id;
    const unsigned char *data;
    std::size_t size;
};

bool children(const std::vector<unsigned char> &body, std::size_t from, std::size_t to, std::vector<Child> *out)
{
    out->clear();
    std::size_t p = from;
    while (p < to) {
        int len = 1;
        const unsigned char c = body[p];
        if (c == 0)
            return false;
        while (len <= 4 && !(c & (0x80 >> (len - 1))))
            ++len;
        if (len > 4 || p + static_cast<std::size_t>(len) > to)
            return false;
        std::uint32_t id = 0;
        for (int i = 0; i < len; ++i)
            id = id << 8 | body[p + static_cast<std::size_t>(i)];
        p += static_cast<std::size_t>(len);
        if (p >= to || body[p] == 0)
            return false;
        int slen = 1;
        while (!(body[p] & (0x80 >> (slen - 1))))
            ++slen;
        if (p + static_cast<std::size_t>(slen) > to)
            return false;
        std::uint64_t size = body[p] & (0xFFu >> slen);
        for (int i = 1; i < slen; ++i)
            size = size << 8 | body[p + static_cast<std::size_t>(i)];
        p += static_cast<std::size_t>(slen);
        if (size > to - p)
            return false; // also an unknown size inside a header element
        out->push_back({ id, body.data() + p, static_cast<std::size_t>(size) });
        p += static_cast<std::size_t>(size);
    }
    return true;
}

std::uint64_t unsignedValue(const Child &c)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < c.size && i < 8; ++i)
        v = v << 8 | c.data[i];
    return v;
}

std::string stringValue(const Child &c)
{
    std::string s(reinterpret_cast<const char *>(c.data), c.size);
    const auto nul = s.find('\0');
    return nul == std::string::npos ? s : s.substr(0, nul);
}

bool parseTracks(const std::vector<unsigned char> &body, std::vector<MkvTrack> *tracks)
{
    std::vector<Child> entries;
    if (!children(body, 0, body.size(), &entries))
        return false;
    tracks->clear();
    for (const auto &e : entries) {
        if (e.id != kTrackEntry)
            continue;
        std::vector<Child> fields;
        const std::size_t from = static_cast<std::size_t>(e.data - body.data());
        if (!children(body, from, from + e.size, &fields))
            return false;
        MkvTrack t;
        t.id = static_cast<int>(tracks->size());
        std::uint64_t type = 0;
        for (const auto &f : fields) {
            if (f.id == kTrackNumber)
                t.number = static_cast<long long>(unsignedValue(f));
            else if (f.id == kTrackType)
                type = unsignedValue(f);
            else if (f.id == kCodecId)
                t.codecId = stringValue(f);
        }
        // Tracks mkvmerge would describe differently (or drop) are left to it.
        if (t.number <= 0 || t.codecId.empty())
            return false;
        if (type == 1)
            t.type = "video";
        else if (type == 2)
            t.type = "audio";
        else if (type == 0x11)
            t.type = "subtitles";
        else
            return false;
        tracks->push_back(t);
    }
    return !tracks->empty();
}

} // namespace

bool readMkvTrackList(const std::string &path, std::vector<MkvTrack> *tracks)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    Reader r(f);
    auto done = [&](bool ok) {
        std::fclose(f);
        return ok;
    };
    std::uint32_t id = 0;
    std::uint64_t size = 0;
    if (!r.header(&id, &size) || id != kEbml || size == kUnknownSize)
        return done(false);
    const auto ebml = r.bytes(size);
    if (!ebml)
        return done(false);
    std::vector<Child> fields;
    if (!children(*ebml, 0, ebml->size(), &fields))
        return done(false);
    std::string docType;
    for (const auto &c : fields) {
        if (c.id == kDocType)
            docType = stringValue(c);
    }
    if (docType != "matroska" && docType != "webm")
        return done(false);
    if (!r.header(&id, &size) || id != kSegment)
        return done(false);
    const std::uint64_t segmentStart = r.tell();

    // Top-level elements up to the first cluster; the SeekHead says where Tracks is when it
    // comes later.
    std::optional<std::uint64_t> seekTracks;
    for (;;) {
        if (!r.header(&id, &size) || size == kUnknownSize)
            return done(false);
        if (id == kTracks) {
            const auto body = r.bytes(size);
            return done(body && parseTracks(*body, tracks));
        }
        if (id == kCluster)
            break;
        if (id == kSeekHead && !seekTracks) {
            const auto body = r.bytes(size);
            if (!body)
                return done(false);
            std::vector<Child> seeks;
            if (!children(*body, 0, body->size(), &seeks))
                return done(false);
            for (const auto &s : seeks) {
                if (s.id != kSeek)
                    continue;
                std::vector<Child> parts;
                const std::size_t from = static_cast<std::size_t>(s.data - body->data());
                if (!children(*body, from, from + s.size, &parts))
                    return done(false);
                std::uint64_t target = 0;
                std::optional<std::uint64_t> position;
                for (const auto &p : parts) {
                    if (p.id == kSeekId)
                        target = unsignedValue(p);
                    else if (p.id == kSeekPosition)
                        position = unsignedValue(p);
                }
                if (target == kTracks && position)
                    seekTracks = segmentStart + *position;
            }
            continue;
        }
        if (!r.seek(r.tell() + size))
            return done(false);
    }
    if (!seekTracks || !r.seek(*seekTracks) || !r.header(&id, &size) || id != kTracks || size == kUnknownSize)
        return done(false);
    const auto body = r.bytes(size);
    return done(body && parseTracks(*body, tracks));
}
