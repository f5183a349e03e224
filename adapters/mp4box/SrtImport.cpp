#include "SrtImport.h"

#include "Utf.h"

#include <algorithm>

namespace mp4box {
namespace {

    bool isBlank(std::u16string_view line)
    {
        return std::all_of(
            line.begin(), line.end(), [](char16_t c) { return c == u' ' || c == u'\t' || c == 0xFEFF; });
    }

    // Reads "H:MM:SS,mmm" (also with '.', and fewer fraction digits) at *i.
    bool readTime(std::u16string_view s, size_t *i, int64_t *ms)
    {
        int64_t fields[3];
        for (int f = 0; f < 3; ++f) {
            if (f > 0) {
                if (*i >= s.size() || s[*i] != u':')
                    return false;
                ++*i;
            }
            int64_t v = 0;
            int digits = 0;
            while (*i < s.size() && s[*i] >= u'0' && s[*i] <= u'9' && digits < 9) {
                v = v * 10 + (s[*i] - u'0');
                ++*i;
                ++digits;
            }
            if (digits == 0)
                return false;
            fields[f] = v;
        }
        int64_t frac = 0;
        if (*i < s.size() && (s[*i] == u',' || s[*i] == u'.')) {
            ++*i;
            int digits = 0;
            while (*i < s.size() && s[*i] >= u'0' && s[*i] <= u'9') {
                if (digits < 3) {
                    frac = frac * 10 + (s[*i] - u'0');
                    ++digits;
                }
                ++*i;
            }
            while (digits++ < 3)
                frac *= 10;
        }
        if (fields[1] > 59 || fields[2] > 59)
            return false;
        *ms = (fields[0] * 3600 + fields[1] * 60 + fields[2]) * 1000 + frac;
        return true;
    }

    bool parseTiming(std::u16string_view line, int64_t *start, int64_t *end)
    {
        size_t i = 0;
        auto skipSpaces = [&]() {
            while (i < line.size() && (line[i] == u' ' || line[i] == u'\t' || line[i] == 0xFEFF))
                ++i;
        };
        skipSpaces();
        if (!readTime(line, &i, start))
            return false;
        skipSpaces();
        if (line.substr(i, 3) != u"-->")
            return false;
        i += 3;
        skipSpaces();
        return readTime(line, &i, end);
    }

    bool isNumber(std::u16string_view line)
    {
        size_t digits = 0;
        for (char16_t c : line) {
            if (c >= u'0' && c <= u'9')
                ++digits;
            else if (c != u' ' && c != u'\t' && c != 0xFEFF)
                return false;
        }
        return digits > 0;
    }

    struct StyledText {
        std::u16string text;
        std::vector<uint8_t> flags; // bit 0 bold, 1 italic, 2 underlined
    };

    char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

    // Takes the <b>, <i>, <u> tags (and their closing forms) out of the text.
    StyledText applyBasicTags(std::u16string_view in)
    {
        StyledText out;
        int depth[3] = { 0, 0, 0 };
        for (size_t i = 0; i < in.size(); ++i) {
            if (in[i] == u'<') {
                const size_t gt = in.find(u'>', i);
                if (gt != std::u16string_view::npos && gt - i <= 4) {
                    std::u16string name;
                    for (size_t k = i + 1; k < gt; ++k) {
                        if (in[k] != u' ')
                            name.push_back(lower(in[k]));
                    }
                    const bool closing = !name.empty() && name[0] == u'/';
                    const std::u16string base = closing ? name.substr(1) : name;
                    int which = -1;
                    if (base == u"b")
                        which = 0;
                    else if (base == u"i")
                        which = 1;
                    else if (base == u"u")
                        which = 2;
                    if (which >= 0) {
                        depth[which] = closing ? std::max(0, depth[which] - 1) : depth[which] + 1;
                        i = gt;
                        continue;
                    }
                }
            }
            out.text.push_back(in[i]);
            out.flags.push_back(
                static_cast<uint8_t>((depth[0] ? 1 : 0) | (depth[1] ? 2 : 0) | (depth[2] ? 4 : 0)));
        }
        return out;
    }

