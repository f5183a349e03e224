#include "subtitles/SrtRewriter.h"

#include "subtitles/SubtitleText.h"

namespace {

const QChar cr(u'\r');

bool isTimingLineAt(QStringView text, qsizetype p)
{
    if (p < 0 || p + SrtRewriter::timingLineLength > text.size())
        return false;
    static const char pattern[] = "dd:dd:dd,ddd --> dd:dd:dd,ddd\r";
    static_assert(sizeof(pattern) - 1 == SrtRewriter::timingLineLength);
    for (qsizetype k = 0; k < SrtRewriter::timingLineLength; ++k) {
        const char16_t u = text[p + k].unicode();
        if (pattern[k] == 'd') {
            if (u < u'0' || u > u'9')
                return false;
        } else if (u != char16_t(pattern[k])) {
            return false;
        }
    }
    return true;
}

qsizetype findTimingLine(QStringView text, qsizetype from)
{
    for (qsizetype p = from; p + SrtRewriter::timingLineLength <= text.size(); ++p) {
        if (isTimingLineAt(text, p))
            return p;
    }
    return -1;
}

} // namespace

int SrtRewriter::rewriteText(const QString &text, QString &srt)
{
    srt.clear();
    const QStringView view(text);
    const qsizetype n = view.size();
    int number = 0;
    qsizetype p = findTimingLine(view, 0);
    while (p >= 0) {
        srt += QString::number(++number);
        srt += cr;
        srt += view.sliced(p, timingLineLength);
        qsizetype q = p + timingLineLength;
        while (q < n && view[q] == cr)
            ++q; // blank lines before the text
        qsizetype r = q;
        while (r + 1 < n && !(view[r] == cr && view[r + 1] == cr))
            ++r;
        if (r + 1 < n) {
            // The text lines, the CR ending the last one and one blank line.
            srt += view.sliced(q, r + 2 - q);
            p = findTimingLine(view, r + 2);
        } else {
            srt += view.sliced(q);
            if (!srt.endsWith(cr))
                srt += cr;
            srt += cr;
            break;
        }
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
