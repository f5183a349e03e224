#include "TtxtFormat.h"

#include "Utf.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace mp4box {
namespace {

    std::string attrEscape(std::string_view s)
    {
        std::string out;
        for (char c : s) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
            }
        }
        return out;
    }

    void appendText(std::string *out, std::u16string_view text)
    {
        for (char16_t u : text) {
            switch (u) {
            case u'&':
                *out += "&amp;";
                break;
            case u'<':
                *out += "&lt;";
                break;
            case u'>':
                *out += "&gt;";
                break;
            case u'"':
                *out += "&quot;";
                break;
            case u'\'':
                *out += "&apos;";
                break;
            case u'\n':
                *out += '\n';
                break;
            case u'\t':
                *out += '\t';
                break;
            default:
                if (u > 127)
                    *out += "&#" + std::to_string(static_cast<unsigned>(u)) + ";";
                else if (u >= 32)
                    *out += static_cast<char>(u);
                // other control characters cannot be written in XML 1.0
            }
        }
    }

    std::string stylesText(const TimedTextStyle &s)
    {
        std::string out;
        auto add = [&out](const char *w) {
            if (!out.empty())
                out += ' ';
            out += w;
        };
        if (s.bold)
            add("Bold");
        if (s.italic)
            add("Italic");
        if (s.underlined)
            add("Underlined");
        return out.empty() ? "Normal" : out;
    }

    std::string styleElement(const TimedTextStyle &s, bool withRange)
    {
        std::string out = "<Style ";
        if (withRange)
            out += "fromChar=\"" + std::to_string(s.fromChar) + "\" toChar=\"" + std::to_string(s.toChar)
                + "\" ";
        out += "styles=\"" + stylesText(s) + "\" fontID=\"" + std::to_string(s.fontId) + "\" fontSize=\""
            + std::to_string(s.fontSize) + "\" color=\"" + formatColour(s.rgba) + "\"/>";
        return out;
    }

    const char *justificationName(int value, bool horizontal)
    {
        if (value == 1)
            return "center";
        if (value == -1)
            return horizontal ? "right" : "bottom";
        return horizontal ? "left" : "top";
    }

    int parseJustification(std::string_view v)
    {
        if (v == "center" || v == "1")
            return 1;
        if (v == "right" || v == "bottom" || v == "-1")
            return -1;
        return 0;
    }

    std::optional<int> toInt(std::string_view v)
    {
        std::string s(v);
        char *end = nullptr;
        const long n = std::strtol(s.c_str(), &end, 10);
        if (end == s.c_str())
            return std::nullopt;
        return static_cast<int>(n);
    }

    // Decodes character data: entities, raw UTF-8 (Latin-1 when not UTF-8), CR LF to LF.
    std::u16string decodeText(std::string_view raw)
    {
        std::u16string out;
        std::string pending; // raw bytes not yet decoded
        auto flush = [&]() {
            if (pending.empty())
                return;
            out += isValidUtf8(pending) ? utf8ToUtf16(pending) : latin1ToUtf16(pending);
            pending.clear();
        };
        for (size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (c == '&') {
                const size_t semi = raw.find(';', i);
                if (semi != std::string_view::npos && semi - i <= 12) {
                    const std::string_view ent = raw.substr(i + 1, semi - i - 1);
                    std::optional<char32_t> value;
                    if (ent == "lt")
                        value = U'<';
                    else if (ent == "gt")
                        value = U'>';
                    else if (ent == "amp")
                        value = U'&';
                    else if (ent == "quot")
                        value = U'"';
                    else if (ent == "apos")
                        value = U'\'';
                    else if (ent.size() > 1 && ent[0] == '#') {
                        const bool hex = ent[1] == 'x' || ent[1] == 'X';
                        const std::string digits(ent.substr(hex ? 2 : 1));
                        char *end = nullptr;
                        const unsigned long n = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
                        if (!digits.empty() && *end == '\0' && n <= 0x10FFFF)
                            value = static_cast<char32_t>(n);
                    }
                    if (value) {
                        flush();
                        // A reference may name one UTF-16 unit (a surrogate half) or a whole code point.
                        if (*value == U'\r')
                            out.push_back(u'\n');
                        else if (*value != 0)
                            appendUtf16(&out, *value);
                        i = semi;
                        continue;
                    }
                }
            }
            if (c == '\r') {
                flush();
                out.push_back(u'\n');
                if (i + 1 < raw.size() && raw[i + 1] == '\n')
                    ++i;
                continue;
            }
            if (c == '\n') {
                flush();
                out.push_back(u'\n');
                continue;
            }
            pending.push_back(c);
        }
        flush();
        return out;
    }

    struct Tag {
        std::string name;
        bool closing = false;
        bool selfClosing = false;
        std::vector<std::pair<std::string, std::string>> attrs;

        std::optional<std::string> attr(std::string_view key) const
        {
            for (const auto &[k, v] : attrs) {
                if (k == key)
                    return v;
            }
            return std::nullopt;
        }
    };

    // Parses the tag text between '<' and '>'.
    Tag parseTag(std::string_view body)
    {
        Tag tag;
        if (!body.empty() && body.back() == '/') {
            tag.selfClosing = true;
            body.remove_suffix(1);
        }
        size_t i = 0;
        if (!body.empty() && body[0] == '/') {
            tag.closing = true;
            i = 1;
        }
        auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
        const size_t nameStart = i;
        while (i < body.size() && !isSpace(body[i]))
            ++i;
        tag.name = std::string(body.substr(nameStart, i - nameStart));
        while (i < body.size()) {
            while (i < body.size() && isSpace(body[i]))
                ++i;
            const size_t keyStart = i;
            while (i < body.size() && body[i] != '=' && !isSpace(body[i]))
                ++i;
            std::string key(body.substr(keyStart, i - keyStart));
            while (i < body.size() && isSpace(body[i]))
                ++i;
            if (i >= body.size() || body[i] != '=') {
                if (key.empty())
                    break;
                continue;
            }
            ++i;
            while (i < body.size() && isSpace(body[i]))
                ++i;
            if (i >= body.size())
                break;
            std::string value;
            if (body[i] == '"' || body[i] == '\'') {
                const char q = body[i++];
                const size_t end = body.find(q, i);
                const size_t stop = end == std::string_view::npos ? body.size() : end;
                value = utf16ToUtf8(decodeText(body.substr(i, stop - i)));
                i = stop + 1;
            } else {
                const size_t start = i;
                while (i < body.size() && !isSpace(body[i]))
                    ++i;
                value = utf16ToUtf8(decodeText(body.substr(start, i - start)));
            }
            tag.attrs.emplace_back(std::move(key), std::move(value));
        }
        return tag;
    }

    void applyStyleAttrs(const Tag &tag, TimedTextStyle *s)
    {
        if (auto v = tag.attr("styles")) {
            s->bold = v->find("Bold") != std::string::npos;
            s->italic = v->find("Italic") != std::string::npos;
            s->underlined = v->find("Underlined") != std::string::npos;
        }
        if (auto v = tag.attr("fontID"); v && toInt(*v))
            s->fontId = *toInt(*v);
        if (auto v = tag.attr("fontSize"); v && toInt(*v) && *toInt(*v) > 0)
            s->fontSize = *toInt(*v);
        if (auto v = tag.attr("color")) {
            uint32_t rgba;
            if (parseColour(*v, &rgba))
                s->rgba = rgba;
        }
    }

} // namespace

