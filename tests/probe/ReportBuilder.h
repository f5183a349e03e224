#pragma once

// Builds MediaInfo-style full reports in memory: a header line, "key<padding>: value"
// lines, an empty line after each section.

#include <QByteArray>

#include <initializer_list>
#include <utility>

namespace reports {

using Line = std::pair<const char *, const char *>;

inline QByteArray line(const char *key, const char *value)
{
    QByteArray l(key);
    while (l.size() < 41)
        l += ' ';
    return l + ": " + value + "\n";
}

inline QByteArray section(const char *header, std::initializer_list<Line> lines)
{
    QByteArray s = QByteArray(header) + "\n";
    for (const Line &l : lines)
        s += line(l.first, l.second);
    return s + "\n";
}

inline QByteArray general(const char *format)
{
    return section("General", {{"Format", format}});
}

} // namespace reports
