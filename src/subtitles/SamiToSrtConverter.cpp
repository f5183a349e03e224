#include "subtitles/SamiToSrtConverter.h"

#include "subtitles/SrtReading.h"
#include "subtitles/SubtitleText.h"

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

const QChar cr(u'\r');

// Case-insensitive ASCII match of word at text[pos..], never reading past the end.
bool hasWordAt(QStringView text, qsizetype pos, QLatin1StringView word)
{
    if (pos < 0 || pos + word.size() > text.size())
        return false;
    return text.sliced(pos, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

bool isAsciiAlnum(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

struct Tag
{
    qsizetype start; // the '<'
    qsizetype end;   // its first '>'
};

// Every decimal digit of the tag, run together. Saturates instead of wrapping
// so that an absurd time still sorts after every real one.
quint32 syncTime(QStringView text, const Tag &tag)
{
    std::uint64_t value = 0;
    for (qsizetype i = tag.start; i <= tag.end; ++i) {
        const char16_t u = text[i].unicode();
        if (u >= u'0' && u <= u'9')
            value = std::min<std::uint64_t>(value * 10 + (u - u'0'), UINT32_MAX);
    }
    return static_cast<quint32>(value);
}

// The value of the tag's "class" attribute, its ASCII letters and digits only, so that
// other attributes ("<P Class=KRCC Style=...>") never become part of the name. A tag
// with no attribute at all keeps the old reading (its letters and digits after the
// "P"); one with other attributes but no class has the empty class.
QString paragraphClass(QStringView text, const Tag &tag)
{
    const QStringView inside = text.sliced(tag.start + 2, tag.end - tag.start - 2);
    auto alnumOf = [](QStringView v) {
        QString name;
        for (QChar c : v) {
            if (isAsciiAlnum(c))
                name.append(c);
        }
        return name;
    };
    for (qsizetype at = 0; at + 5 <= inside.size(); ++at) {
        if ((inside[at] != u'c' && inside[at] != u'C') || !hasWordAt(inside, at, QLatin1StringView("class")))
            continue;
        if (at > 0 && isAsciiAlnum(inside[at - 1]))
            continue;
        qsizetype i = at + 5;
        while (i < inside.size() && inside[i].isSpace())
            ++i;
        if (i >= inside.size() || inside[i] != u'=') {
            if (inside.indexOf(u'=') < 0)
                break; // "<P class KRCC>": no attributes, the old reading
            continue;
        }
        ++i;
        while (i < inside.size() && inside[i].isSpace())
            ++i;
        qsizetype end = i;
        if (i < inside.size() && (inside[i] == u'"' || inside[i] == u'\'')) {
            const QChar quote = inside[i++];
            end = inside.indexOf(quote, i);
            if (end < 0)
                end = inside.size();
        } else {
            while (end < inside.size() && !inside[end].isSpace() && inside[end] != u'/')
                ++end;
        }
        return alnumOf(inside.sliced(i, end - i));
    }
    if (inside.indexOf(u'=') >= 0)
        return QString();
    QString name = alnumOf(inside);
    if (name.startsWith(QLatin1StringView("class"), Qt::CaseInsensitive))
        name.remove(0, 5);
    return name;
}

// The tags of the body (a tag is a '<' with a '>' somewhere after it).
struct BodyTags
{
    std::vector<Tag> syncs;
    std::vector<Tag> paragraphs;
};

BodyTags scanTags(QStringView body)
{
    BodyTags tags;
    qsizetype gt = -1; // first '>' at or after the current '<'
    for (qsizetype i = body.indexOf(u'<'); i >= 0; i = body.indexOf(u'<', i + 1)) {
        if (gt <= i) {
            gt = body.indexOf(u'>', i + 1);
            if (gt < 0)
                break; // no later '<' can start a tag either
        }
        if (hasWordAt(body, i + 1, QLatin1StringView("sync")))
            tags.syncs.push_back({i, gt});
        else if (i + 1 < body.size() && (body[i + 1] == u'p' || body[i + 1] == u'P'))
            tags.paragraphs.push_back({i, gt});
    }
    return tags;
}

// Where the body ends: the '<' of the first "/body" or "/sami" tag after the
// first sync tag, or the end of the text.
qsizetype bodyEnd(QStringView text)
{
    qsizetype from = 0;
    for (qsizetype i = text.indexOf(u'<'); i >= 0; i = text.indexOf(u'<', i + 1)) {
        if (hasWordAt(text, i + 1, QLatin1StringView("sync"))) {
            const qsizetype gt = text.indexOf(u'>', i + 1);
            if (gt >= 0)
                from = gt;
            break;
        }
    }
    qsizetype gt = -1;
    for (qsizetype i = text.indexOf(u'<', from); i >= 0; i = text.indexOf(u'<', i + 1)) {
        if (gt <= i) {
            gt = text.indexOf(u'>', i + 1);
            if (gt < 0)
                break;
        }
        if (hasWordAt(text, i + 1, QLatin1StringView("/body"))
            || hasWordAt(text, i + 1, QLatin1StringView("/sami")))
            return i;
    }
    return text.size();
}

// HTML comments go before anything else reads the text: a comment may hold a whole
// sync tag, or a '>' that would end a tag early. An unclosed comment is left alone.
QString withoutComments(const QString &text)
{
    qsizetype open = text.indexOf(QLatin1StringView("<!--"));
    if (open < 0)
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    while (open >= 0) {
        const qsizetype close = text.indexOf(QLatin1StringView("-->"), open + 4);
        if (close < 0)
            break;
        out += QStringView(text).sliced(from, open - from);
        from = close + 3;
        open = text.indexOf(QLatin1StringView("<!--"), from);
    }
    out += QStringView(text).sliced(from);
    return out;
}

void appendDecoded(QString &out, QStringView chunk)
{
    if (!chunk.contains(u'&')) {
        out.append(chunk);
        return;
    }
    const std::u16string_view view(reinterpret_cast<const char16_t *>(chunk.utf16()), size_t(chunk.size()));
    out.append(QString::fromStdU16String(srt::decodeCharacterReferences(view)));
}

QString tagReplacement(QStringView inside)
{
    inside = inside.trimmed();
    if (inside.isEmpty())
        return QString();
    auto begins = [inside](const char *word) {
        return inside.startsWith(QLatin1StringView(word), Qt::CaseInsensitive);
    };
    if (begins("br"))
        return QString(cr);
    if (begins("b"))
        return QStringLiteral("<b>");
    if (begins("i"))
        return QStringLiteral("<i>");
    if (begins("u"))
        return QStringLiteral("<u>");
    if (inside.size() == 1)
        return QString();
    if (begins("/b"))
        return QStringLiteral("</b>");
    if (begins("/i"))
        return QStringLiteral("</i>");
    if (begins("/u"))
        return QStringLiteral("</u>");
    if (begins("font"))
        return QStringLiteral("<font ") + inside.sliced(4).trimmed().toString() + QLatin1Char('>');
    if (begins("/font"))
        return QStringLiteral("</font>");
    return QString();
}

// "&nbsp;" and "&nbsp" in any case become a space.
QString replaceNbsp(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && hasWordAt(text, i + 1, QLatin1StringView("nbsp"))) {
            out.append(QLatin1Char(' '));
            i += 4;
            if (i + 1 < text.size() && text[i + 1] == u';')
                ++i;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

enum class Token { Blank, Other, OpenI, CloseI, OpenB, CloseB, OpenU, CloseU, OpenFont, CloseFont };

bool isOpening(Token t)
{
    return t == Token::OpenI || t == Token::OpenB || t == Token::OpenU || t == Token::OpenFont;
}

Token closingOf(Token open)
{
    switch (open) {
    case Token::OpenI: return Token::CloseI;
    case Token::OpenB: return Token::CloseB;
    case Token::OpenU: return Token::CloseU;
    case Token::OpenFont: return Token::CloseFont;
    default: return Token::Other;
    }
}

// Removes formatting pairs that enclose only blanks (code 32 or less), and
// opening tags followed only by blanks up to the end, until none is left.
// Removing one pair can empty the pair around it, so this is done with a
// stack in one pass rather than by rescanning the text until nothing changes.
QString removeEmptyPairs(const QString &text)
{
    struct Piece
    {
        Token kind;
        qsizetype start;
        qsizetype length;
        bool removed;
    };
    std::vector<Piece> pieces;
    std::vector<std::size_t> nonBlank; // pieces still standing that are not blank
    const QStringView view(text);
    const qsizetype n = view.size();

    auto closeOrPush = [&](Token kind, qsizetype start, qsizetype length) {
        if (!isOpening(kind) && kind != Token::Other && !nonBlank.empty()) {
            Piece &top = pieces[nonBlank.back()];
            if (isOpening(top.kind) && closingOf(top.kind) == kind) {
                top.removed = true;
                nonBlank.pop_back();
                return;
            }
        }
        pieces.push_back({kind, start, length, false});
        nonBlank.push_back(pieces.size() - 1);
    };

    for (qsizetype i = 0; i < n;) {
        const QChar c = view[i];
        if (c.unicode() <= 32) {
            pieces.push_back({Token::Blank, i, 1, false});
            ++i;
            continue;
        }
        if (c == u'<') {
            static const struct { const char *text; Token kind; } fixed[] = {
                {"<i>", Token::OpenI}, {"</i>", Token::CloseI},
                {"<b>", Token::OpenB}, {"</b>", Token::CloseB},
                {"<u>", Token::OpenU}, {"</u>", Token::CloseU},
                {"</font>", Token::CloseFont},
            };
            bool matched = false;
            for (const auto &f : fixed) {
                const QLatin1StringView word(f.text);
                if (view.sliced(i).startsWith(word)) {
                    closeOrPush(f.kind, i, word.size());
                    i += word.size();
                    matched = true;
                    break;
                }
            }
            if (matched)
                continue;
            if (view.sliced(i).startsWith(QLatin1StringView("<font"))) {
                const qsizetype gt = view.indexOf(u'>', i + 5);
                if (gt >= 0) {
                    closeOrPush(Token::OpenFont, i, gt + 1 - i);
                    i = gt + 1;
                    continue;
                }
            }
        }
        closeOrPush(Token::Other, i, 1);
        ++i;
    }
    // Opening tags followed only by blanks up to the end pair with the end.
    while (!nonBlank.empty() && isOpening(pieces[nonBlank.back()].kind)) {
        pieces[nonBlank.back()].removed = true;
        nonBlank.pop_back();
    }

    QString out;
    out.reserve(n);
    for (const Piece &p : pieces) {
        if (!p.removed)
            out.append(view.sliced(p.start, p.length));
    }
    return out;
}

// Blanks at the start of a line and spaces before a line break go, runs of line
// breaks become one, and white space at the end goes.
QString tidyLineEnds(const QString &text)
{
    QString noTrailingSpaces;
    noTrailingSpaces.reserve(text.size());
    qsizetype pendingSpaces = 0;
    bool lineStart = true;
    for (QChar c : text) {
        if (lineStart && (c == u' ' || c == u'\t'))
            continue;
        lineStart = c == cr;
        if (c == u' ') {
            ++pendingSpaces;
            continue;
        }
        if (c != cr && pendingSpaces > 0)
            noTrailingSpaces.append(QString(pendingSpaces, QLatin1Char(' ')));
        pendingSpaces = 0;
        noTrailingSpaces.append(c);
    }
    // Spaces at the very end go with the final trim below.

    QString out;
    out.reserve(noTrailingSpaces.size());
    for (QChar c : noTrailingSpaces) {
        if (c == cr && !out.isEmpty() && out.back() == cr)
            continue;
        out.append(c);
    }
    qsizetype end = out.size();
    while (end > 0 && out[end - 1].isSpace())
        --end;
    out.truncate(end);
    return out;
}

QString formatTime(std::uint64_t t)
{
    return QString::asprintf("%02llu:%02llu:%02llu,%03llu",
                             static_cast<unsigned long long>(t / 3600000),
                             static_cast<unsigned long long>((t / 60000) % 60),
                             static_cast<unsigned long long>((t / 1000) % 60),
                             static_cast<unsigned long long>(t % 1000));
}

using Entry = std::pair<quint32, QString>; // start time, converted cue text

QString buildSrt(std::vector<Entry> &entries)
{
    // Sorted by time, then by text in code-unit order; exact repeats go.
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());

    QString srt;
    int number = 0;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const Entry &e = entries[k];
        if (e.second.isEmpty())
            continue; // still ends the cue before it
        const std::uint64_t start = e.first;
        const std::uint64_t end = k + 1 < entries.size() ? entries[k + 1].first : start + 10000;
        srt += QString::number(++number);
        srt += cr;
        srt += formatTime(start);
        srt += QLatin1StringView(" --> ");
        srt += formatTime(end);
        srt += cr;
        srt += e.second;
        srt += cr;
        srt += cr;
    }
    return srt;
}

} // namespace

QString SamiToSrtConverter::convertCueText(QStringView raw)
{
    QString withBreak = raw.toString();
    withBreak.append(cr);
    const QString text = replaceNbsp(withBreak);
    const QStringView view(text);

    QString converted;
    converted.reserve(text.size());
    qsizetype i = 0;
    while (i < view.size()) {
        const qsizetype lt = view.indexOf(u'<', i);
        if (lt < 0) {
            appendDecoded(converted, view.sliced(i));
            break;
        }
        appendDecoded(converted, view.sliced(i, lt - i));
        const qsizetype gt = view.indexOf(u'>', lt + 1);
        if (gt < 0) {
            // The rest of the text is one unclosed tag.
            converted.append(tagReplacement(view.sliced(lt + 1)));
            break;
        }
        converted.append(tagReplacement(view.sliced(lt + 1, gt - lt - 1)));
        i = gt + 1;
    }

    qsizetype first = 0;
    while (first < converted.size() && converted[first].isSpace())
        ++first;
    converted.remove(0, first);

    if (converted.contains(u'<'))
        converted = removeEmptyPairs(converted);
    return tidyLineEnds(converted);
}

QList<SamiToSrtConverter::ClassTrack> SamiToSrtConverter::convertText(const QString &source)
{
    const QString text = withoutComments(source);
    const QStringView body = QStringView(text).first(bodyEnd(text));
    const BodyTags tags = scanTags(body);

    QList<ClassTrack> classes;
    QHash<QString, qsizetype> classIndex;
    qsizetype resume = 0;
    for (const Tag &p : tags.paragraphs) {
        if (p.start < resume)
            continue; // inside the previous paragraph tag
        const QString name = paragraphClass(body, p);
        if (!classIndex.contains(name)) {
            classIndex.insert(name, classes.size());
            classes.append({name, QString()});
        }
        resume = p.end + 1;
    }
    if (classes.isEmpty())
        return classes;

    std::vector<std::vector<Entry>> entries(classes.size());
    const auto &syncs = tags.syncs;
    const auto &paras = tags.paragraphs;
    std::size_t si = 0;
    std::size_t pi = 0;
    // Positions only move forward, so both indices do too: one pass over the tags.
    auto nextSyncAfter = [&](qsizetype pos) -> const Tag * {
        while (si < syncs.size() && syncs[si].start <= pos)
            ++si;
        return si < syncs.size() ? &syncs[si] : nullptr;
    };
    auto nextParagraphAfter = [&](qsizetype pos) -> const Tag * {
        while (pi < paras.size() && paras[pi].start <= pos)
            ++pi;
        return pi < paras.size() ? &paras[pi] : nullptr;
    };

    const Tag *sync = syncs.empty() ? nullptr : &syncs.front();
    while (sync) {
        const quint32 time = syncTime(body, *sync);
        const Tag *para = nextParagraphAfter(sync->end);
        sync = nullptr;
        while (para) {
            const qsizetype from = para->end + 1;
            const QString name = paragraphClass(body, *para);
            const Tag *nextSync = nextSyncAfter(para->end);
            const Tag *nextPara = nextParagraphAfter(para->end);
            qsizetype to = body.size();
            if (nextPara && (!nextSync || nextPara->start < nextSync->start)) {
                to = nextPara->start;
            } else if (nextSync) {
                to = nextSync->start;
                sync = nextSync;
                nextPara = nullptr;
            } else {
                nextPara = nullptr;
            }
            const qsizetype cls = classIndex.value(name, 0);
            entries[cls].emplace_back(time, convertCueText(body.sliced(from, to - from)));
            para = nextPara;
        }
    }

    for (qsizetype c = 0; c < classes.size(); ++c)
        classes[c].srt = buildSrt(entries[c]);
    return classes;
}

int SamiToSrtConverter::Convert(const QString &sourcePath, QStringList &results,
                                const QString &outputFolder)
{
    SubtitleText source;
    if (!source.Load(sourcePath, 0))
        return -1;
    const QList<ClassTrack> classes = convertText(source.text);
    if (classes.isEmpty())
        return 0;

    results.clear();
    for (qsizetype i = 0; i < classes.size(); ++i) {
        QString name = sourcePath + QLatin1Char('.') + QString::number(i + 1) + QStringLiteral(".srt");
        name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
        const QString path = outputFolder + name;
        SubtitleText out;
        out.text = classes[i].srt;
        // Only files that exist are handed on; the caller judges by them.
        if (out.Save(path))
            results.append(QLatin1Char('"') + classes[i].name + QLatin1Char('"') + path);
    }
    return static_cast<int>(results.size());
}
