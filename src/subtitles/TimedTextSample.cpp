#include "subtitles/TimedTextSample.h"

#include "subtitles/ColourNameTable.h"
#include "subtitles/SrtReading.h"

namespace {

constexpr char16_t kNewline = 10;
constexpr char32_t kNoCharacter = 0xFFFD;

char16_t upperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }

// pattern is given in upper case.
bool matchesIgnoringCase(std::u16string_view text, size_t at, std::u16string_view pattern)
{
    if (at > text.size() || text.size() - at < pattern.size())
        return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (upperAscii(text[at + i]) != pattern[i])
            return false;
    }
    return true;
}

size_t findIgnoringCase(std::u16string_view text, size_t from, std::u16string_view pattern)
{
    if (text.size() < pattern.size())
        return std::u16string_view::npos;
    for (size_t i = from; i + pattern.size() <= text.size(); ++i) {
        if (matchesIgnoringCase(text, i, pattern))
            return i;
    }
    return std::u16string_view::npos;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// The value of a character reference: ref runs from "&" up to and including its
// ";" (or to the end of the content when there is none). 0 means "append nothing".
char32_t referenceValue(QByteArrayView ref)
{
    if (ref.size() >= 2 && ref[1] == '#') {
        // Numbers beyond Unicode are clamped rather than wrapped, so no digit string
        // can turn into markup such as "<".
        char32_t value = 0;
        for (qsizetype i = 2; i < ref.size() && ref[i] >= '0' && ref[i] <= '9'; ++i) {
            value = value * 10 + char32_t(ref[i] - '0');
            if (value > 0x10FFFF)
                return kNoCharacter;
        }
        return value;
    }
    if (ref.startsWith("&quot;"))
        return 34;
    if (ref.startsWith("&amp;"))
        return 38;
    if (ref.startsWith("&apos"))
        return 39;
    if (ref.startsWith("&lt;"))
        return 60;
    if (ref.startsWith("&gt;"))
        return 62;
    return 32;
}

// Raw bytes above 127 do not come from MP4Box, which writes references; a
// well-formed UTF-8 sequence is taken as its character, any other byte as itself.
qsizetype decodeRawByte(QByteArrayView s, qsizetype p, char32_t &cp)
{
    const uchar lead = uchar(s[p]);
    int extra = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        min = 0x10000;
    }
    cp = lead;
    if (extra == 0 || s.size() - p <= extra)
        return 1;
    char32_t value = lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        const uchar c = uchar(s[p + i]);
        if ((c & 0xC0) != 0x80)
            return 1;
        value = (value << 6) | (c & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 1;
    cp = value;
    return extra + 1;
}

std::optional<QByteArrayView> attributeValue(QByteArrayView element, QByteArrayView name)
{
    QByteArray pattern(name.data(), name.size());
    pattern += "=\"";
    const qsizetype at = element.indexOf(pattern);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + pattern.size();
    const qsizetype quote = element.indexOf('"', start);
    if (quote < 0)
        return std::nullopt;
    return element.sliced(start, quote - start);
}

// The leading decimal digits of a value; anything after them is ignored.
qint64 leadingNumber(QByteArrayView value)
{
    qint64 number = 0;
    for (qsizetype i = 0; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        number = number * 10 + (value[i] - '0');
        if (number > (qint64(1) << 40))
            break; // already past any text length
    }
    return number;
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

} // namespace

TimedTextSample::TimedTextSample(QByteArrayView content)
{
    decodeText(content);
    applyStyleElements(content);
}

void TimedTextSample::append(char16_t unit)
{
    m_text.push_back(unit);
    m_cells.emplace_back();
}

void TimedTextSample::erase(size_t from, size_t to)
{
    m_text.erase(from, to - from);
    m_cells.erase(m_cells.begin() + qsizetype(from), m_cells.begin() + qsizetype(to));
}

void TimedTextSample::decodeText(QByteArrayView content)
{
    const qsizetype end = content.size();
    qsizetype p = 0;
    while (p < end) {
        const uchar c = uchar(content[p]);
        if (c == '<')
            break;
        if (c == 0) {
            ++p;
        } else if (c == '\r' || c == '\n') {
            append(kNewline);
            ++p;
        } else if (c == '&') {
            const qsizetype semicolon = content.indexOf(';', p);
            const qsizetype refEnd = semicolon >= 0 ? semicolon + 1 : end;
            char32_t value = referenceValue(content.sliced(p, refEnd - p));
            if (value > 0xFFFF) {
                append(char16_t(0xD800 + ((value - 0x10000) >> 10)));
                append(char16_t(0xDC00 + ((value - 0x10000) & 0x3FF)));
            } else if (value != 0) {
                append(char16_t(value));
            }
            p = refEnd;
        } else if (c >= 0x80) {
            char32_t cp = 0;
            p += decodeRawByte(content, p, cp);
            if (cp > 0xFFFF) {
                append(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
                append(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            } else {
                append(char16_t(cp));
            }
        } else {
            append(c);
            ++p;
        }
    }
}

void TimedTextSample::applyStyleElements(QByteArrayView content)
{
    const qint64 n = qint64(m_text.size());
    qsizetype pos = 0;
    for (;;) {
        const qsizetype start = content.indexOf("<Style", pos);
        if (start < 0)
            break;
        const qsizetype close = content.indexOf("/>", start + 6);
        if (close < 0)
            break;
        pos = close + 2;
        const QByteArrayView element = content.sliced(start, close + 2 - start);

        const auto fromChar = attributeValue(element, "fromChar");
        const auto toChar = attributeValue(element, "toChar");
        if (!fromChar || !toChar)
            continue;
        const qint64 from = leadingNumber(*fromChar);
        const qint64 to = std::min(leadingNumber(*toChar), n);
        if (from >= to)
            continue;

        if (const auto styles = attributeValue(element, "styles")) {
            const bool bold = styles->contains("Bold");
            const bool italic = styles->contains("Ital");
            const bool underlined = styles->contains("Unde");
            for (qint64 i = from; i < to; ++i) {
                StyleCell &cell = m_cells[size_t(i)];
                cell.bold = cell.bold || bold;
                cell.italic = cell.italic || italic;
                cell.underlined = cell.underlined || underlined;
            }
        }
        if (const auto color = attributeValue(element, "color")) {
            const QByteArrayView v = *color;
            if (v.size() >= 11 && v[2] == ' ' && v[5] == ' ' && v[8] == ' ') {
                const std::array<char, 8> colour { v[0], v[1], v[3], v[4], v[6], v[7], v[9], v[10] };
                for (qint64 i = from; i < to; ++i)
                    m_cells[size_t(i)].colour = colour;
            }
        }
    }
}

void TimedTextSample::convertFontMarkup()
{
    constexpr auto npos = std::u16string::npos;
    for (;;) {
        const size_t n = m_text.size();
        if (n < 5)
            return;
        // The last opening tag first: each pairs with the first closing tag after
        // it, which makes nested tags pair correctly.
        size_t open = npos;
        for (size_t i = n - 5 + 1; i-- > 0;) {
            if (matchesIgnoringCase(m_text, i, u"<FONT")) {
                open = i;
                break;
            }
        }
        if (open == npos)
            return;
        size_t openEnd = m_text.find(u'>', open + 5);
        if (openEnd == npos)
            openEnd = n - 1;
        const size_t closeStart = findIgnoringCase(m_text, openEnd + 1, u"</FONT");
        size_t closeEnd = npos;
        if (closeStart != npos) {
            closeEnd = m_text.find(u'>', closeStart + 6);
            if (closeEnd == npos)
                closeEnd = n - 1;
        }
        const size_t spanEnd = closeStart != npos ? closeStart : n;

        const auto colour = colourFromFontTag(std::u16string_view(m_text).substr(open, openEnd - open + 1));
        if (colour) {
            const std::array<char, 8> opaque { (*colour)[0], (*colour)[1], (*colour)[2], (*colour)[3],
                (*colour)[4], (*colour)[5], 'f', 'f' };
            for (size_t i = openEnd + 1; i < spanEnd; ++i)
                m_cells[i].colour = opaque;
        }
        if (closeStart != npos)
            erase(closeStart, closeEnd + 1);
        erase(open, openEnd + 1);
    }
}

std::optional<std::array<char, 6>> TimedTextSample::colourFromFontTag(std::u16string_view tag)
{
    const size_t length = tag.size();
    if (length < 5)
        return std::nullopt;
    const size_t colorAt = findIgnoringCase(tag, 4, u"COLOR");
    if (colorAt == std::u16string_view::npos)
        return std::nullopt;
    size_t p = colorAt + 5;
    while (p < length && tag[p] == u' ')
        ++p;
    if (p >= length || tag[p] != u'=')
        return std::nullopt;
    ++p;
    while (p < length && tag[p] == u' ')
        ++p;

    std::string value;
    if (p < length && (tag[p] == u'\'' || tag[p] == u'"')) {
        const char16_t quote = tag[p++];
        for (; p < length && tag[p] != quote; ++p)
            value.push_back(char(tag[p] & 0xFF));
    } else {
        for (; p < length; ++p) {
            const char16_t u = tag[p];
            if (u == u' ' || u == u'/' || u == u'>' || u == u',' || u == u'!')
                break;
            value.push_back(char(u & 0xFF));
        }
    }

    std::array<char, 6> colour {};
    if (!value.empty() && value[0] == '#') {
        if (value.size() < 7)
            return std::nullopt;
        for (size_t i = 0; i < 6; ++i) {
            if (!isHexDigit(value[i + 1]))
                return std::nullopt;
            colour[i] = lowerAscii(value[i + 1]);
        }
        return colour;
    }

    std::string name;
    for (char c : value) {
        if (c != ' ' && c != '\t')
            name.push_back(c);
    }
    if (const char *known = ColourNameTable::lookup(name)) {
        std::copy_n(known, 6, colour.begin());
        return colour;
    }
    size_t digits = 0;
    for (char c : value) {
        if (isHexDigit(c)) {
            colour[digits++] = lowerAscii(c);
            if (digits == 6)
                return colour;
        }
    }
    return std::nullopt;
}

void TimedTextSample::tidy()
{
    // One pass that compacts text and cells together.
    const size_t n = m_text.size();
    size_t w = 0;
    size_t lineStart = 0;
    bool hasChar = false;
    bool hasNonSpace = false;
    for (size_t r = 0; r < n; ++r) {
        const char16_t u = m_text[r];
        if (u == kNewline) {
            if (!hasChar)
                continue; // empty line
            if (!hasNonSpace) {
                w = lineStart; // a line of spaces goes with its newline
                hasChar = false;
                continue;
            }
        }
        m_text[w] = u;
        m_cells[w] = m_cells[r];
        ++w;
        if (u == kNewline) {
            lineStart = w;
            hasChar = hasNonSpace = false;
        } else {
            hasChar = true;
            hasNonSpace = hasNonSpace || u != u' ';
        }
    }
    if (hasChar && !hasNonSpace)
        w = lineStart;
    if (w > 0 && m_text[w - 1] == kNewline)
        --w;
    m_text.resize(w);
    m_cells.resize(w);
}

void TimedTextSample::write(QByteArray &out, QByteArrayView fontSizeAttribute) const
{
    const size_t n = m_text.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t u = m_text[i];
        switch (u) {
        case 10:
        case 13:
            out += "\r\n";
            continue;
        case 34:
            out += "&quot;";
            continue;
        case 38:
            out += "&amp;";
            continue;
        case 39:
            out += "&apos;";
            continue;
        case 60:
            out += "&lt;";
            continue;
        case 62:
            out += "&gt;";
            continue;
        default:
            break;
        }
        if (u == 0 || u >= 127) {
            char32_t value = u;
            // A character beyond the 16-bit range is written as one reference, as
            // XML wants it; it still counts as two positions.
            if (isHighSurrogate(u) && i + 1 < n && isLowSurrogate(m_text[i + 1])) {
                value = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(m_text[i + 1]) - 0xDC00);
                ++i;
            }
            out += "&#";
            out += QByteArray::number(quint32(value));
            out += ';';
        } else {
            out += char(u);
        }
    }

    size_t from = 0;
    for (size_t i = 1; i <= n; ++i) {
        if (i < n && m_cells[i] == m_cells[from])
            continue;
        const StyleCell &cell = m_cells[from];
        if (!cell.isDefault()) {
            QByteArray styles;
            if (cell.bold)
                styles += "Bold";
            if (cell.italic)
                styles += styles.isEmpty() ? "Italic" : " Italic";
            if (cell.underlined)
                styles += styles.isEmpty() ? "Underlined" : " Underlined";
            if (styles.isEmpty())
                styles = "Normal";
            const auto &c = cell.colour;
            out += "<Style fromChar=\"";
            out += QByteArray::number(quint64(from));
            out += "\" toChar=\"";
            out += QByteArray::number(quint64(i));
            out += "\" styles=\"";
            out += styles;
            out += "\" fontID=\"1\" ";
            out += fontSizeAttribute;
            out += " color=\"";
            const char colourText[] = { c[0], c[1], ' ', c[2], c[3], ' ', c[4], c[5], ' ', c[6], c[7] };
            out.append(colourText, sizeof colourText);
            out += "\"/>";
        }
        from = i;
    }
}

void TimedTextSample::decodeReferences()
{
    constexpr size_t longest = 10; // "&#x10FFFF;"
    for (size_t i = 0; i < m_text.size(); ++i) {
        if (m_text[i] != u'&')
            continue;
        const size_t semicolon = m_text.find(u';', i + 1);
        if (semicolon == std::u16string::npos || semicolon - i > longest)
            continue;
        const std::u16string ref = m_text.substr(i, semicolon + 1 - i);
        const std::u16string value = srt::decodeCharacterReferences(ref, true);
        if (value == ref)
            continue;
        // One character (two units beyond the BMP) in place of the reference; it
        // keeps the style of the reference's first unit.
        for (size_t k = 0; k < value.size(); ++k)
            m_text[i + k] = value[k];
        if (value.size() == 2)
            m_cells[i + 1] = m_cells[i];
        erase(i + value.size(), semicolon + 1);
        i += value.size() - 1;
    }
}

void TimedTextSample::restyle(QByteArrayView content, QByteArrayView fontSizeAttribute, QByteArray &out)
{
    if (content.isEmpty())
        return;
    TimedTextSample sample(content);
    sample.convertFontMarkup();
    sample.decodeReferences();
    sample.tidy();
    sample.write(out, fontSizeAttribute);
}
