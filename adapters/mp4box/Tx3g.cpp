#include "Tx3g.h"

#include "Utf.h"

#include <cmath>

namespace mp4box {
namespace {

    uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

    uint32_t be32(const uint8_t *p)
    {
        return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16
            | static_cast<uint32_t>(p[2]) << 8 | p[3];
    }

    void readStyleRecord(const uint8_t *p, TimedTextStyle *s)
    {
        s->fromChar = be16(p);
        s->toChar = be16(p + 2);
        s->fontId = be16(p + 4);
        const uint8_t face = p[6];
        s->bold = face & 1;
        s->italic = face & 2;
        s->underlined = face & 4;
        s->fontSize = p[7];
        s->rgba = be32(p + 8);
    }

    int justification(uint8_t v)
    {
        const auto s = static_cast<int8_t>(v);
        return s == 1 ? 1 : s < 0 ? -1 : 0;
    }

} // namespace

bool parseTx3gSampleEntry(const std::vector<uint8_t> &e, TimedTextHeader *h)
{
    if (e.size() < 46 || be32(e.data() + 4) != fourcc("tx3g"))
        return false;
    h->displayFlags = be32(e.data() + 16);
    h->horizontalJustification = justification(e[20]);
    h->verticalJustification = justification(e[21]);
    h->backRgba = be32(e.data() + 22);
    h->boxTop = static_cast<int16_t>(be16(e.data() + 26));
    h->boxLeft = static_cast<int16_t>(be16(e.data() + 28));
    h->boxBottom = static_cast<int16_t>(be16(e.data() + 30));
    h->boxRight = static_cast<int16_t>(be16(e.data() + 32));
    readStyleRecord(e.data() + 34, &h->defaultStyle);
    h->defaultStyle.fromChar = h->defaultStyle.toChar = 0;
    if (h->defaultStyle.fontSize == 0)
        h->defaultStyle.fontSize = 18;
    size_t i = 46;
    while (i + 8 <= e.size()) {
        const uint32_t size = be32(e.data() + i);
        if (size < 8 || size > e.size() - i)
            break;
        if (be32(e.data() + i + 4) == fourcc("ftab") && size >= 10) {
            h->fonts.clear();
            const uint16_t n = be16(e.data() + i + 8);
            size_t k = i + 10;
            for (uint16_t f = 0; f < n && k + 3 <= i + size; ++f) {
                const uint16_t id = be16(e.data() + k);
                const uint8_t len = e[k + 2];
                if (k + 3 + len > i + size)
                    break;
                h->fonts.push_back({ id,
                    std::string(
                        e.begin() + static_cast<long>(k + 3), e.begin() + static_cast<long>(k + 3 + len)) });
                k += 3 + len;
            }
        }
        i += size;
    }
    if (h->fonts.empty())
        h->fonts.push_back({ 1, "Serif" });
    return true;
}

bool parseTx3gSample(const std::vector<uint8_t> &d, const TimedTextStyle &defaults, TimedTextSample *s)
{
    if (d.size() < 2)
        return false;
    const size_t len = be16(d.data());
    if (2 + len > d.size())
        return false;
    // Code-point index -> UTF-16 position, for the style offsets.
    std::vector<int> unitAt;
    if (len >= 2 && d[2] == 0xFE && d[3] == 0xFF) {
        for (size_t i = 4; i + 1 < 2 + len; i += 2) {
            const char16_t u = static_cast<char16_t>(d[i] << 8 | d[i + 1]);
            s->text.push_back(u);
            unitAt.push_back(static_cast<int>(s->text.size()) - 1);
        }
    } else {
        const std::string_view raw(reinterpret_cast<const char *>(d.data() + 2), len);
        const std::u16string text = isValidUtf8(raw) ? utf8ToUtf16(raw) : latin1ToUtf16(raw);
        for (size_t i = 0; i < text.size(); ++i) {
            const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF && i > 0 && text[i - 1] >= 0xD800
                && text[i - 1] <= 0xDBFF;
            if (!low)
                unitAt.push_back(static_cast<int>(i));
        }
        s->text = text;
    }
    // Line breaks are stored as CR LF or LF; the model has one LF.
    std::u16string clean;
    std::vector<int> newIndex(s->text.size() + 1);
    for (size_t i = 0; i < s->text.size(); ++i) {
        newIndex[i] = static_cast<int>(clean.size());
        if (s->text[i] == u'\r') {
            if (i + 1 < s->text.size() && s->text[i + 1] == u'\n')
                continue;
            clean.push_back(u'\n');
        } else {
            clean.push_back(s->text[i]);
        }
    }
    newIndex[s->text.size()] = static_cast<int>(clean.size());
    auto position = [&](int chars) {
        if (chars < 0)
            return 0;
        const size_t unit = static_cast<size_t>(chars) < unitAt.size()
            ? static_cast<size_t>(unitAt[static_cast<size_t>(chars)])
            : s->text.size();
        return newIndex[unit];
    };
    size_t i = 2 + len;
    while (i + 8 <= d.size()) {
        const uint32_t size = be32(d.data() + i);
        if (size < 8 || size > d.size() - i)
            break;
        if (be32(d.data() + i + 4) == fourcc("styl") && size >= 10) {
            const uint16_t n = be16(d.data() + i + 8);
            for (uint16_t k = 0; k < n && i + 10 + 12 * (k + 1) <= i + size; ++k) {
                TimedTextStyle st = defaults;
                readStyleRecord(d.data() + i + 10 + 12 * k, &st);
                if (st.fontSize == 0)
                    st.fontSize = defaults.fontSize;
                st.fromChar = position(st.fromChar);
                st.toChar = position(st.toChar);
                if (st.toChar > st.fromChar)
                    s->styles.push_back(st);
            }
        }
        i += size;
    }
    s->text = clean;
    return true;
}

bool readTextTrack(const Mp4File &file, const Mp4Track &track, TimedText *out, std::string *error)
{
    TimedText tt;
    if (!parseTx3gSampleEntry(track.sampleEntry, &tt.header)) {
        *error = "track " + std::to_string(track.id) + " is not a 3GPP timed-text track";
        return false;
    }
    if (track.timescale == 0) {
        *error = "track " + std::to_string(track.id) + " has no time scale";
        return false;
    }
    tt.header.width = static_cast<int>(std::lround(track.width));
    tt.header.height = static_cast<int>(std::lround(track.height));
    tt.header.translationX = track.matrix[6] / 65536;
    tt.header.translationY = track.matrix[7] / 65536;
    auto toMs = [&](int64_t t) { return (t * 1000 + track.timescale / 2) / track.timescale; };
    std::vector<uint8_t> data;
    for (const auto &smp : track.samples) {
        TimedTextSample s;
        if (!file.readSample(smp, &data) || !parseTx3gSample(data, tt.header.defaultStyle, &s)) {
            *error = "a sample of track " + std::to_string(track.id) + " cannot be read";
            return false;
        }
        s.timeMs = toMs(smp.dts);
        tt.samples.push_back(std::move(s));
    }
    if (!track.samples.empty() && !tt.samples.back().text.empty()) {
        const auto &last = track.samples.back();
        tt.samples.push_back(TimedTextSample { toMs(last.dts + last.duration), {}, {} });
    }
    *out = std::move(tt);
    return true;
}

} // namespace mp4box
