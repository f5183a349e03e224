#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <sys/types.h>

class RunnerHost;

// Runs one step script as a child process with standard output and error on one
// pipe, shows the tool's progress and elapsed time on the status bar, and keeps the
// event loop alive while it waits. The child runs at niceness 10 in a process group
// of its own; cancelling ends that group (the tool and whatever it started) and
// nothing else: SIGTERM first, so the tools can remove their temporary files, then
// SIGKILL for whatever is still there after a short grace.
class ToolRunner
{
public:
    enum DisplayMode { StatusBar, Silent };

    ToolRunner(const QString &scriptPath, DisplayMode mode, unsigned statusPart, RunnerHost *statusBar,
               const QString &workingDirectory, const QString &toolImageName, const QString &startMessage);
    virtual ~ToolRunner();
    ToolRunner(const ToolRunner &) = delete;
    ToolRunner &operator=(const ToolRunner &) = delete;

    virtual void Run();
    virtual void Cancel();

    static constexpr unsigned kPollIntervalMs = 100;
    static constexpr qsizetype kReadSize = 16383;

private:
    void showStatus(const QString &text);
    void reportError(const QString &context, int err);
    void showOutput(const QByteArray &chunk);
    void pumpMessages();
    bool startChild(int pipeWrite, QString *error);
    void endProcessGroup();

    bool m_cancelRequested = false;
    DisplayMode m_mode;
    RunnerHost *m_statusBar;
    unsigned m_statusPart;
    QString m_startMessage;
    unsigned m_pollInterval = kPollIntervalMs;
    QString m_scriptPath;
    QString m_workingDirectory;
    QString m_toolImageName;
    std::uint32_t m_startTick = 0;
    pid_t m_pid = -1;
};
