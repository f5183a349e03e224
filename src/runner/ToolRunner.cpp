#include "runner/ToolRunner.h"

#include "platform/Paths.h"
#include "platform/SystemInfo.h"
#include "runner/ProgressParser.h"
#include "runner/RunnerHost.h"
#include "runner/ScriptInterpreter.h"
#include "shell/Formatters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Everything the child needs, prepared before fork so the child only makes
// async-signal-safe calls.
struct ChildPlan
{
    QByteArray program;
    std::vector<QByteArray> argv;
    std::vector<QByteArray> env;
    QByteArray workingDirectory;
    QByteArray redirectPath;
};

QString absoluteIn(const QString &dir, const QString &path)
{
    if (path.startsWith(platform::kSeparator) || dir.isEmpty())
        return path;
    return QDir(dir).absoluteFilePath(path);
}

void setEnv(std::vector<QByteArray> &env, const QByteArray &assignment)
{
    const QByteArray name = assignment.left(assignment.indexOf('=') + 1);
    for (QByteArray &e : env) {
        if (e.startsWith(name)) {
            e = assignment;
            return;
        }
    }
    env.push_back(assignment);
}

// A tool that has closed its output is normally ending: look for its exit in short
// slices (without reaping it) so that every step does not sit out a whole interval.
void waitForExit(pid_t pid, unsigned intervalMs)
{
    constexpr unsigned kSliceMs = 2;
    for (unsigned waited = 0; waited < intervalMs; waited += kSliceMs) {
        siginfo_t info = {};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid)
            return;
        usleep(kSliceMs * 1000);
    }
}

// Stop first asks the tool's group to end (SIGTERM lets the tools remove their temporary
// files) and ends it outright (SIGKILL) once this grace has passed.
constexpr unsigned kStopGraceMs = 150;

// Waits up to graceMs for the group led by pid to be gone, reaping the leader; true when
// the leader was reaped.
bool awaitGroupEnd(pid_t pid, unsigned graceMs)
{
    constexpr unsigned kSliceMs = 5;
    bool reaped = false;
    for (unsigned waited = 0;; waited += kSliceMs) {
        if (!reaped) {
            const pid_t w = waitpid(pid, nullptr, WNOHANG);
            reaped = w == pid || (w < 0 && errno == ECHILD);
        }
        if (reaped && kill(-pid, 0) != 0 && errno == ESRCH)
            return true;
        if (waited >= graceMs)
            return reaped;
        usleep(kSliceMs * 1000);
    }
}

} // namespace

void RunnerHost::requestStop()
{
    if (currentRunner)
        currentRunner->Cancel();
    stopRequested = true;
}

ToolRunner::ToolRunner(const QString &scriptPath, DisplayMode mode, unsigned statusPart, RunnerHost *statusBar,
                       const QString &workingDirectory, const QString &toolImageName, const QString &startMessage)
    : m_mode(mode)
    , m_statusBar(statusBar)
    , m_statusPart(statusPart)
    , m_startMessage(startMessage)
    , m_scriptPath(scriptPath)
    , m_workingDirectory(workingDirectory)
    , m_toolImageName(toolImageName)
{
}

ToolRunner::~ToolRunner() = default;

void ToolRunner::Cancel()
{
    m_cancelRequested = true;
}

void ToolRunner::showStatus(const QString &text)
{
    if (m_mode == Silent || !m_statusBar)
        return;
    m_statusBar->setStatusText(static_cast<int>(m_statusPart), FormatElapsed(platform::tickCount() - m_startTick));
    m_statusBar->setStatusText(static_cast<int>(m_statusPart + 1), text);
}

void ToolRunner::reportError(const QString &context, int err)
{
    const char *reason = err ? std::strerror(err) : nullptr;
    showStatus(context + QStringLiteral("\r\n")
               + (reason ? QString::fromLocal8Bit(reason) : QStringLiteral("No status because FormatMessage failed.\r\n")));
}

void ToolRunner::showOutput(const QByteArray &chunk)
{
    if (m_mode == Silent || !m_statusBar)
        return;
    if (auto line = runner::progressLine(chunk)) {
        m_statusBar->setStatusText(static_cast<int>(m_statusPart), FormatElapsed(platform::tickCount() - m_startTick));
        m_statusBar->setStatusText(static_cast<int>(m_statusPart + 1), *line);
    }
}

