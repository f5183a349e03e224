#include "subtitles/SrtRewriter.h"

#include "subtitles/SrtReading.h"
#include "subtitles/SubtitleText.h"

#include <string>

namespace {

// Writes the output through a cursor into a buffer sized once: a cue is a dozen
// small pieces, and appending them one by one cost more than reading the file.
class Writer
{
public:
    explicit Writer(char16_t *at) : m_at(at) {}

    void put(char16_t c) { *m_at++ = c; }
    void put(std::u16string_view s)
    {
        std::char_traits<char16_t>::copy(m_at, s.data(), s.size());
        m_at += s.size();
    }
    void number(int64_t n)
    {
        char16_t digits[20];
        int k = 0;
        do {
            digits[k++] = char16_t(u'0' + n % 10);
            n /= 10;
        } while (n > 0);
        while (k > 0)
            put(digits[--k]);
    }
    // "HH:MM:SS,mmm"; more hour digits when needed.
    void time(int64_t ms)
    {
        if (ms < 0)
            ms = 0;
        const int64_t hours = ms / 3600000;
        if (hours < 10)
            put(u'0');
        number(hours);
        put(u':');
        two(ms / 60000 % 60);
        put(u':');
        two(ms / 1000 % 60);
        put(u',');
        put(char16_t(u'0' + ms % 1000 / 100));
        two(ms % 100);
    }
    char16_t *at() const { return m_at; }

private:
    void two(int64_t v)
    {
        put(char16_t(u'0' + v / 10));
        put(char16_t(u'0' + v % 10));
    }

    char16_t *m_at;
};

// A header is at most a 10-digit number, two times of up to 15 units, the arrow and
// two line breaks.
constexpr size_t kLongestHeader = 64;

} // namespace

int SrtRewriter::rewriteText(const QString &text, QString &srt)
{
    srt.clear();
    const std::u16string_view view(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
    const srt::CueList list = srt::readCues(view);
    // Cleaning a line never makes it longer, so the text read bounds what is written.
    srt = QString(qsizetype(view.size() + list.cues.size() * kLongestHeader + list.lines.size() + 1), Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(srt.data());
    Writer w(begin);
    int number = 0;
    for (const srt::Cue &cue : list.cues) {
        w.number(++number);
        w.put(u'\r');
        w.time(cue.times.startMs);
        w.put(u" --> ");
        w.time(cue.times.endMs);
        w.put(u'\r');
        for (std::u16string_view line : list.linesOf(cue)) {
            // ASS override blocks go, character references are decoded (those for '<',
            // '>' and '&' stay references, so they remain text). A line that held only
            // an override block would end the cue early, so it is left out.
            if (line.find_first_of(u"&{\\") != std::u16string_view::npos) {
                const std::u16string cleaned = srt::decodeCharacterReferences(srt::stripAssOverrides(line));
                if (srt::detail::isBlankLine(cleaned))
                    continue;
                w.put(cleaned);
            } else {
                w.put(line); // the reader hands on no blank line
            }
            w.put(u'\r');
        }
        w.put(u'\r');
    }
    srt.truncate(w.at() - begin);
    return number;
}

QString SrtRewriter::outputPathFor(const QString &sourcePath, const QString &outputFolder)
{
    QString name = sourcePath;
    if (name.endsWith(QLatin1StringView(".srt"), Qt::CaseInsensitive))
        name.chop(4);
    name += QLatin1StringView(".UTF8.srt");
    return outputFolder + name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
}

int SrtRewriter::Rewrite(const QString &sourcePath, QString &outputPath, const QString &outputFolder,
                         int codePage)
{
    SubtitleText source;
    if (!source.Load(sourcePath, codePage))
        return 0;
    outputPath = outputPathFor(sourcePath, outputFolder);
    SubtitleText out;
    if (rewriteText(source.text, out.text) == 0)
        return 0;
    return out.Save(outputPath) ? 1 : 0;
}
