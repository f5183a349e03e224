#include "shell/Formatters.h"

#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <cstdlib>

QString FormatGrouped(std::int64_t n)
{
    const bool negative = n < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    const QString digits = QString::number(magnitude);
    const qsizetype first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    QString out;
    if (negative)
        out += QLatin1Char('-');
    out += digits.left(first);
    for (qsizetype i = first; i < digits.size(); i += 3) {
        out += QLatin1Char(',');
        out += digits.mid(i, 3);
    }
    return out;
}

QString FormatElapsed(std::uint32_t t)
{
    unsigned hours = t / 3600000u;
    unsigned minutes = (t / 60000u) % 60u;
    unsigned seconds = (t / 1000u) % 60u;
    if (hours > 99)
        hours = minutes = seconds = 99;
    if (hours == 0)
        return QString::asprintf("%u:%02u", minutes, seconds);
    return QString::asprintf("%u:%02u:%02u", hours, minutes, seconds);
}

void Fmt::fillNext(QChar kind, const QString &value)
{
    while (m_pos < m_format.size()) {
        const QChar c = m_format.at(m_pos);
        if (c == QLatin1Char('%') && m_pos + 1 < m_format.size()) {
            const QChar k = m_format.at(m_pos + 1);
            m_pos += 2;
            if (k == QLatin1Char('%')) {
                m_out += QLatin1Char('%');
                continue;
            }
            // %u shares d(); the value was formatted by the caller.
            Q_ASSERT(k == kind || (k == QLatin1Char('u') && kind == QLatin1Char('d')));
            (void)kind;
            m_out += value;
            return;
        }
        m_out += c;
        ++m_pos;
    }
}

Fmt &Fmt::s(const QString &text)
{
    fillNext(QLatin1Char('s'), text);
    return *this;
}

Fmt &Fmt::d(long long number)
{
    fillNext(QLatin1Char('d'), QString::number(number));
    return *this;
}

Fmt &Fmt::g(double number)
{
    fillNext(QLatin1Char('g'), QString::asprintf("%g", number));
    return *this;
}

QString Fmt::str() const
{
    QString rest;
    for (qsizetype i = m_pos; i < m_format.size(); ++i) {
        if (m_format.at(i) == QLatin1Char('%') && i + 1 < m_format.size() && m_format.at(i + 1) == QLatin1Char('%'))
            ++i;
        rest += m_format.at(i);
    }
    return m_out + rest;
}

double AtofPrefix(const QString &text)
{
    // Independent of the process locale (a decimal comma must not change "23.976").
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch m = number.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

int LeadingInt(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    const long long v = std::strtoll(bytes.constData(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}
