#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Turns one chunk of a tool's output into the one line the status bar shows.
namespace runner {

// Backspaces become spaces; "Press any key to continue . . ." and what follows go.
QByteArray cleanChunk(QByteArray chunk);

// The progress line of a cleaned chunk, or nothing when the chunk shows nothing:
// a bare percentage, else the last line holding a known progress pattern or a
// clock, else the chunk's last line; the encoder's "Processed N seconds... (ETA)"
// is cut to "Processed N seconds...".
std::optional<QString> progressLine(const QByteArray &chunk);

} // namespace runner

// The percentage a tool's progress line tells ("45%", "Progress: 45.2 %",
// "|=====     | (45/100)"), the last one when there are several; nothing when the
// line tells none.
std::optional<int> ProgressPercent(const QString &line);