    TimedTextSample makeSample(int64_t time, const std::u16string &rawText, const TimedTextStyle &base)
    {
        const StyledText st = applyBasicTags(rawText);
        TimedTextSample s;
        s.timeMs = time;
        s.text = st.text;
        for (size_t i = 0; i < st.flags.size();) {
            size_t j = i;
            while (j < st.flags.size() && st.flags[j] == st.flags[i])
                ++j;
            if (st.flags[i]) {
                TimedTextStyle style = base;
                style.fromChar = static_cast<int>(i);
                style.toChar = static_cast<int>(j);
                style.bold = st.flags[i] & 1;
                style.italic = st.flags[i] & 2;
                style.underlined = st.flags[i] & 4;
                s.styles.push_back(style);
            }
            i = j;
        }
        return s;
    }

} // namespace

std::u16string decodeSubtitleBytes(std::string_view bytes)
{
    auto byteAt = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF)
        return utf8ToUtf16(bytes.substr(3));
    if (bytes.size() >= 2
        && ((byteAt(0) == 0xFF && byteAt(1) == 0xFE) || (byteAt(0) == 0xFE && byteAt(1) == 0xFF))) {
        const bool little = byteAt(0) == 0xFF;
        std::u16string out;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const unsigned a = byteAt(i);
            const unsigned b = byteAt(i + 1);
            out.push_back(static_cast<char16_t>(little ? (b << 8 | a) : (a << 8 | b)));
        }
        return out;
    }
    if (isValidUtf8(bytes))
        return utf8ToUtf16(bytes);
    return latin1ToUtf16(bytes);
}

std::vector<SrtCue> parseSrt(std::u16string_view text)
{
    std::vector<std::u16string_view> lines;
    for (size_t i = 0; i <= text.size();) {
        size_t j = i;
        while (j < text.size() && text[j] != u'\n' && text[j] != u'\r')
            ++j;
        lines.push_back(text.substr(i, j - i));
        if (j >= text.size())
            break;
        if (text[j] == u'\r' && j + 1 < text.size() && text[j + 1] == u'\n')
            ++j;
        i = j + 1;
    }

    std::vector<SrtCue> cues;
    for (size_t i = 0; i < lines.size(); ++i) {
        SrtCue cue;
        if (!parseTiming(lines[i], &cue.startMs, &cue.endMs))
            continue;
        size_t k = i + 1;
        for (; k < lines.size(); ++k) {
            if (isBlank(lines[k]))
                break;
            // A missing blank line: the next cue's number and timing line follow at once.
            int64_t a, b;
            if (parseTiming(lines[k], &a, &b))
                break;
            if (isNumber(lines[k]) && k + 1 < lines.size() && parseTiming(lines[k + 1], &a, &b))
                break;
            if (!cue.text.empty())
                cue.text.push_back(u'\n');
            cue.text.append(lines[k]);
        }
        i = k - 1;
        if (cue.endMs > cue.startMs)
            cues.push_back(std::move(cue));
    }
    return cues;
}

TimedText srtToTimedText(std::vector<SrtCue> cues)
{
    TimedText tt;
    std::stable_sort(
        cues.begin(), cues.end(), [](const SrtCue &a, const SrtCue &b) { return a.startMs < b.startMs; });
    // Cues that start together share one sample: a track shows one sample at a time.
    std::vector<SrtCue> merged;
    for (auto &c : cues) {
        if (!merged.empty() && merged.back().startMs == c.startMs) {
            merged.back().text += u'\n';
            merged.back().text += c.text;
            merged.back().endMs = std::max(merged.back().endMs, c.endMs);
        } else {
            merged.push_back(std::move(c));
        }
    }
    int64_t shownUntil = 0;
    for (size_t i = 0; i < merged.size(); ++i) {
        const SrtCue &c = merged[i];
        if (c.startMs > shownUntil)
            tt.samples.push_back(TimedTextSample { shownUntil, {}, {} });
        tt.samples.push_back(makeSample(c.startMs, c.text, tt.header.defaultStyle));
        shownUntil = c.endMs;
        if (i + 1 < merged.size())
            shownUntil = std::min(shownUntil, merged[i + 1].startMs);
    }
    if (!merged.empty())
        tt.samples.push_back(TimedTextSample { shownUntil, {}, {} });
    return tt;
}

} // namespace mp4box
