#include "AssExport.h"

#include "Utf.h"

#include <algorithm>
#include <cstdio>

namespace mp4box {
namespace {

    struct CellState {
        bool bold = false;
        bool italic = false;
        bool underlined = false;
        uint32_t rgba = 0xffffffffu;
        int fontSize = 18;
        int fontId = 1;

        bool operator==(const CellState &) const = default;
    };

    CellState stateOf(const TimedTextStyle &s)
    {
        return CellState { s.bold, s.italic, s.underlined, s.rgba, s.fontSize, s.fontId };
    }

    std::string assColour(uint32_t rgba)
    {
        char buf[16];
        std::snprintf(buf, sizeof buf, "&H%02X%02X%02X&", rgba >> 8 & 0xff, rgba >> 16 & 0xff, rgba >> 24);
        return buf;
    }

    std::string assStyleColour(uint32_t rgba)
    {
        char buf[16];
        std::snprintf(buf, sizeof buf, "&H%02X%02X%02X%02X", 255 - (rgba & 0xff), rgba >> 8 & 0xff,
            rgba >> 16 & 0xff, rgba >> 24);
        return buf;
    }

    std::string assTime(int64_t centis)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d.%02d", static_cast<int>(centis / 360000),
            static_cast<int>(centis / 6000 % 60), static_cast<int>(centis / 100 % 60),
            static_cast<int>(centis % 100));
        return buf;
    }

    std::string fontName(const TimedTextHeader &h, int id)
    {
        for (const auto &f : h.fonts) {
            if (f.id == id)
                return f.name;
        }
        return h.fonts.empty() ? std::string("Serif") : h.fonts.front().name;
    }

    std::string cleanStyleField(std::string s)
    {
        std::replace(s.begin(), s.end(), ',', ' ');
        return s.empty() ? "Serif" : s;
    }

    // The override codes that start a run in state `to` after state `from`. Every change
    // is stated explicitly: the encoder does not end a style run at a bare {\r}. And
    // ffmpeg's mov_text encoder starts each new style record from the track's default
    // style, not from the run before; so the changes come first (the first of them
    // opens the new record) and every attribute the run carries over follows.
    std::string runCodes(const CellState &from, const CellState &to, const CellState &def, const TimedTextHeader &h)
    {
        std::string changed, carried;
        auto add = [&](bool differsFromPrevious, bool differsFromDefault, const std::string &code) {
            if (differsFromPrevious)
                changed += code;
            else if (differsFromDefault)
                carried += code;
        };
        add(to.bold != from.bold, to.bold != def.bold, to.bold ? "\\b1" : "\\b0");
        add(to.italic != from.italic, to.italic != def.italic, to.italic ? "\\i1" : "\\i0");
        add(to.underlined != from.underlined, to.underlined != def.underlined, to.underlined ? "\\u1" : "\\u0");
        add((to.rgba & 0xffffff00u) != (from.rgba & 0xffffff00u), (to.rgba & 0xffffff00u) != (def.rgba & 0xffffff00u),
            "\\1c" + assColour(to.rgba));
        char alpha[16];
        std::snprintf(alpha, sizeof alpha, "\\1a&H%02X&", 255 - (to.rgba & 0xff));
        add((to.rgba & 0xff) != (from.rgba & 0xff), (to.rgba & 0xff) != (def.rgba & 0xff), alpha);
        add(to.fontSize != from.fontSize && to.fontSize > 0, to.fontSize != def.fontSize && to.fontSize > 0,
            "\\fs" + std::to_string(to.fontSize));
        add(to.fontId != from.fontId, to.fontId != def.fontId, "\\fn" + cleanStyleField(fontName(h, to.fontId)));
        return changed + carried;
    }

    std::string sampleToAss(const TimedTextSample &s, const TimedTextHeader &h)
    {
        const CellState def = stateOf(h.defaultStyle);
        const int n = static_cast<int>(s.text.size());
        std::vector<CellState> cells(static_cast<size_t>(n), def);
        for (const auto &st : s.styles) {
            const int from = std::max(0, st.fromChar);
            const int to = std::min(n, st.toChar);
            for (int i = from; i < to; ++i)
                cells[static_cast<size_t>(i)] = stateOf(st);
        }
        std::string out;
        CellState shown = def;
        for (int i = 0; i < n; ++i) {
            const CellState &st = cells[static_cast<size_t>(i)];
            if (!(st == shown)) {
                out += "{" + runCodes(shown, st, def, h) + "}";
                shown = st;
            }
            const char16_t c = s.text[static_cast<size_t>(i)];
            const char16_t next = i + 1 < n ? s.text[static_cast<size_t>(i + 1)] : 0;
            if (c == u'\n') {
                out += "\\N";
                continue;
            }
            std::u16string unit(1, c);
            if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                unit.push_back(next);
                ++i;
            }
            out += utf16ToUtf8(unit);
            // "{\" would open an override block and "\n", "\N" would break the line: a
            // block that changes nothing, between the two characters, keeps them text.
            if ((c == u'{' && next == u'\\') || (c == u'\\' && (next == u'n' || next == u'N')))
                out += shown.bold ? "{\\b1}" : "{\\b0}";
        }
        return out;
    }

} // namespace

