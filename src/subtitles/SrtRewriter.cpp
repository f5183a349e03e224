#include "subtitles/SrtRewriter.h"

#include "subtitles/SrtReading.h"
#include "subtitles/SubtitleText.h"

namespace {

const QChar cr(u'\r');

QString formatTime(int64_t ms)
{
    if (ms < 0)
        ms = 0;
    return QString::asprintf("%02lld:%02lld:%02lld,%03lld", static_cast<long long>(ms / 3600000),
                             static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                             static_cast<long long>(ms % 1000));
}

// One text line as the later steps want it: ASS overrides gone, character references
// decoded (those for '<', '>' and '&' stay references, so they remain text).
QString cleanLine(std::u16string_view line)
{
    if (line.find_first_of(u"&{\\") == std::u16string_view::npos)
        return QString::fromUtf16(line.data(), qsizetype(line.size()));
    const std::u16string text = srt::decodeCharacterReferences(srt::stripAssOverrides(line));
    return QString::fromStdU16String(text);
}

} // namespace

int SrtRewriter::rewriteText(const QString &text, QString &srt)
{
    srt.clear();
    const std::u16string_view view(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
    int number = 0;
    for (const srt::Cue &cue : srt::readCues(view)) {
        srt += QString::number(++number);
        srt += cr;
        srt += formatTime(cue.times.startMs);
        srt += QLatin1StringView(" --> ");
        srt += formatTime(cue.times.endMs);
        srt += cr;
        for (std::u16string_view line : cue.lines) {
            const QString cleaned = cleanLine(line);
            // A line that held only an override block would end the cue early.
            if (cleaned.trimmed().isEmpty())
                continue;
            srt += cleaned;
            srt += cr;
        }
        srt += cr;
    }
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