std::string formatSampleTime(int64_t ms)
{
    if (ms < 0)
        ms = 0;
    const int64_t maxMs = 100LL * 3600000 - 1;
    if (ms > maxMs)
        ms = maxMs;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
        static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    return buf;
}

bool parseSampleTime(std::string_view text, int64_t *ms)
{
    // H:M:S.fff with any number of leading fields, or plain seconds.
    int64_t fields[3] = { 0, 0, 0 };
    int count = 0;
    size_t i = 0;
    int64_t whole = 0;
    bool any = false;
    for (; i < text.size() && text[i] != '.'; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            whole = whole * 10 + (c - '0');
            any = true;
            if (whole > 10000000)
                return false;
        } else if (c == ':') {
            if (count == 2 || !any)
                return false;
            fields[count++] = whole;
            whole = 0;
            any = false;
        } else {
            return false;
        }
    }
    if (!any)
        return false;
    int64_t frac = 0;
    int digits = 0;
    if (i < text.size()) {
        for (++i; i < text.size(); ++i) {
            const char c = text[i];
            if (c < '0' || c > '9')
                return false;
            if (digits < 3) {
                frac = frac * 10 + (c - '0');
                ++digits;
            }
        }
    }
    while (digits < 3) {
        frac *= 10;
        ++digits;
    }
    int64_t seconds = whole;
    if (count == 1)
        seconds += fields[0] * 60;
    else if (count == 2)
        seconds += fields[0] * 3600 + fields[1] * 60;
    *ms = seconds * 1000 + frac;
    return true;
}

