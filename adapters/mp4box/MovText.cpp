#include "MovText.h"

#include "AssExport.h"
#include "BigEndian.h"

#include <cstdio>
#include <cstdlib>

namespace mp4box {
namespace {


    struct StyleRecord {
        uint32_t start = 0;
        uint32_t end = 0;
        uint8_t flags = 0;
        uint8_t fontSize = 0;
        uint32_t rgba = 0;

        bool sameLook(const StyleRecord &o) const { return flags == o.flags && fontSize == o.fontSize && rgba == o.rgba; }
    };

    // The encoder's running state: the record being built and those closed.
    class Encoder {
    public:
        explicit Encoder(const MovTextDefaults &d)
        {
            m_default.flags = d.flags;
            m_default.fontSize = d.fontSize;
            m_default.rgba = d.rgba;
            m_current = m_default;
        }

        bool text(const std::string &chunk)
        {
            // Positions count code points, as the encoder counts UTF-8 characters.
            size_t i = 0;
            while (i < chunk.size()) {
                const auto c = static_cast<unsigned char>(chunk[i]);
                const size_t n = c < 0x80 ? 1 : (c & 0xe0) == 0xc0 ? 2 : (c & 0xf0) == 0xe0 ? 3 : (c & 0xf8) == 0xf0 ? 4 : 0;
                if (n == 0 || i + n > chunk.size())
                    return false;
                for (size_t k = 1; k < n; ++k) {
                    if ((static_cast<unsigned char>(chunk[i + k]) & 0xc0) != 0x80)
                        return false;
                }
                i += n;
                ++m_pos;
            }
            m_text += chunk;
            return m_pos <= 0xffff;
        }

        void newLine()
        {
            m_text += '\n';
            ++m_pos;
        }

        void style(char code, bool close)
        {
            const uint8_t flag = code == 'b' ? 1 : code == 'i' ? 2 : code == 'u' ? 4 : 0;
            if (((m_current.flags & flag) != 0) != close)
                return;
            startRecord();
            if (close)
                m_current.flags = static_cast<uint8_t>(m_current.flags & ~flag);
            else
                m_current.flags = static_cast<uint8_t>(m_current.flags | flag);
        }

        void colour(uint32_t bgr)
        {
            const uint32_t rgb = ((bgr & 0xff) << 16 | (bgr & 0xff00) | (bgr >> 16 & 0xff)) << 8;
            if ((m_current.rgba & 0xffffff00u) == rgb)
                return;
            startRecord();
            m_current.rgba = rgb | (m_current.rgba & 0xff);
        }

        void alpha(uint32_t transparency)
        {
            const uint32_t a = 255 - transparency;
            if ((m_current.rgba & 0xff) == a)
                return;
            startRecord();
            m_current.rgba = (m_current.rgba & 0xffffff00u) | a;
        }

        void fontSize(uint32_t size)
        {
            if (m_current.fontSize == size)
                return;
            startRecord();
            m_current.fontSize = static_cast<uint8_t>(size);
        }

        std::optional<std::string> finish()
        {
            startRecord();
            if (m_text.empty() || m_text.size() > 0xffff || m_records.size() > 0xffff)
                return std::nullopt;
            std::string out;
            put16(&out, static_cast<uint32_t>(m_text.size()));
            out += m_text;
            if (!m_records.empty()) {
                put32(&out, static_cast<uint32_t>(m_records.size() * 12 + 10));
                out += "styl";
                put16(&out, static_cast<uint32_t>(m_records.size()));
                for (const auto &r : m_records) {
                    put16(&out, r.start);
                    put16(&out, r.end);
                    put16(&out, 1); // font ID: the encoder knows only the Default style's font
                    put8(&out, r.flags);
                    put8(&out, r.fontSize);
                    put32(&out, r.rgba);
                }
            }
            if (out.size() >= (1u << 20) - 3)
                return std::nullopt; // more than ffmpeg's buffer for one encoded subtitle
            return out;
        }

    private:
        // A change at a new position closes the record being built when it differs from the
        // default style, and starts the next one from the default style.
        void startRecord()
        {
            if (m_current.start == m_pos)
                return;
            if (!m_current.sameLook(m_default)) {
                m_current.end = m_pos;
                m_records.push_back(m_current);
            }
            m_current = m_default;
            m_current.start = m_pos;
        }

        StyleRecord m_default;
        StyleRecord m_current;
        std::vector<StyleRecord> m_records;
        std::string m_text;
        uint32_t m_pos = 0;
    };

    bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

    // "&H" hex digits "&", then the end of the code; the value and the length, 0 when it is not that.
    size_t hexCode(const std::string &s, size_t at, size_t maxDigits, uint32_t *value)
    {
        if (s.compare(at, 2, "&H") != 0)
            return 0;
        size_t i = at + 2;
        while (i < s.size() && isHex(s[i]) && i - at - 2 < maxDigits)
            ++i;
        if (i == at + 2 || i >= s.size() || s[i] != '&')
            return 0;
        *value = static_cast<uint32_t>(std::strtoul(s.substr(at + 2, i - at - 2).c_str(), nullptr, 16));
        return i + 1 - at;
    }

