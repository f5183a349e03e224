#pragma once

#include <QString>
#include <QStringList>

// The ".cmd" step scripts: "@echo off", "chcp 949", then the step's lines, each
// ending in CR LF, no byte-order mark, in the file-name encoding (UTF-8 here).
namespace runner {

// Whether the last body line ends in CR LF like the others (the two-pass encoder's
// script leaves its command line open).
enum class LastLine { Terminated, Open };

QByteArray commandScriptBytes(const QStringList &bodyLines, LastLine last = LastLine::Terminated);

// Creates or truncates path and writes the script; false when it cannot be written.
bool writeCommandScript(const QString &path, const QStringList &bodyLines, LastLine last = LastLine::Terminated);

// The one-line body of a tool step: the tool path in double quotes, then the
// argument string exactly as the caller built it.
QString toolCommandLine(const QString &scriptToolPath, const QString &arguments);

} // namespace runner
