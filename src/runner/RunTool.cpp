#include "runner/RunTool.h"

#include "platform/Paths.h"
#include "runner/CommandScript.h"
#include "runner/RunnerHost.h"
#include "runner/ToolRunner.h"

#include <QFile>

QString ToolImageName(const QString &toolPath)
{
    return toolPath.mid(platform::lastSeparator(toolPath) + 1);
}

void RunScript(RunnerHost &host, const QString &scriptPath, const QStringList &bodyLines,
               const QString &toolImageName, runner::LastLine last)
{
    if (host.currentRunner)
        return;
    // A half-written script (full disk) could run a cut-off command line: remove it, so
    // the runner reports it cannot start, as for a script that could not be created.
    if (!runner::writeCommandScript(scriptPath, bodyLines, last))
        QFile::remove(scriptPath);
    ToolRunner runner(scriptPath, ToolRunner::StatusBar, 1, &host, QString(), toolImageName,
                      QStringLiteral("processing..."));
    host.currentRunner = &runner;
    runner.Run();
    QFile::remove(scriptPath);
    host.setStatusText(1, QString());
    host.setStatusText(2, QString());
    host.currentRunner = nullptr;
}

void RunTool(RunnerHost &host, const QString &workFolder, const QString &toolPath, const QString &scriptToolPath,
             const QString &arguments)
{
    if (host.currentRunner || platform::lastSeparator(scriptToolPath) < 0)
        return;
    const QString scriptPath = platform::shortPath(workFolder) + QStringLiteral("runapp.cmd");
    RunScript(host, scriptPath, { runner::toolCommandLine(scriptToolPath, arguments) }, ToolImageName(toolPath));
}
