#pragma once

#include <QString>

// A subtitle file decoded to UTF-16, whatever encoding it came in, with every
// line break reduced to one carriage return (a blank line is two CRs in a row,
// which is how the converters find cue boundaries). Converters also build
// their output in one and save it as UTF-8 with a byte-order mark and CR LF.
class SubtitleText
{
public:
    // Decodes the file at path. codePage is a Windows code page number used
    // for text without a byte-order mark that is not well-formed UTF-8; 0 means
    // the legacy code page. Returns 1 on success and 0 on failure (missing,
    // unreadable or shorter than 2 bytes, unknown code page), leaving the text
    // empty.
    int Load(const QString &path, int codePage);

    // Writes the text as UTF-8 with a byte-order mark, every CR as CR LF. The
    // target is replaced only once everything is written, so a failed save
    // never leaves a truncated file behind. Returns false when it failed.
    bool Save(const QString &path) const;

    int count() const { return static_cast<int>(text.size()); }

    // Decoding and encoding without the file system, for the converters'
    // cores and for tests.
    static bool decode(const QByteArray &bytes, int codePage, QString &out);
    static QByteArray encode(const QString &text);

    // Files larger than this are refused rather than risking memory
    // exhaustion: no real subtitle comes near it.
    static constexpr qint64 maxFileSize = 512 * 1024 * 1024;

    QString text;
};