int64_t timedTextEndMs(const TimedText &tt)
{
    int64_t end = 0;
    for (size_t i = 0; i < tt.samples.size(); ++i) {
        const auto &s = tt.samples[i];
        if (s.text.empty())
            continue;
        end = std::max(end, i + 1 < tt.samples.size() ? tt.samples[i + 1].timeMs : s.timeMs + kLastSampleMs);
    }
    return end;
}

std::vector<AssEvent> timedTextEvents(const TimedText &ttIn)
{
    TimedText tt = ttIn;
    std::stable_sort(tt.samples.begin(), tt.samples.end(),
        [](const TimedTextSample &a, const TimedTextSample &b) { return a.timeMs < b.timeMs; });
    std::vector<AssEvent> events;
    for (size_t i = 0; i < tt.samples.size(); ++i) {
        const auto &s = tt.samples[i];
        if (s.text.empty())
            continue;
        const int64_t endMs = i + 1 < tt.samples.size() ? tt.samples[i + 1].timeMs : s.timeMs + kLastSampleMs;
        // ASS counts centiseconds.
        const int64_t start = (s.timeMs + 5) / 10;
        const int64_t end = (endMs + 5) / 10;
        if (end <= start)
            continue;
        events.push_back({ start, end, sampleToAss(s, tt.header) });
    }
    return events;
}

std::string assDefaultFontName(const TimedTextHeader &h) { return cleanStyleField(fontName(h, h.defaultStyle.fontId)); }

int assDefaultFontSize(const TimedTextHeader &h) { return h.defaultStyle.fontSize > 0 ? h.defaultStyle.fontSize : 18; }

std::string timedTextToAss(const TimedText &tt)
{
    const TimedTextHeader &h = tt.header;
    const TimedTextStyle &d = h.defaultStyle;
    int alignment = h.horizontalJustification == 0 ? 1 : h.horizontalJustification == -1 ? 3 : 2;
    if (h.verticalJustification == 1)
        alignment += 3;
    else if (h.verticalJustification == 0)
        alignment += 6;

    std::string out = "[Script Info]\nScriptType: v4.00+\nPlayResX: 384\nPlayResY: 288\nWrapStyle: 0\n\n";
    out += "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
           "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, "
           "Outline, "
           "Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n";
    out += "Style: Default," + assDefaultFontName(h) + "," + std::to_string(assDefaultFontSize(h)) + ","
        + assStyleColour(d.rgba) + "," + assStyleColour(d.rgba) + ",&H00000000," + assStyleColour(h.backRgba) + ","
        + (d.bold ? "-1" : "0") + "," + (d.italic ? "-1" : "0") + "," + (d.underlined ? "-1" : "0")
        + ",0,100,100,0,0,1,0,0," + std::to_string(alignment) + ",0,0,0,1\n\n";
    out += "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    for (const auto &e : timedTextEvents(tt))
        out += "Dialogue: 0," + assTime(e.startCs) + "," + assTime(e.endCs) + ",Default,,0,0,0,," + e.text + "\n";
    return out;
}

} // namespace mp4box
