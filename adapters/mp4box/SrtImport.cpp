#include "SrtImport.h"

#include "Utf.h"
#include "subtitles/SrtReading.h"

#include <algorithm>

namespace mp4box {
namespace {

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
    std::vector<SrtCue> cues;
    const srt::CueList list = srt::readCues(text);
    for (const srt::Cue &c : list.cues) {
        if (c.times.endMs <= c.times.startMs)
            continue;
        SrtCue cue;
        cue.startMs = c.times.startMs;
        cue.endMs = c.times.endMs;
        for (std::u16string_view line : list.linesOf(c)) {
            const std::u16string cleaned = srt::stripAssOverrides(line);
            if (cleaned.find_first_not_of(u" \t") == std::u16string::npos)
                continue;
            if (!cue.text.empty())
                cue.text.push_back(u'\n');
            cue.text += cleaned;
        }
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
