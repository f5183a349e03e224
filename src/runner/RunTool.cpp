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
               const QString &toolImageName)
{
    if (host.currentRunner)
        return;
    runner::writeCommandScript(scriptPath, bodyLines);
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
