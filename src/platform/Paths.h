#pragma once

#include <QString>

// File-system services as the engine sees them. On this platform the separator is
// '/', and the "short path" of a file is its absolute path (empty when it does not
// exist), so every "missing file gives an empty short path" rule keeps holding.
namespace platform {

inline constexpr QChar kSeparator = QLatin1Char('/');

// Absolute path of an existing file or folder (a folder keeps a trailing separator
// when one was given), or the empty text when nothing is there.
QString shortPath(const QString &path);

// The path's attributes can be read and it is not a directory.
bool fileExists(const QString &path);
bool directoryExists(const QString &path);

// Index of the last separator, or -1.
qsizetype lastSeparator(const QString &path);

// Text with trailing separators removed (a lone "/" stays).
QString withoutTrailingSeparators(const QString &path);

// Folder of the running executable with a trailing separator. MARBLEWAY_PROGRAM_FOLDER
// overrides it (tests install their own small tools in a folder of their own).
QString programFolder();
void setProgramFolderOverride(const QString &folder);

// The system temporary folder without trailing separator (TMPDIR or /tmp).
QString systemTempFolder();

// The user's desktop folder (XDG), or the home folder when there is none; no trailing separator.
QString desktopFolder();

// The name is text in the file-name encoding (UTF-8) and comes back unchanged.
bool isEncodablePath(const QString &path);

// A name can be written into a script line and read back unchanged: no double quote,
// no backslash, no control character, valid UTF-8 all the way.
bool isScriptSafePath(const QString &path);

// Target of a symbolic link (followed to its end), or the path itself.
QString resolveLinks(const QString &path);

// Creates path as a new empty file, failing when anything already has the name; the
// test and the creation are one step, so two programs never both take the same name.
enum class NewFile { Created, Taken, Failed };
NewFile createNewFile(const QString &path);

// Byte form of a path (or script line) for system calls, and back.
QByteArray encodePath(const QString &path);
QString decodeName(const QByteArray &bytes);

} // namespace platform
