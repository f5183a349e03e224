#include "runner/ProgressParser.h"

#include <QRegularExpression>

#include <cstring>

namespace runner {
namespace {

bool isDigit(unsigned char b)
{
    return b >= '0' && b <= '9';
}

// Control bytes break lines; TAB does not.
bool isLineByte(unsigned char b)
{
    return b >= 0x20 || b == 0x09;
}

bool clockAt(const unsigned char *s, qsizetype i)
{
    return (isDigit(s[i]) || s[i] == ' ') && isDigit(s[i + 1]) && s[i + 2] == ':'
        && (isDigit(s[i + 3]) || s[i + 3] == ' ') && isDigit(s[i + 4]);
}

qsizetype progressPosition(const unsigned char *s, qsizetype n)
{
    int digits = 0, percents = 0, others = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (isDigit(s[i]))
            ++digits;
        else if (s[i] == '%')
            ++percents;
        else if (s[i] > 0x20)
            ++others;
    }
    if (others == 0 && percents == 1 && digits >= 1)
        return 0;
    if (n < 6)
        return -1;
    static const char *const patterns[] = { "mixing", " time=", "Frame#", "essed ", "ogress", "mporti", "riting" };
    for (qsizetype i = n - 5; i >= 0; --i) {
        // s[n] is the terminating NUL, so a six-byte text cannot match at n - 5.
        for (const char *p : patterns) {
            if (std::memcmp(s + i, p, 6) == 0)
                return i;
        }
        if (clockAt(s, i))
            return i;
    }
    return n - 1;
}

} // namespace

QByteArray cleanChunk(QByteArray chunk)
{
    chunk.replace('\b', ' ');
    const qsizetype cut = chunk.indexOf("Press any key to continue . . .");
    if (cut >= 0)
        chunk.truncate(cut);
    return chunk;
}

std::optional<QString> progressLine(const QByteArray &chunkIn)
{
    // Work on a NUL-terminated copy, up to its first NUL, so every look-ahead stays inside.
    QByteArray chunk = chunkIn;
    const qsizetype nul = chunk.indexOf('\0');
    if (nul >= 0)
        chunk.truncate(nul);
    const qsizetype n = chunk.size();
    chunk.append(QByteArray(6, '\0'));
    const auto *s = reinterpret_cast<const unsigned char *>(chunk.constData());

    const qsizetype pos = progressPosition(s, n);
    if (pos < 0)
        return std::nullopt;

    qsizetype start = pos;
    while (start > 0 && isLineByte(s[start]))
        --start;
    while (start < n && !isLineByte(s[start]))
        ++start;
    qsizetype end = pos;
    while (end < n && isLineByte(s[end]))
        ++end;
    while (end > 0 && !isLineByte(s[end]))
        --end;
    if (end < start)
        return std::nullopt;

    QString line = QString::fromLatin1(chunk.constData() + start, end - start + 1);
    if (line.startsWith(QLatin1String("Processed "))) {
        const qsizetype space = line.indexOf(QLatin1Char(' '), 10);
        if (space < 0)
            return std::nullopt;
        line = line.left(space) + QStringLiteral(" seconds...");
    }
    return line;
}

} // namespace runner

std::optional<int> ProgressPercent(const QString &line)
{
    static const QRegularExpression percent(QStringLiteral("(?<![\\d.])(\\d{1,3})(?:\\.\\d+)?\\s*%|\\((\\d{1,3})/100\\)"));
    std::optional<int> found;
    for (const QRegularExpressionMatch &m : percent.globalMatch(line)) {
        const QString digits = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        const int value = digits.toInt();
        if (value <= 100)
            found = value;
    }
    return found;
}
