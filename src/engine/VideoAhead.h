#pragma once

#include "engine/ConvertJob.h"

#include <QString>

#include <memory>

class QObject;
class QThread;
class RunnerHost;

// A tool step of the video extraction started early, on a thread of its own, while
// the job extracts and encodes its audio: the step reads only the source and writes
// only its own file, so it need not wait for them. The step itself, when its turn
// comes, waits for this run instead of starting the tool again, so the log and the
// files left are those of the step run in its place.
class VideoAhead
{
public:
    // Starts tool with arguments; its step script lies in the job's work folder under
    // a name of its own.
    VideoAhead(const ConvertJob &job, ToolId tool, const QString &arguments);
    // Stops the tool if it still runs and returns when it has ended.
    ~VideoAhead();
    VideoAhead(const VideoAhead &) = delete;
    VideoAhead &operator=(const VideoAhead &) = delete;

    bool runs(ToolId tool, const QString &arguments) const { return tool == m_tool && arguments == m_arguments; }

    // Waits for the tool's end, keeping ui's events going; a Stop pressed on ui
    // meanwhile ends the tool, and ui.stopRequested then tells so.
    void finish(RunnerHost &ui);

private:
    class Host;
    void stop();

    ToolId m_tool;
    QString m_arguments;
    std::unique_ptr<Host> m_host;
    std::unique_ptr<QThread> m_thread;
    // Lives on the tool's thread: Stop reaches the tool's runner through it.
    std::unique_ptr<QObject> m_context;
};
