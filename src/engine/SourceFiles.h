#pragma once

#include <QString>
#include <QStringList>

class FileList;

// Adding source files to the list: the extension test, companion discovery and the
// per-path steps the window and the command-line front end share.

inline constexpr int kNotAcceptable = 99999;

// kNotAcceptable when the path has no video extension we convert; the row index
// when the same path is already listed; -1 otherwise.
int CheckExtension(const FileList &list, const QString &path);

// base + "." + ext when it exists, else the first file of that folder named base + "."
// and ext in another letter case (CLIP.SMI beside CLIP.AVI); empty when none.
QString CompanionFile(const QString &base, const QString &ext);

// Fills columns 2 (external audio extension) and 3 (external subtitle extension)
// of the row from the files beside the source; columns are only ever set.
void FindCompanions(FileList &list, int row);

// An external subtitle named with a language: "movie.ko.smi", "movie.eng.srt".
struct TaggedSubtitle
{
    QString path;
    QString extension; // "smi", "srt", "ass" or "ssa"
    QString language;  // as the track option takes it
};

// Every file "base.TAG.EXT" beside a source, base being its folder and name without
// the extension, whose TAG is a language (LanguageOfTag) and EXT a subtitle extension;
// both are matched without regard to case. Korean ones first, then in name order.
QList<TaggedSubtitle> FindLanguageSubtitles(const QString &base);

// Full path of the first non-directory entry matching a wildcard pattern
// ("folder/name*.ac3": '*' and '?' in the name part, without regard to case), in
// name order; empty when none.
QString FindFirstMatch(const QString &pattern);

struct AddFilesResult
{
    int added = 0;
    int missing = 0; // no such file
    int refused = 0; // names whose bytes are no text in the file-name encoding
    int unsafe = 0;  // names a step script cannot carry (a quote, a backslash, a control character)

    int notAdded() const { return missing + refused + unsafe; }
};

// The per-path steps for each path in order: extension test (unsupported files and
// duplicates are skipped silently), existence and name tests (counted by reason),
// then a new row and its companions.
AddFilesResult AddSourcePaths(FileList &list, const QStringList &paths);

// "%d개의 파일에서 파일명에 비 ASCII 문자 포함!" with the count.
QString RefusedNamesMessage(int refused);

// One line per reason files were not added; empty when every file was.
QString AddFilesMessage(const AddFilesResult &result);
