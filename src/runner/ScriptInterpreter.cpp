#include "runner/ScriptInterpreter.h"

#include "platform/Paths.h"

#include <QFile>

namespace runner {
namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// One quoted or bare word at pos; advances pos past it and trailing blanks.
QString takeWord(const QString &text, qsizetype &pos)
{
    qsizetype i = pos;
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    const qsizetype start = i;
    bool quoted = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && isBlank(c))
            break;
    }
    const QString word = splitWindowsArguments(text.mid(start, i - start)).value(0);
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    pos = i;
    return word;
}

} // namespace

QStringList splitWindowsArguments(const QString &line)
{
    QStringList args;
    qsizetype i = 0;
    const qsizetype n = line.size();
    for (;;) {
        while (i < n && isBlank(line.at(i)))
            ++i;
        if (i >= n)
            break;
        QString arg;
        bool inQuotes = false;
        while (i < n) {
            const QChar c = line.at(i);
            if (c == QLatin1Char('\\')) {
                qsizetype slashes = 0;
                while (i < n && line.at(i) == QLatin1Char('\\')) {
                    ++slashes;
                    ++i;
                }
                if (i < n && line.at(i) == QLatin1Char('"')) {
                    arg += QString(slashes / 2, QLatin1Char('\\'));
                    if (slashes % 2) {
                        arg += QLatin1Char('"');
                        ++i;
                    }
                } else {
                    arg += QString(slashes, QLatin1Char('\\'));
                }
                continue;
            }
            if (c == QLatin1Char('"')) {
                if (inQuotes && i + 1 < n && line.at(i + 1) == QLatin1Char('"')) {
                    arg += QLatin1Char('"');
                    i += 2;
                    continue;
                }
                inQuotes = !inQuotes;
                ++i;
                continue;
            }
            if (!inQuotes && isBlank(c))
                break;
            arg += c;
            ++i;
        }
        args << arg;
    }
    return args;
}

std::optional<ScriptLine> parseScriptLine(const QString &rawLine, QString *error)
{
    auto fail = [&](const QString &why) -> std::optional<ScriptLine> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString line = rawLine.trimmed();
    ScriptLine out;
    if (line.compare(QLatin1String("@echo off"), Qt::CaseInsensitive) == 0) {
        out.kind = ScriptLine::EchoOff;
        return out;
    }
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    const QString verb = (space < 0 ? line : line.left(space)).toLower();
    const QString rest = space < 0 ? QString() : line.mid(space + 1).trimmed();
    if (verb == QLatin1String("chcp")) {
        bool ok = false;
        rest.toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("chcp needs a number"));
        out.kind = ScriptLine::Chcp;
        out.value = rest;
        return out;
    }
    if (verb == QLatin1String("pushd") || verb == QLatin1String("del")) {
        const QStringList words = splitWindowsArguments(rest);
        if (words.size() != 1 || words.first().isEmpty())
            return fail(verb + QStringLiteral(" needs one path"));
        out.kind = verb == QLatin1String("pushd") ? ScriptLine::Pushd : ScriptLine::Del;
        out.value = words.first();
        return out;
    }
    if (verb == QLatin1String("set")) {
        const qsizetype eq = rest.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(QStringLiteral("set needs NAME=value"));
        out.kind = ScriptLine::Set;
        out.value = rest;
        return out;
    }
    if (!line.startsWith(QLatin1Char('"')))
        return fail(QStringLiteral("unknown line: ") + line);

    // A command: the quoted tool path, its arguments, and an optional "> file"
    // outside any quotes.
    qsizetype redirectAt = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('>')) {
            redirectAt = i;
            break;
        }
        else if (!quoted && (c == QLatin1Char('|') || c == QLatin1Char('<') || c == QLatin1Char('&')))
            return fail(QStringLiteral("unsupported operator in: ") + line);
    }
    QString commandPart = redirectAt < 0 ? line : line.left(redirectAt);
    if (redirectAt >= 0) {
        const QStringList target = splitWindowsArguments(line.mid(redirectAt + 1));
        if (target.size() != 1 || target.first().isEmpty())
            return fail(QStringLiteral("redirection needs one file"));
        out.redirectPath = target.first();
    }
    qsizetype pos = 0;
    out.program = takeWord(commandPart, pos);
    if (out.program.isEmpty())
        return fail(QStringLiteral("empty tool path"));
    out.arguments = splitWindowsArguments(commandPart.mid(pos));
    out.kind = ScriptLine::Command;
    return out;
}

std::optional<ScriptPlan> parseScript(const QByteArray &bytes, QString *error)
{
    ScriptPlan plan;
    bool haveCommand = false;
    for (const QByteArray &raw : bytes.split('\n')) {
        QByteArray lineBytes = raw;
        if (lineBytes.endsWith('\r'))
            lineBytes.chop(1);
        const QString text = platform::decodeName(lineBytes);
        if (text.trimmed().isEmpty())
            continue;
        if (haveCommand) {
            if (error)
                *error = QStringLiteral("line after the command: ") + text;
            return std::nullopt;
        }
        auto parsed = parseScriptLine(text, error);
        if (!parsed)
            return std::nullopt;
        haveCommand = parsed->kind == ScriptLine::Command;
        plan.lines.push_back(*parsed);
    }
    if (!haveCommand) {
        if (error)
            *error = QStringLiteral("no command in script");
        return std::nullopt;
    }
    return plan;
}

} // namespace runner
