#pragma once

// The one SubRip reader of the program, shared by the SRT rewriter and the MP4Box
// adapter's SRT import. Header only and free of Qt, so that the adapters, which link
// nothing of the engine, compile the same code.
//
// It reads SRT as players do rather than as the format is written down: a timing line
// is any line that starts with "start --> end", whatever follows; hours have any number
// of digits, the fraction is separated by ',' or '.', and has any number of digits;
// blanks may stand around the numbers and the arrow; lines end in CR LF, CR or LF.
// A cue's text is every non-blank line up to the next timing line, except the next
// cue's number standing right before it. A cue whose timing line cannot be read (a
// line with "-->" that is no timing line) is skipped with its number and text.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace srt {

struct CueTimes
{
    int64_t startMs = 0;
    int64_t endMs = 0;
};

// A cue's text lines are lines[first] to lines[first + count - 1] of its CueList.
struct Cue
{
    CueTimes times;
    size_t first = 0;
    size_t count = 0;
};

struct CueList
{
    std::vector<Cue> cues;
    std::vector<std::u16string_view> lines; // views into the text read

    std::span<const std::u16string_view> linesOf(const Cue &cue) const { return { lines.data() + cue.first, cue.count }; }
};

namespace detail {

    inline bool isBlankUnit(char16_t c) { return c == u' ' || c == u'\t' || c == 0xFEFF || c == 0; }

    inline bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

    inline void skipBlanks(std::u16string_view s, size_t *i)
    {
        while (*i < s.size() && isBlankUnit(s[*i]))
            ++*i;
    }

    // Up to 9 digits; more are read and ignored so that a long run cannot overflow.
    inline bool readNumber(std::u16string_view s, size_t *i, int64_t *value)
    {
        skipBlanks(s, i);
        int64_t v = 0;
        int digits = 0;
        while (*i < s.size() && isDigit(s[*i])) {
            if (digits < 9)
                v = v * 10 + (s[*i] - u'0');
            ++digits;
            ++*i;
        }
        *value = v;
        return digits > 0;
    }

    // "H:M:S" with an optional ",fff" or ".fff"; the fraction is a decimal fraction of a
    // second (",5" is 500 ms), cut to milliseconds.
    inline bool readTime(std::u16string_view s, size_t *i, int64_t *ms)
    {
        int64_t f[3];
        for (int k = 0; k < 3; ++k) {
            if (k > 0) {
                skipBlanks(s, i);
                if (*i >= s.size() || s[*i] != u':')
                    return false;
                ++*i;
            }
            if (!readNumber(s, i, &f[k]))
                return false;
        }
        int64_t frac = 0;
        if (*i < s.size() && (s[*i] == u',' || s[*i] == u'.')) {
            ++*i;
            skipBlanks(s, i);
            int digits = 0;
            while (*i < s.size() && isDigit(s[*i])) {
                if (digits < 3) {
                    frac = frac * 10 + (s[*i] - u'0');
                    ++digits;
                }
                ++*i;
            }
            while (digits > 0 && digits < 3) {
                frac *= 10;
                ++digits;
            }
        }
        *ms = (f[0] * 3600 + f[1] * 60 + f[2]) * 1000 + frac;
        return true;
    }

    inline bool isBlankLine(std::u16string_view line)
    {
        for (char16_t c : line) {
            if (!isBlankUnit(c))
                return false;
        }
        return true;
    }

    inline bool isNumberLine(std::u16string_view line)
    {
        bool digit = false;
        for (char16_t c : line) {
            if (isDigit(c))
                digit = true;
            else if (!isBlankUnit(c))
                return false;
        }
        return digit;
    }

    inline std::u16string_view trimmed(std::u16string_view s)
    {
        size_t a = 0, b = s.size();
        while (a < b && isBlankUnit(s[a]))
            ++a;
        while (b > a && isBlankUnit(s[b - 1]))
            --b;
        return s.substr(a, b - a);
    }

} // namespace detail

// Reads a timing line. textAfter, when given, receives text that follows the end time
// on the same line (trimmed); position coordinates ("X1:... X2:...") are not text.
inline bool parseTimingLine(std::u16string_view line, CueTimes *t, std::u16string_view *textAfter = nullptr)
{
    size_t i = 0;
    if (!detail::readTime(line, &i, &t->startMs))
        return false;
    detail::skipBlanks(line, &i);
    if (line.substr(i, 3) != u"-->")
        return false;
    i += 3;
    if (!detail::readTime(line, &i, &t->endMs))
        return false;
    if (textAfter) {
        std::u16string_view rest = detail::trimmed(line.substr(i));
        const bool coordinates = rest.size() >= 3 && (rest[0] == u'X' || rest[0] == u'x') && rest[1] == u'1'
            && rest[2] == u':';
        *textAfter = coordinates ? std::u16string_view() : rest;
    }
    return true;
}

