#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Our stand-in for the command interpreter: it understands exactly the lines this
// program writes into its step scripts and nothing else, and it never involves a
// shell, so no file name can ever be run as a command.
namespace runner {

// Splits a command line the way the Windows C runtime builds argv: blanks separate,
// double quotes group and are removed, 2n backslashes before a quote give n and the
// quote toggles grouping, 2n+1 give n and a literal quote, a doubled quote inside a
// group is a literal quote, other backslashes are literal.
QStringList splitWindowsArguments(const QString &commandLine);

struct ScriptLine
{
    enum Kind { EchoOff, Chcp, Pushd, Set, Del, Command };
    Kind kind = EchoOff;
    QString value;        // folder (pushd), NAME=value (set), path (del)
    QString program;      // Command: the tool path
    QStringList arguments;
    QString redirectPath; // Command: target of "> file", empty when none
};

struct ScriptPlan
{
    std::vector<ScriptLine> lines; // in order; exactly one Command, the last line
};

// Parses a script (bytes as written by writeCommandScript). Any line outside the
// known forms, no command, or a line after the command gives nothing, with a
// reason in *error.
std::optional<ScriptPlan> parseScript(const QByteArray &bytes, QString *error = nullptr);
std::optional<ScriptLine> parseScriptLine(const QString &line, QString *error = nullptr);

} // namespace runner