void ToolRunner::pumpMessages()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool ToolRunner::startChild(int pipeWrite, QString *error)
{
    QFile script(m_scriptPath);
    if (!script.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read ") + m_scriptPath;
        return false;
    }
    auto plan = runner::parseScript(script.readAll(), error);
    if (!plan)
        return false;

    ChildPlan child;
    QString cwd = m_workingDirectory.isEmpty() ? QDir::currentPath() : m_workingDirectory;
    for (char **e = environ; *e; ++e)
        child.env.emplace_back(*e);
    for (const runner::ScriptLine &line : plan->lines) {
        switch (line.kind) {
        case runner::ScriptLine::EchoOff:
        case runner::ScriptLine::Chcp:
            break;
        case runner::ScriptLine::Pushd:
            cwd = absoluteIn(cwd, line.value);
            if (!platform::directoryExists(cwd)) {
                *error = QStringLiteral("no such folder: ") + cwd;
                return false;
            }
            break;
        case runner::ScriptLine::Set:
            setEnv(child.env, platform::encodePath(line.value));
            break;
        case runner::ScriptLine::Del:
            QFile::remove(absoluteIn(cwd, line.value));
            break;
        case runner::ScriptLine::Command: {
            const QString program = absoluteIn(cwd, line.program);
            child.program = platform::encodePath(program);
            child.argv.push_back(child.program);
            for (const QString &a : line.arguments)
                child.argv.push_back(platform::encodePath(a));
            if (!line.redirectPath.isEmpty())
                child.redirectPath = platform::encodePath(absoluteIn(cwd, line.redirectPath));
            break;
        }
        }
    }
    child.workingDirectory = platform::encodePath(cwd);
    // Tools that need scratch space take it in the folder of their script (the work folder),
    // not beside the files they write in the user's folders.
    const QString scriptFolder = QFileInfo(m_scriptPath).absolutePath();
    if (platform::directoryExists(scriptFolder))
        setEnv(child.env, "TMPDIR=" + platform::encodePath(scriptFolder));

    std::vector<char *> argv, envp;
    for (auto &a : child.argv)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto &e : child.env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    // exec failures come back through this pipe; it closes silently on success.
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        close(status[0]);
        close(status[1]);
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        if (getpriority(PRIO_PROCESS, 0) < 10)
            setpriority(PRIO_PROCESS, 0, 10);
        int in = open("/dev/null", O_RDONLY);
        if (in >= 0)
            dup2(in, STDIN_FILENO);
        int out = pipeWrite;
        if (!child.redirectPath.isEmpty())
            out = open(child.redirectPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = out < 0 ? errno : 0;
        if (!err && (dup2(out, STDOUT_FILENO) < 0 || dup2(pipeWrite, STDERR_FILENO) < 0))
            err = errno;
        if (!err && chdir(child.workingDirectory.constData()) != 0)
            err = errno;
        if (!err) {
            signal(SIGPIPE, SIG_DFL);
            execve(argv[0], argv.data(), envp.data());
            err = errno;
        }
        ssize_t w = write(status[1], &err, sizeof err);
        (void)w;
        _exit(127);
    }
    setpgid(pid, pid);
    close(status[1]);
    int childErr = 0;
    ssize_t got;
    do {
        got = read(status[0], &childErr, sizeof childErr);
    } while (got < 0 && errno == EINTR);
    close(status[0]);
    if (got == static_cast<ssize_t>(sizeof childErr)) {
        waitpid(pid, nullptr, 0);
        *error = QString::fromLocal8Bit(std::strerror(childErr));
        return false;
    }
    m_pid = pid;
    return true;
}

void ToolRunner::endProcessGroup()
{
    // The tool is the leader of its own group: whatever it started and left behind
    // (or, after Stop, whatever outlived the grace) goes with it. Processes this program
    // did not start are never touched.
    if (m_pid > 0)
        kill(-m_pid, SIGKILL);
}

void ToolRunner::Run()
{
    m_startTick = platform::tickCount();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        reportError(QStringLiteral("Error creating pipe"), errno);
        return;
    }
    QString why;
    if (!startChild(fds[1], &why)) {
        close(fds[0]);
        close(fds[1]);
        if (m_mode == StatusBar && m_statusBar)
            showStatus(QStringLiteral("Error creating process\r\n") + why);
        return;
    }
    // Only the child writes now, so the pipe reports its end when the tool and
    // everything it started have closed it.
    close(fds[1]);
    const int readEnd = fds[0];
    fcntl(readEnd, F_SETFL, fcntl(readEnd, F_GETFL) | O_NONBLOCK);

    if (!m_startMessage.isEmpty())
        showStatus(m_startMessage);

    QByteArray buffer(kReadSize, '\0');
    bool pipeOpen = true;
    bool exited = false;
    auto readChunk = [&]() -> int { // 1 chunk read, 0 nothing waiting, -1 failed
        if (!pipeOpen)
            return 0;
        const ssize_t n = read(readEnd, buffer.data(), static_cast<size_t>(kReadSize));
        if (n > 0) {
            QByteArray chunk = runner::cleanChunk(buffer.left(n));
            showOutput(chunk);
            return 1;
        }
        if (n == 0) {
            pipeOpen = false;
            return 0;
        }
        if (errno == EAGAIN || errno == EINTR)
            return 0;
        return -1;
    };

    for (;;) {
        const int got = readChunk();
        if (got < 0) {
            reportError(QStringLiteral("ReadFile fialed"), errno);
            break;
        }
        if (got > 0) {
            pumpMessages();
            continue;
        }
        int status = 0;
        const pid_t w = waitpid(m_pid, &status, WNOHANG);
        if (w == m_pid || (w < 0 && errno == ECHILD)) {
            exited = true;
            // Output written just before the end is still shown.
            while (readChunk() > 0) { }
            break;
        }
        pumpMessages();
        if (m_cancelRequested) {
            if (kill(-m_pid, SIGTERM) == 0 || kill(m_pid, SIGTERM) == 0) {
                exited = awaitGroupEnd(m_pid, kStopGraceMs);
                showStatus(QStringLiteral("Job Canceled. Process terminated successfully."));
            } else {
                reportError(QStringLiteral("Error terminating process."), errno);
            }
            break;
        }
        if (pipeOpen) {
            struct pollfd p = { readEnd, POLLIN, 0 };
            poll(&p, 1, static_cast<int>(m_pollInterval));
        } else {
            waitForExit(m_pid, m_pollInterval);
        }
    }

    if (!m_cancelRequested)
        showStatus(QStringLiteral("Job Finished."));
    close(readEnd);
    endProcessGroup();
    if (!exited) {
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
    m_pid = -1;
}