// Every cue of the text in file order, times as written (an end before its start is
// kept; the caller decides). A cue without a text line is kept too. Lines end at CR LF,
// CR or LF.
inline CueList readCues(std::u16string_view text)
{
    CueList list;
    list.cues.reserve(text.size() / 64);
    list.lines.reserve(text.size() / 32);
    bool open = false; // text lines belong to the last cue
    // A number line is held back until the next line shows whether it was the next
    // cue's number (a timing line follows) or text.
    std::u16string_view held;
    auto flushHeld = [&]() {
        if (open && !held.empty()) {
            list.lines.push_back(held);
            ++list.cues.back().count;
        }
        held = {};
    };
    for (size_t i = 0; i < text.size();) {
        size_t j = i;
        while (j < text.size() && text[j] != u'\n' && text[j] != u'\r')
            ++j;
        const std::u16string_view line = text.substr(i, j - i);
        if (j < text.size() && text[j] == u'\r' && j + 1 < text.size() && text[j + 1] == u'\n')
            ++j;
        i = j + 1;

        Cue cue;
        std::u16string_view after;
        if (parseTimingLine(line, &cue.times, &after)) {
            held = {}; // the number of this cue
            cue.first = list.lines.size();
            if (!after.empty()) {
                list.lines.push_back(after);
                cue.count = 1;
            }
            list.cues.push_back(cue);
            open = true;
            continue;
        }
        if (detail::isBlankLine(line))
            continue;
        if (line.find(u"-->") != std::u16string_view::npos) {
            // A timing line that cannot be read: that cue, number and text, is skipped.
            held = {};
            open = false;
            continue;
        }
        flushHeld();
        if (detail::isNumberLine(line)) {
            held = line;
            continue;
        }
        if (open) {
            list.lines.push_back(line);
            ++list.cues.back().count;
        }
    }
    flushHeld();
    return list;
}

// ASS override blocks ("{\an8}", "{\i1}") that files converted from ASS carry inside
// SRT text: "{\...}" blocks are removed, "\h" becomes a no-break space. Braces that
// do not open with a backslash are text.
inline std::u16string stripAssOverrides(std::u16string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'{' && i + 1 < s.size() && s[i + 1] == u'\\') {
            const size_t close = s.find(u'}', i + 2);
            if (close != std::u16string_view::npos) {
                i = close;
                continue;
            }
        }
        if (s[i] == u'\\' && i + 1 < s.size() && s[i + 1] == u'h') {
            out.push_back(0x00A0);
            ++i;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

namespace detail {

    inline void appendCodePoint(std::u16string *out, char32_t c)
    {
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(c));
        }
    }

    inline char16_t lowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

    struct NamedReference
    {
        std::u16string_view name;
        char16_t value;
    };

    // The names real subtitle files use.
    inline constexpr NamedReference kNamedReferences[] = {
        { u"lt", u'<' },        { u"gt", u'>' },        { u"amp", u'&' },
        { u"nbsp", u' ' },      { u"quot", u'"' },      { u"apos", u'\'' },     { u"hellip", 0x2026 },
        { u"mdash", 0x2014 },   { u"ndash", 0x2013 },   { u"lsquo", 0x2018 },   { u"rsquo", 0x2019 },
        { u"ldquo", 0x201C },   { u"rdquo", 0x201D },   { u"middot", 0x00B7 },  { u"laquo", 0x00AB },
        { u"raquo", 0x00BB },   { u"copy", 0x00A9 },    { u"reg", 0x00AE },     { u"trade", 0x2122 },
    };

} // namespace detail

// Character references of subtitle text ("&quot;", "&#54620;", "&#xD55C;", "&nbsp;" and a
// few other names, in any case) become their characters. "&lt;", "&gt;" and "&amp;" (and
// references to those characters) stay, written in lower case, unless decodeMarkup is
// set: in SRT text they are what keeps a literal '<' apart from a tag. A reference to a
// control character, and anything unknown, stays as it is.
inline std::u16string decodeCharacterReferences(std::u16string_view s, bool decodeMarkup = false)
{
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != u'&') {
            out.push_back(s[i]);
            continue;
        }
        size_t j = i + 1;
        char32_t value = 0;
        bool known = false;
        if (j < s.size() && s[j] == u'#') {
            ++j;
            const bool hex = j < s.size() && (s[j] == u'x' || s[j] == u'X');
            if (hex)
                ++j;
            const size_t first = j;
            while (j < s.size() && j - first < 8) {
                const char16_t c = detail::lowerAscii(s[j]);
                int d = -1;
                if (c >= u'0' && c <= u'9')
                    d = c - u'0';
                else if (hex && c >= u'a' && c <= u'f')
                    d = c - u'a' + 10;
                if (d < 0)
                    break;
                value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
                ++j;
            }
            known = j > first && j < s.size() && s[j] == u';' && value >= 32 && value <= 0x10FFFF
                && !(value >= 0xD800 && value <= 0xDFFF);
        } else {
            const size_t first = j;
            while (j < s.size() && j - first < 8 && ((s[j] >= u'a' && s[j] <= u'z') || (s[j] >= u'A' && s[j] <= u'Z')))
                ++j;
            if (j < s.size() && s[j] == u';') {
                std::u16string name;
                for (size_t k = first; k < j; ++k)
                    name.push_back(detail::lowerAscii(s[k]));
                for (const auto &r : detail::kNamedReferences) {
                    if (name == r.name) {
                        value = r.value;
                        known = true;
                    }
                }
            }
        }
        if (!known) {
            out.push_back(s[i]);
            continue;
        }
        i = j; // the ';'
        if (!decodeMarkup && (value == u'<' || value == u'>' || value == u'&'))
            out += value == u'<' ? u"&lt;" : value == u'>' ? u"&gt;" : u"&amp;";
        else
            detail::appendCodePoint(&out, value);
    }
    return out;
}

} // namespace srt
