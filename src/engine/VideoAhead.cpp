#include "engine/VideoAhead.h"

#include "runner/RunTool.h"
#include "runner/RunnerHost.h"
#include "runner/ToolRunner.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

// The early run shows nothing: the job's status bar belongs to the audio steps.
class VideoAhead::Host final : public RunnerHost
{
public:
    void setStatusText(int, const QString &) override { }
};

VideoAhead::VideoAhead(const ConvertJob &job, ToolId tool, const QString &arguments)
    : m_tool(tool)
    , m_arguments(arguments)
    , m_host(std::make_unique<Host>())
{
    const ToolEntry &entry = job.tool(tool);
    const QString script = job.strWorkFolder + QStringLiteral("runapp_ahead.cmd");
    const QStringList body = { runner::toolCommandLine(entry.shortPath, arguments) };
    const QString image = ToolImageName(entry.fullPath);
    Host *host = m_host.get();
    m_thread.reset(QThread::create([host, script, body, image] { RunScript(*host, script, body, image); }));
    m_context = std::make_unique<QObject>();
    m_context->moveToThread(m_thread.get());
    m_thread->start();
}

VideoAhead::~VideoAhead()
{
    stop();
    m_thread->wait();
}

void VideoAhead::stop()
{
    // Handled by the runner's own event pump, so it reaches the tool once it runs;
    // a tool already ended leaves it unread.
    Host *host = m_host.get();
    QMetaObject::invokeMethod(m_context.get(), [host] { host->requestStop(); }, Qt::QueuedConnection);
}

void VideoAhead::finish(RunnerHost &ui)
{
    bool stopping = false;
    while (!m_thread->wait(ToolRunner::kPollIntervalMs)) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (ui.stopRequested && !stopping) {
            stopping = true;
            stop();
        }
    }
}
