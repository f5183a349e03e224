#pragma once

// Shared by every test executable: a private sandbox for the user's folders, a
// Qt event loop, small test tools and a recording status bar.

#include "runner/RunnerHost.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace testsupport {

// The process's sandbox. Before main() runs, HOME, XDG_CONFIG_HOME and TMPDIR are
// pointed into it, so no test ever reads or writes the real user's settings,
// desktop or temporary folder. Removed when the process ends.
QString sandbox();

// A fresh empty folder inside the sandbox (no trailing separator).
QString freshFolder(const QString &name = QStringLiteral("case"));

// The one application object, created on first use.
void ensureApp();

void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// A #!/bin/sh script with the given body, made executable.
void writeTool(const QString &path, const QByteArray &body);

// true when no process with this id is alive (gone, or a zombie nobody reaped yet).
bool processGone(pid_t pid);
// Waits up to about five seconds for processGone.
bool waitGone(pid_t pid);
// Waits up to about five seconds for a file to exist.
bool waitForFile(const QString &path);
// Reads a decimal process id written by a test tool.
pid_t readPid(const QString &path);

// A status bar that remembers every text set on it.
class RecordingHost : public RunnerHost
{
public:
    void setStatusText(int part, const QString &text) override;
    QStringList texts(int part) const;
    QString last(int part) const;
    bool shown(int part, const QString &text) const;

    std::vector<std::pair<int, QString>> calls;
};

} // namespace testsupport

// Readable QString values in test failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
