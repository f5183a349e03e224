#include "subtitles/AssToSrtConverter.h"

#include "subtitles/SubtitleText.h"

#include <QList>

#include <algorithm>

namespace {

const QChar cr(u'\r');

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

// Lines end at a CR; a CR at the very end starts no further line.
QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf(cr, pos);
        if (end < 0)
            end = text.size();
        lines.append(text.sliced(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

QString withoutChar(QStringView s, QChar c)
{
    QString out;
    out.reserve(s.size());
    for (QChar x : s) {
        if (x != c)
            out.append(x);
    }
    return out;
}

// Runs of CRs become one and CRs at the end go.
void collapseBreaks(QString &s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : std::as_const(s)) {
        if (c == cr && !out.isEmpty() && out.back() == cr)
            continue;
        out.append(c);
    }
    while (!out.isEmpty() && out.back() == cr)
        out.chop(1);
    s = out;
}

QString colourTag(QStringView value)
{
    while (!value.isEmpty() && value.front() == u'&')
        value = value.sliced(1);
    while (!value.isEmpty() && value.back() == u'&')
        value.chop(1);
    const QString bgr = (QStringLiteral("000000") + value.toString()).right(6);
    return QStringLiteral("<font color=\"#") + bgr.mid(4, 2) + bgr.mid(2, 2) + bgr.mid(0, 2)
        + QStringLiteral("\">");
}

QString translateBlock(QStringView block)
{
    if (block == u"\\b0")
        return QStringLiteral("</b>");
    if (block.startsWith(u"\\b"))
        return QStringLiteral("<b>");
    if (block == u"\\i1")
        return QStringLiteral("<i>");
    if (block == u"\\i0")
        return QStringLiteral("</i>");
    if (block == u"\\u1")
        return QStringLiteral("<u>");
    if (block == u"\\u0")
        return QStringLiteral("</u>");
    if (block.startsWith(u"\\c")) {
        const QStringView value = block.sliced(2);
        if (!value.isEmpty() && value.front() == u'&' && value.back() == u'&')
            return colourTag(value);
    }
    return QString();
}

} // namespace

QString AssToSrtConverter::convertTime(QStringView assTime)
{
    const QString s = withoutChar(trimBlanks(assTime), QLatin1Char(' '));
    const qsizetype c1 = s.indexOf(u':');
    if (c1 < 0)
        return QString();
    const qsizetype c2 = s.indexOf(u':', c1 + 1);
    if (c2 < 0)
        return QString();
    const qsizetype dot = s.indexOf(u'.', c2 + 1);
    if (dot < 0)
        return QString();
    auto two = [](QStringView part) {
        QString p = part.toString();
        if (p.size() < 2)
            p = QString(2 - p.size(), QLatin1Char('0')) + p;
        return p.right(2);
    };
    QString fraction = s.mid(dot + 1);
    if (fraction.size() < 3)
        fraction += QString(3 - fraction.size(), QLatin1Char('0'));
    const QStringView v(s);
    return two(v.first(c1)) + QLatin1Char(':') + two(v.sliced(c1 + 1, c2 - c1 - 1)) + QLatin1Char(':')
        + two(v.sliced(c2 + 1, dot - c2 - 1)) + QLatin1Char(',') + fraction.left(3);
}

QString AssToSrtConverter::convertDialogueText(QStringView text)
{
    QString s;
    s.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size() && (text[i + 1] == u'n' || text[i + 1] == u'N')) {
            s.append(cr);
            ++i;
        } else if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'h') {
            s.append(QChar(0x00A0)); // the hard space
            ++i;
        } else {
            s.append(text[i]);
        }
    }
    collapseBreaks(s);

    // Override blocks, left to right. A block without its closing brace ends
    // the text there.
    QString out;
    out.reserve(s.size());
    qsizetype pos = 0;
    while (pos < s.size()) {
        const qsizetype open = s.indexOf(u'{', pos);
        if (open < 0) {
            out.append(QStringView(s).sliced(pos));
            break;
        }
        out.append(QStringView(s).sliced(pos, open - pos));
        const qsizetype close = s.indexOf(u'}', open + 1);
        if (close < 0)
            break;
        out.append(translateBlock(withoutChar(QStringView(s).sliced(open + 1, close - open - 1),
                                              QLatin1Char(' '))));
        pos = close + 1;
    }

    // Blanks at the end of each line go, then the breaks are tidied again.
    QString tidy;
    tidy.reserve(out.size());
    for (QChar c : std::as_const(out)) {
        if (c == cr) {
            while (!tidy.isEmpty() && tidy.back() == u' ')
                tidy.chop(1);
        }
        tidy.append(c);
    }
    collapseBreaks(tidy);
    // An empty cue would lose its text line; keep a harmless tag instead.
    if (tidy.isEmpty())
        return QStringLiteral("<b>");
    return tidy;
}

bool AssToSrtConverter::convertText(const QString &text, QString &srt)
{
    srt.clear();
    const QList<QStringView> lines = splitLines(text);
    qsizetype i = 0;
    while (i < lines.size() && lines[i] != u"[Events]")
        ++i;
    if (i == lines.size())
        return false;
    ++i;
    while (i < lines.size() && !lines[i].startsWith(u"Format:"))
        ++i;
    if (i == lines.size())
        return false;

    const QList<QStringView> names = trimBlanks(lines[i].sliced(7)).split(u',');
    qsizetype startIndex = -1;
    qsizetype endIndex = -1;
    qsizetype textIndex = -1;
    for (qsizetype k = names.size() - 1; k >= 0; --k) {
        const QStringView name = trimBlanks(names[k]);
        if (name == u"Start")
            startIndex = k;
        else if (name == u"End")
            endIndex = k;
        else if (name == u"Text")
            textIndex = k;
    }
    if (startIndex < 0 || endIndex < 0 || textIndex < 0)
        return false;
    const qsizetype lastNeeded = std::max({startIndex, endIndex, textIndex});

    int number = 0;
    for (++i; i < lines.size(); ++i) {
        if (!lines[i].startsWith(u"Dialogue:"))
            continue;
        QStringView rest = lines[i].sliced(9);
        while (!rest.isEmpty() && isBlank(rest.front()))
            rest = rest.sliced(1);

        // The Text field takes the whole remainder, commas included.
        QList<QStringView> fields(lastNeeded + 1);
        bool exhausted = false;
        for (qsizetype f = 0; f <= lastNeeded && !exhausted; ++f) {
            const qsizetype comma = rest.indexOf(u',');
            if (f == textIndex || comma < 0) {
                fields[f] = rest;
                exhausted = true;
            } else {
                fields[f] = rest.first(comma);
                rest = rest.sliced(comma + 1);
            }
        }

        const QStringView dialogue = trimBlanks(fields[textIndex]);
        if (dialogue.isEmpty())
            continue;
        srt += QString::number(++number);
        srt += cr;
        srt += convertTime(fields[startIndex]);
        srt += QLatin1StringView(" --> ");
        srt += convertTime(fields[endIndex]);
        srt += cr;
        srt += convertDialogueText(dialogue);
        srt += cr;
        srt += cr;
    }
    return true;
}

int AssToSrtConverter::Convert(const QString &sourcePath, const QString &targetPath)
{
    SubtitleText source;
    if (!source.Load(sourcePath, 0))
        return 0;
    SubtitleText out;
    if (!convertText(source.text, out.text))
        return 0;
    return out.Save(targetPath.isEmpty() ? sourcePath : targetPath) ? 1 : 0;
}
