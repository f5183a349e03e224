#pragma once

// Shared pieces of the tests that drive engine stages directly: a front end that
// records what the stages show, and stand-in tools (shell scripts) that log their calls.

#include "engine/ConvertJob.h"
#include "engine/FileList.h"
#include "engine/FrontEnd.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace stagetest {

class Recorder : public FrontEnd
{
public:
    FileList &fileList() override { return list; }
    void setStatusText(int part, const QString &) override
    {
        // Any output of the running tool counts as "the user pressed Stop now".
        if (stopWhileRunning && part == 1 && currentRunner)
            requestStop();
    }
    void setSummaryText(const QString &text) override { summary = text; }
    void showMessage(const QString &) override { }
    bool askFinished(const QString &) override { return false; }
    void enableControls(bool on) override { enabled = on; }

    MemoryFileList list;
    QString summary;
    bool stopWhileRunning = false;
    bool enabled = false;
};

// Every stand-in tool first appends "name|arg|arg..." to the file named by $CALLS.
inline constexpr const char *kRecordCall =
    "printf '%s' \"$(basename \"$0\")\" >> \"$CALLS\"; for a in \"$@\"; do printf '|%s' \"$a\" >> \"$CALLS\"; done;"
    " echo >> \"$CALLS\"\n";

// An executable shell script at path: the call record, then body.
inline bool writeTool(const QString &path, const QByteArray &body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QByteArray("#!/bin/sh\n") + kRecordCall + body);
    f.close();
    return f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// The recorded calls, one line each.
inline QStringList readCalls(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A diagnostic log (UTF-16LE) as text.
inline QString readLog(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = f.readAll();
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(b.constData()), b.size() / 2);
}

// Makes folder + name (a few bytes) the one row of the list and the job's source,
// with a video report of the given format, size and frame rate.
inline bool startJob(Recorder &ui, ConvertJob &job, const QString &folder, const QString &name, ContainerKind container,
                     VideoFormat video, int width, int height, const QString &frameRate)
{
    QFile f(folder + name);
    if (!f.open(QIODevice::WriteOnly) || f.write("source bytes") != 12)
        return false;
    f.close();
    ui.list = MemoryFileList();
    ui.list.appendRow(name, folder);
    job.resetJob(0);
    auto &j = job.job;
    j.strSourcePath = folder + name;
    j.strSourceShortPath = j.strSourcePath;
    j.report.iContainer = container;
    j.report.iVideoFormat = video;
    j.report.iVideoID = 1;
    j.report.strFrameRate = frameRate;
    j.report.iWidth = width;
    j.report.iHeight = height;
    return true;
}

} // namespace stagetest