    // The override block at `at` (just after its "{"), for the codes AssExport writes; false
    // for anything else.
    bool block(const std::string &s, size_t *at, Encoder *e)
    {
        size_t i = *at;
        while (i < s.size() && s[i] == '\\') {
            const size_t code = i + 1;
            size_t end = 0;
            if (code + 1 < s.size() && (s[code] == 'b' || s[code] == 'i' || s[code] == 'u')
                && (s[code + 1] == '0' || s[code + 1] == '1')) {
                e->style(s[code], s[code + 1] == '0');
                end = code + 2;
            } else if (s.compare(code, 2, "1c") == 0 || s.compare(code, 2, "1a") == 0) {
                uint32_t v = 0;
                const size_t n = hexCode(s, code + 2, s[code + 1] == 'c' ? 8 : 2, &v);
                if (n == 0)
                    return false;
                if (s[code + 1] == 'c')
                    e->colour(v);
                else
                    e->alpha(v);
                end = code + 2 + n;
            } else if (s.compare(code, 2, "fs") == 0) {
                size_t k = code + 2;
                while (k < s.size() && s[k] >= '0' && s[k] <= '9' && k - code < 8)
                    ++k;
                if (k == code + 2)
                    return false;
                e->fontSize(static_cast<uint32_t>(std::strtoul(s.substr(code + 2, k - code - 2).c_str(), nullptr, 10)));
                end = k;
            } else if (s.compare(code, 2, "fn") == 0) {
                // The encoder has only the Default style's font in its table: any name is ID 1,
                // which every record has.
                end = s.find_first_of("\\}", code + 2);
                if (end == std::string::npos || end - code - 2 > 127)
                    return false;
            } else {
                return false;
            }
            if (end >= s.size() || (s[end] != '\\' && s[end] != '}'))
                return false;
            i = end;
        }
        if (i >= s.size() || s[i] != '}')
            return false;
        *at = i + 1;
        return true;
    }

} // namespace

std::optional<MovTextDefaults> movTextDefaults(const TimedTextHeader &h)
{
    MovTextDefaults d;
    const TimedTextStyle &s = h.defaultStyle;
    const int size = assDefaultFontSize(h);
    if (size < 1 || size > 255)
        return std::nullopt;
    d.fontSize = static_cast<uint8_t>(size);
    d.flags = static_cast<uint8_t>((s.bold ? 1 : 0) | (s.italic ? 2 : 0) | (s.underlined ? 4 : 0));
    d.rgba = s.rgba;
    d.fontName = assDefaultFontName(h);
    // The style line's reader drops leading blanks; an override block ends a name at '\' or '}'.
    if (d.fontName.empty() || d.fontName.size() > 127 || d.fontName.front() == ' ')
        return std::nullopt;
    for (const char c : d.fontName) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == '{' || c == '}')
            return std::nullopt;
    }
    return d;
}

std::vector<uint8_t> movTextSampleEntry(const TimedTextHeader &h, const MovTextDefaults &d)
{
    std::string b(6, '\0');
    put16(&b, 1); // data reference index
    put32(&b, 0); // display flags
    put8(&b, 0x01); // justification: the encoder writes centre/bottom whatever the style says
    put8(&b, 0xff);
    put32(&b, h.backRgba);
    for (const int v : { h.boxTop, h.boxLeft, h.boxBottom, h.boxRight })
        put16(&b, static_cast<uint32_t>(v));
    put16(&b, 0);
    put16(&b, 0);
    put16(&b, 1);
    put8(&b, d.flags);
    put8(&b, d.fontSize);
    put32(&b, d.rgba);
    put32(&b, static_cast<uint32_t>(10 + 3 + d.fontName.size()));
    b += "ftab";
    put16(&b, 1);
    put16(&b, 1);
    put8(&b, static_cast<uint32_t>(d.fontName.size()));
    b += d.fontName;
    std::string entry;
    put32(&entry, static_cast<uint32_t>(b.size() + 8));
    entry += "tx3g";
    entry += b;
    return std::vector<uint8_t>(entry.begin(), entry.end());
}

std::optional<std::string> movTextSample(const std::string &assText, const MovTextDefaults &d)
{
    // The dialogue reader skips the spaces that open its text field.
    size_t begin = 0;
    while (begin < assText.size() && assText[begin] == ' ')
        ++begin;
    const std::string s = assText.substr(begin);
    for (const char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::nullopt; // line ends and other controls may be read otherwise
    }
    Encoder e(d);
    std::string text;
    auto flush = [&] {
        const bool ok = text.empty() || e.text(text);
        text.clear();
        return ok;
    };
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == 'N')) {
            if (!flush())
                return std::nullopt;
            e.newLine();
            i += 2;
        } else if (s[i] == '{' && i + 1 < s.size() && s[i + 1] == '\\') {
            if (!flush())
                return std::nullopt;
            ++i;
            if (!block(s, &i, &e))
                return std::nullopt;
        } else {
            text += s[i++];
        }
    }
    if (!flush())
        return std::nullopt;
    return e.finish();
}

} // namespace mp4box
