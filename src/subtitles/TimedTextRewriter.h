#pragma once

#include <QByteArray>
#include <QString>

// Rewrites the timed-text XML that MP4Box makes from subtitles: the font size,
// colours from font markup that survived as text, tidy lines and regenerated
// Style elements (Restyle), or every sample time moved (ShiftTimes).
//
// Both read the whole source first and write the result through a temporary
// file beside the target that replaces it only when complete, so a failed call
// leaves every file as it was, and rewriting in place cannot lose the subtitle.
class TimedTextRewriter {
public:
    // strTarget empty means in place; iFontSize 0 (or less) means 18.
    // Returns 1 when the target was written, 0 otherwise.
    int Restyle(const QString &strSource, const QString &strTarget, int iFontSize) const;
    // Adds iShiftMs to every sample time, kept within 00:00:00.000 to 99:59:59.999.
    int ShiftTimes(const QString &strSource, const QString &strTarget, int iShiftMs) const;

    // The same rewrites on bytes in memory. restyleBuffer returns false (and
    // leaves out empty) when the stream header is missing.
    static bool restyleBuffer(const QByteArray &in, int iFontSize, QByteArray &out);
    static QByteArray shiftBuffer(const QByteArray &in, int iShiftMs);
};
