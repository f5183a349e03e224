#pragma once

#include <QString>

#include <cstdint>

// Small text formatters shared by the engine, the runner, the log and the window.

// Decimal text of n with a comma between groups of three digits: 1234567 -> "1,234,567".
QString FormatGrouped(std::int64_t n);

// Elapsed time of t milliseconds: "%u:%02u" under an hour, else "%u:%02u:%02u";
// from 100 hours on every field shows 99.
QString FormatElapsed(std::uint32_t milliseconds);

// printf-style filling of a format that holds only %s, %d, %u, %g (and %%): each %s takes
// the next text, each %d the next number, in order. User text is never re-scanned,
// so a file name holding "%1" or "%s" comes out unchanged.
class Fmt
{
public:
    explicit Fmt(const char *format) : m_format(QString::fromUtf8(format)) { }
    explicit Fmt(QString format) : m_format(std::move(format)) { }
    Fmt &s(const QString &text);
    Fmt &d(long long number);
    Fmt &u(unsigned long long number) { return d(static_cast<long long>(number)); }
    Fmt &g(double number); // %g
    operator QString() const { return str(); }
    QString str() const;

private:
    void fillNext(QChar kind, const QString &value);
    QString m_format;
    QString m_out;
    qsizetype m_pos = 0;
};

// The number at the start of a text, the way the C runtime's atof/atoi read it:
// leading blanks skipped, then as many characters as form a number; 0 when none.
double AtofPrefix(const QString &text);
int LeadingInt(const QString &text);