std::string formatColour(uint32_t rgba)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02x %02x %02x %02x", rgba >> 24, (rgba >> 16) & 0xff, (rgba >> 8) & 0xff,
        rgba & 0xff);
    return buf;
}

bool parseColour(std::string_view text, uint32_t *rgba)
{
    // "rr gg bb aa" (groups of one or two hex digits) or "rrggbbaa".
    uint32_t parts[4];
    int n = 0;
    size_t i = 0;
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string_view t = text;
    if (t.find(' ') == std::string_view::npos) {
        if (t.size() != 8)
            return false;
        uint32_t v = 0;
        for (char c : t) {
            const int h = hexValue(c);
            if (h < 0)
                return false;
            v = v << 4 | static_cast<uint32_t>(h);
        }
        *rgba = v;
        return true;
    }
    while (i < t.size()) {
        while (i < t.size() && t[i] == ' ')
            ++i;
        if (i >= t.size())
            break;
        uint32_t v = 0;
        int digits = 0;
        while (i < t.size() && t[i] != ' ') {
            const int h = hexValue(t[i]);
            if (h < 0 || digits == 2)
                return false;
            v = v << 4 | static_cast<uint32_t>(h);
            ++digits;
            ++i;
        }
        if (n == 4)
            return false;
        parts[n++] = v;
    }
    if (n != 4)
        return false;
    *rgba = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
    return true;
}

std::string writeTtxt(const TimedText &tt)
{
    const TimedTextHeader &h = tt.header;
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
    out += "<TextStream version=\"1.1\">\n";
    out += "<TextStreamHeader width=\"" + std::to_string(h.width) + "\" height=\"" + std::to_string(h.height)
        + "\" layer=\"" + std::to_string(h.layer) + "\" translation_x=\"" + std::to_string(h.translationX)
        + "\" translation_y=\"" + std::to_string(h.translationY) + "\">\n";
    const char *scroll = "None";
    if ((h.displayFlags & kTx3gScrollIn) && (h.displayFlags & kTx3gScrollOut))
        scroll = "InOut";
    else if (h.displayFlags & kTx3gScrollIn)
        scroll = "In";
    else if (h.displayFlags & kTx3gScrollOut)
        scroll = "Out";
    out += std::string("<TextSampleDescription horizontalJustification=\"")
        + justificationName(h.horizontalJustification, true) + "\" verticalJustification=\""
        + justificationName(h.verticalJustification, false) + "\" backColor=\"" + formatColour(h.backRgba)
        + "\" verticalText=\"" + ((h.displayFlags & kTx3gVerticalText) ? "yes" : "no")
        + "\" fillTextRegion=\"" + ((h.displayFlags & kTx3gFillTextRegion) ? "yes" : "no")
        + "\" continuousKaraoke=\"" + ((h.displayFlags & kTx3gContinuousKaraoke) ? "yes" : "no")
        + "\" scroll=\"" + scroll + "\">\n";
    out += "<FontTable>\n";
    for (const auto &f : h.fonts)
        out += "<FontTableEntry fontName=\"" + attrEscape(f.name) + "\" fontID=\"" + std::to_string(f.id)
            + "\"/>\n";
    out += "</FontTable>\n";
    out += "<TextBox top=\"" + std::to_string(h.boxTop) + "\" left=\"" + std::to_string(h.boxLeft)
        + "\" bottom=\"" + std::to_string(h.boxBottom) + "\" right=\"" + std::to_string(h.boxRight)
        + "\"/>\n";
    out += styleElement(h.defaultStyle, false) + "\n";
    out += "</TextSampleDescription>\n</TextStreamHeader>\n";
    for (const auto &s : tt.samples) {
        out += "<TextSample sampleTime=\"" + formatSampleTime(s.timeMs) + "\" xml:space=\"preserve\">";
        appendText(&out, s.text);
        for (const auto &st : s.styles)
            out += styleElement(st, true);
        out += "</TextSample>\n";
    }
    out += "</TextStream>\n";
    return out;
}

