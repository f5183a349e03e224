#pragma once

#include <QString>

// Reads an SRT file in any encoding, as tolerantly as players do, and writes a
// clean UTF-8 copy named "<name>.UTF8.srt": cues renumbered from 1, timing lines
// in the one canonical form, ASS override blocks removed and character references
// decoded. Holds no state between calls.
class SrtRewriter
{
public:
    // codePage: 0 for the legacy code page, or the page the user chose for SRT
    // files. outputPath receives outputFolder + the new file name whenever the
    // source could be loaded. Returns 1 when at least one cue was written, 0
    // otherwise (also when the output file could not be written).
    int Rewrite(const QString &sourcePath, QString &outputPath, const QString &outputFolder,
                int codePage);

    // The rewrite on decoded text; the number of cues written to srt.
    static int rewriteText(const QString &text, QString &srt);

    // The output path for a source: ".srt" (any case) replaced by ".UTF8.srt".
    static QString outputPathFor(const QString &sourcePath, const QString &outputFolder);
};
