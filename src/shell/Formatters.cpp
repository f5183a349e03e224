#include "shell/Formatters.h"

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
            Q_ASSERT(k == kind);
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
