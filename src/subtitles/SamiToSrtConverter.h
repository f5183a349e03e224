#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Splits a SAMI file into one SRT file per paragraph class (language),
// keeping line breaks and the bold, italic, underline and font tags SRT can
// carry. Holds no state between calls.
class SamiToSrtConverter
{
public:
    struct ClassTrack
    {
        QString name;
        QString srt; // SRT text, lines ending in a single CR
    };

    // Writes "<source file name>.<n>.srt" into outputFolder (a path prefix
    // ending in a separator) for each class n = 1, 2, ... and fills results
    // with "\"CLASS\"" followed directly by that file's path. Returns the
    // number of files written, 0 when the body has no paragraph tag or no file
    // could be written, and -1 when the source cannot be loaded.
    int Convert(const QString &sourcePath, QStringList &results, const QString &outputFolder);

    // The conversion itself on decoded text; empty when there is no
    // paragraph tag.
    static QList<ClassTrack> convertText(const QString &text);

    // One cue's raw text to SRT cue text.
    static QString convertCueText(QStringView raw);
};