bool parseTtxt(std::string_view xml, TimedText *out, std::string *error)
{
    TimedText tt;
    bool sawStream = false;
    bool sawFont = false;
    bool inDescription = false;
    bool sawDefaultStyle = false;
    TimedTextSample *sample = nullptr;
    bool sampleTextOpen = false;
    std::string sampleText;
    size_t pos = 0;

    if (xml.size() >= 3 && static_cast<unsigned char>(xml[0]) == 0xEF
        && static_cast<unsigned char>(xml[1]) == 0xBB && static_cast<unsigned char>(xml[2]) == 0xBF)
        pos = 3;

    auto closeSampleText = [&]() {
        if (sample && sampleTextOpen) {
            sample->text = decodeText(sampleText);
            sampleTextOpen = false;
        }
    };

    while (pos < xml.size()) {
        const size_t lt = xml.find('<', pos);
        const size_t textEnd = lt == std::string_view::npos ? xml.size() : lt;
        if (sampleTextOpen)
            sampleText.append(xml.substr(pos, textEnd - pos));
        if (lt == std::string_view::npos)
            break;
        if (xml.compare(lt, 4, "<!--") == 0) {
            const size_t end = xml.find("-->", lt + 4);
            pos = end == std::string_view::npos ? xml.size() : end + 3;
            continue;
        }
        if (xml.compare(lt, 9, "<![CDATA[") == 0) {
            const size_t end = xml.find("]]>", lt + 9);
            const size_t stop = end == std::string_view::npos ? xml.size() : end;
            if (sampleTextOpen) {
                // Character data taken literally: escape it so decodeText keeps it as is.
                for (char c : xml.substr(lt + 9, stop - lt - 9))
                    sampleText += c == '&' ? std::string("&amp;") : std::string(1, c);
            }
            pos = end == std::string_view::npos ? xml.size() : end + 3;
            continue;
        }
        if (xml.compare(lt, 2, "<?") == 0 || xml.compare(lt, 2, "<!") == 0) {
            const size_t end = xml.find('>', lt);
            pos = end == std::string_view::npos ? xml.size() : end + 1;
            continue;
        }
        // Find the end of the tag, skipping '>' inside quoted attribute values.
        size_t gt = lt + 1;
        char quote = 0;
        for (; gt < xml.size(); ++gt) {
            const char c = xml[gt];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (gt >= xml.size()) {
            *error = "unterminated tag in the timed-text file";
            return false;
        }
        const Tag tag = parseTag(xml.substr(lt + 1, gt - lt - 1));
        pos = gt + 1;

        if (tag.name == "TextStream") {
            sawStream = sawStream || !tag.closing;
        } else if (tag.name == "TextStreamHeader" && !tag.closing) {
            if (auto v = tag.attr("width"); v && toInt(*v))
                tt.header.width = *toInt(*v);
            if (auto v = tag.attr("height"); v && toInt(*v))
                tt.header.height = *toInt(*v);
            if (auto v = tag.attr("layer"); v && toInt(*v))
                tt.header.layer = *toInt(*v);
            if (auto v = tag.attr("translation_x"); v && toInt(*v))
                tt.header.translationX = *toInt(*v);
            if (auto v = tag.attr("translation_y"); v && toInt(*v))
                tt.header.translationY = *toInt(*v);
        } else if (tag.name == "TextSampleDescription") {
            if (tag.closing) {
                inDescription = false;
                continue;
            }
            // Only the first description is used: a tx3g track made here carries one.
            if (sawDefaultStyle || sawFont)
                continue;
            inDescription = !tag.selfClosing;
            TimedTextHeader &h = tt.header;
            if (auto v = tag.attr("horizontalJustification"))
                h.horizontalJustification = parseJustification(*v);
            if (auto v = tag.attr("verticalJustification"))
                h.verticalJustification = parseJustification(*v);
            if (auto v = tag.attr("backColor")) {
                uint32_t rgba;
                if (parseColour(*v, &rgba))
                    h.backRgba = rgba;
            }
            h.displayFlags = 0;
            if (tag.attr("verticalText") == "yes")
                h.displayFlags |= kTx3gVerticalText;
            if (tag.attr("fillTextRegion") == "yes")
                h.displayFlags |= kTx3gFillTextRegion;
            if (tag.attr("continuousKaraoke") == "yes")
                h.displayFlags |= kTx3gContinuousKaraoke;
            if (auto v = tag.attr("scroll")) {
                if (v->find("In") != std::string::npos)
                    h.displayFlags |= kTx3gScrollIn;
                if (v->find("Out") != std::string::npos)
                    h.displayFlags |= kTx3gScrollOut;
            }
        } else if (tag.name == "FontTableEntry" && inDescription) {
            if (!sawFont) {
                tt.header.fonts.clear();
                sawFont = true;
            }
            TimedTextFont f;
            if (auto v = tag.attr("fontID"); v && toInt(*v))
                f.id = *toInt(*v);
            f.name = tag.attr("fontName").value_or("Serif");
            tt.header.fonts.push_back(f);
        } else if (tag.name == "TextBox" && inDescription) {
            if (auto v = tag.attr("top"); v && toInt(*v))
                tt.header.boxTop = *toInt(*v);
            if (auto v = tag.attr("left"); v && toInt(*v))
                tt.header.boxLeft = *toInt(*v);
            if (auto v = tag.attr("bottom"); v && toInt(*v))
                tt.header.boxBottom = *toInt(*v);
            if (auto v = tag.attr("right"); v && toInt(*v))
                tt.header.boxRight = *toInt(*v);
        } else if (tag.name == "Style" && inDescription && !sawDefaultStyle) {
            applyStyleAttrs(tag, &tt.header.defaultStyle);
            sawDefaultStyle = true;
        } else if (tag.name == "TextSample") {
            if (tag.closing) {
                closeSampleText();
                sample = nullptr;
                continue;
            }
            closeSampleText();
            TimedTextSample s;
            const auto t = tag.attr("sampleTime");
            if (!t || !parseSampleTime(*t, &s.timeMs)) {
                *error = "a TextSample has no readable sampleTime";
                return false;
            }
            if (auto v = tag.attr("text"))
                s.text = utf8ToUtf16(*v);
            tt.samples.push_back(std::move(s));
            if (tag.selfClosing) {
                sample = nullptr;
            } else {
                sample = &tt.samples.back();
                sampleTextOpen = true;
                sampleText.clear();
            }
        } else if (sample) {
            // The sample text ends at its first child element.
            closeSampleText();
            if (tag.name == "Style" && !tag.closing) {
                TimedTextStyle st = tt.header.defaultStyle;
                st.bold = st.italic = st.underlined = false;
                const auto from = tag.attr("fromChar");
                const auto to = tag.attr("toChar");
                if (from && to && toInt(*from) && toInt(*to)) {
                    st.fromChar = *toInt(*from);
                    st.toChar = *toInt(*to);
                    applyStyleAttrs(tag, &st);
                    sample->styles.push_back(st);
                }
            }
        }
    }
    closeSampleText();
    if (!sawStream) {
        *error = "not a timed-text file (no TextStream element)";
        return false;
    }
    for (auto &f : tt.header.fonts) {
        if (f.name.empty())
            f.name = "Serif";
    }
    if (tt.header.fonts.empty())
        tt.header.fonts.push_back({ 1, "Serif" });
    *out = std::move(tt);
    return true;
}

} // namespace mp4box
