#pragma once

#include "runner/CommandScript.h"

#include <QString>
#include <QStringList>

class RunnerHost;

// Runs one tool step: writes "runapp.cmd" into the work folder, runs it on the
// status bar with the host's Stop reaching it, deletes it, clears status parts 1
// and 2. Refused (nothing written, nothing run) while another step runs or when the
// tool's script path has no separator (a tool whose short path is empty).
void RunTool(RunnerHost &host, const QString &workFolder, const QString &toolPath, const QString &scriptToolPath,
             const QString &arguments);

// The same for a script with its own body and location (the two-pass encoder).
// A script that cannot be written completely is removed before the run, so a
// half-written command line never executes.
void RunScript(RunnerHost &host, const QString &scriptPath, const QStringList &bodyLines,
               const QString &toolImageName, runner::LastLine last = runner::LastLine::Terminated);

// The image name of a tool: the part after the last separator.
QString ToolImageName(const QString &toolPath);
