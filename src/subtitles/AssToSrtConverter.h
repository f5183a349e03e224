#pragma once

#include <QString>

// Turns ASS/SSA dialogue lines into SRT cues: times, text with line breaks,
// and the bold, italic, underline and primary-colour overrides SRT can carry.
// Holds no state between calls.
class AssToSrtConverter
{
public:
    // Writes the SRT to targetPath, or over sourcePath when targetPath is
    // empty. Returns 1 when the SRT was written (possibly without a cue) and 0
    // when the source cannot be loaded, lacks the "[Events]" line, its Format
    // line or one of the Start, End and Text fields, or the SRT could not be
    // written.
    int Convert(const QString &sourcePath, const QString &targetPath = QString());

    // The conversion on decoded text; false for the structural failures above.
    static bool convertText(const QString &text, QString &srt);

    // "H:MM:SS.cc" to "HH:MM:SS,mmm"; empty when a separator is missing.
    static QString convertTime(QStringView assTime);

    // One Text field (already trimmed) to SRT cue text.
    static QString convertDialogueText(QStringView text);
};
