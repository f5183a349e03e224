#include "engine/ConcurrentRun.h"

#include "engine/FileList.h"
#include "engine/FrontEnd.h"
#include "engine/JobDriver.h"
#include "platform/SystemInfo.h"
#include "runner/ProgressParser.h"
#include "runner/ToolRunner.h"
#include "shell/Formatters.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Runs fn on the thread context belongs to, after everything posted there before.
template <class F> void post(QObject *context, F &&fn)
{
    QMetaObject::invokeMethod(context, std::forward<F>(fn), Qt::QueuedConnection);
}

// The list as a job on its own thread sees it: a copy of the texts taken before the
// jobs start; each change also goes, in order, to the front end's list on its thread.
class MirrorList final : public MemoryFileList
{
public:
    MirrorList(FileList &target, QObject *targetContext)
        : m_target(target)
        , m_context(targetContext)
    {
        for (int r = 0; r < target.rowCount(); ++r) {
            MemoryFileList::appendRow(target.text(r, kName), target.text(r, kFolder));
            for (int c = kAudio; c < kColumnCount; ++c)
                MemoryFileList::setText(r, c, target.text(r, c));
        }
    }

    void setText(int row, int column, const QString &text) override
    {
        MemoryFileList::setText(row, column, text);
        FileList *target = &m_target;
        post(m_context, [target, row, column, text] { target->setText(row, column, text); });
    }
    void ensureVisible(int row) override
    {
        FileList *target = &m_target;
        post(m_context, [target, row] { target->ensureVisible(row); });
    }

private:
    FileList &m_target;
    QObject *m_context;
};

class Run;

// What a job on its own thread sees of the front end. Its runner and stop flag are
// its own; texts go to the run on the front end's thread.
class JobFrontEnd final : public FrontEnd
{
public:
    JobFrontEnd(Run &run, int slot, FileList &list, QObject *context, const ConverterOptions &o)
        : m_run(run)
        , m_slot(slot)
        , m_list(list, context)
    {
        options = o;
        bConverting = true;
    }

    FileList &fileList() override { return m_list; }
    void setStatusText(int part, const QString &text) override;
    void setSummaryText(const QString &text) override;
    void showMessage(const QString &text) override;
    bool askFinished(const QString &) override { return false; }
    // The run gives the controls back when every job has ended.
    void enableControls(bool) override { }

private:
    Run &m_run;
    int m_slot;
    MirrorList m_list;
};

struct Slot
{
    std::unique_ptr<JobFrontEnd> frontEnd;
    std::unique_ptr<QThread> thread;
    // Lives on the job's thread: Stop reaches the job's runner through it.
    std::unique_ptr<QObject> context;
    // Front end's thread only.
    int row = -1;
    QString progress;
};

class Run
{
public:
    Run(ConvertJob &run, std::span<const Stage> stages, int jobs)
        : m_run(run)
        , m_stages(stages)
        , m_slots(static_cast<size_t>(jobs))
    {
        for (int i = 0; i < jobs; ++i) {
            Slot &slot = m_slots[static_cast<size_t>(i)];
            slot.frontEnd = std::make_unique<JobFrontEnd>(*this, i, run.ui.fileList(), &m_context, run.options);
            slot.thread.reset(QThread::create([this, i] { runJobs(i); }));
            slot.context = std::make_unique<QObject>();
            slot.context->moveToThread(slot.thread.get());
        }
    }

    ~Run()
    {
        for (Slot &slot : m_slots)
            slot.thread->wait();
    }

    // Front end's thread: starts the jobs and waits for all of them, keeping the
    // front end alive. True when stopped.
    bool exec()
    {
        QEventLoop loop;
        size_t running = m_slots.size();
        for (Slot &slot : m_slots) {
            QObject::connect(slot.thread.get(), &QThread::finished, &loop, [&] {
                if (--running == 0)
                    loop.quit();
            });
        }
        QTimer tick;
        tick.setInterval(static_cast<int>(ToolRunner::kPollIntervalMs));
        QObject::connect(&tick, &QTimer::timeout, &loop, [this] {
            if (m_run.ui.stopRequested)
                stopAll();
            showStatus();
        });
        for (Slot &slot : m_slots)
            slot.thread->start();
        tick.start();
        loop.exec();
        for (Slot &slot : m_slots)
            slot.thread->wait();
        // The last texts the jobs sent.
        QCoreApplication::sendPostedEvents(&m_context);
        for (int part = 0; part < 3; ++part)
            m_run.ui.setStatusText(part, QString());
        m_run.iSucceeded += m_succeeded;
        return m_stopped;
    }

    // Any thread.
    QObject *context() { return &m_context; }
    void slotStatus(int slot, int part, const QString &text)
    {
        // The run shows its own counter and elapsed time.
        if (part == 2)
            m_slots[static_cast<size_t>(slot)].progress = text;
    }
    FrontEnd &frontEnd() { return m_run.ui; }
    // The source's one-line summary, with the row it belongs to: several rows run at once.
    void slotSummary(int slot, const QString &text)
    {
        const int row = m_slots[static_cast<size_t>(slot)].row;
        m_run.ui.setSummaryText(row < 0 || text.isEmpty() ? text : QStringLiteral("[%1] ").arg(row + 1) + text);
    }

private:
    // Front end's thread.
    void stopAll()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                return;
            m_stopping = true;
        }
        for (Slot &slot : m_slots) {
            JobFrontEnd *job = slot.frontEnd.get();
            post(slot.context.get(), [job] { job->requestStop(); });
        }
    }

    void jobStarted(int slot, int row)
    {
        m_slots[static_cast<size_t>(slot)].row = row;
        m_slots[static_cast<size_t>(slot)].progress.clear();
        showStatus();
    }

    void jobEnded(int slot)
    {
        m_slots[static_cast<size_t>(slot)].row = -1;
        ++m_rowsEnded;
        showStatus();
    }

    // Part 0 the running rows, part 1 the run's time, part 2 each running row's tool
    // progress and, last, the whole run's share done.
    void showStatus()
    {
        std::vector<const Slot *> running;
        for (const Slot &slot : m_slots) {
            if (slot.row >= 0)
                running.push_back(&slot);
        }
        std::sort(running.begin(), running.end(), [](const Slot *a, const Slot *b) { return a->row < b->row; });
        QStringList places, lines;
        int percent = m_rowsEnded * 100;
        for (const Slot *slot : running) {
            places << QString::number(slot->row + 1);
            QString line = slot->progress.simplified();
            if (line.size() > 60)
                line = line.left(57) + QStringLiteral("...");
            lines << QStringLiteral("[%1] %2").arg(slot->row + 1).arg(line);
            percent += ProgressPercent(slot->progress).value_or(0);
        }
        const int rows = std::max(1, m_run.iRowCount);
        setPart(0, places.isEmpty() ? QString() : places.join(QLatin1Char(',')) + QStringLiteral("/%1").arg(rows));
        setPart(1, FormatElapsed(platform::tickCount() - m_run.dwRunStart));
        setPart(2, lines.join(QStringLiteral("  ")) + QStringLiteral("  (전체 %1%)").arg(percent / rows));
    }

    void setPart(int part, const QString &text)
    {
        if (m_shown[part] == text)
            return;
        m_shown[part] = text;
        m_run.ui.setStatusText(part, text);
    }

    // Job threads.
    int takeRow()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping || m_nextRow >= m_run.iRowCount)
            return -1;
        return m_nextRow++;
    }

    void runJobs(int slot)
    {
        JobFrontEnd &ui = *m_slots[static_cast<size_t>(slot)].frontEnd;
        const bool keep = m_run.options.bKeepTempFiles;
        for (int row; (row = takeRow()) >= 0;) {
            post(&m_context, [this, slot, row] { jobStarted(slot, row); });
            ConvertJob job(ui, m_run.strProgramFolder);
            job.tools = m_run.tools;
            job.log = m_run.log;
            job.log.setJobNumber(row + 1);
            job.iRowCount = m_run.iRowCount;
            job.dwRunStart = m_run.dwRunStart;
            // A folder of its own: the steps' scripts and intermediate files have fixed names.
            job.strWorkFolder = m_run.strWorkFolder + QStringLiteral("job-%1/").arg(row + 1);
            QDir().mkpath(job.strWorkFolder);
            ui.stopRequested = false;

            const StageResult result = RunJob(job, row, m_stages);
            if (result == StageResult::StopRun)
                job.setStatus(QStringLiteral("중단: ") + FormatElapsed(platform::tickCount() - job.job.dwJobStart));
            AddTempFile(job.tempFiles, job.strWorkFolder + QStringLiteral("runapp.cmd"));
            AddTempFile(job.tempFiles, job.strWorkFolder + QStringLiteral("runapp_out.cmd"));
            DeleteTempFiles(job.tempFiles, keep);
            if (!keep)
                QDir(job.strWorkFolder).removeRecursively();
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_succeeded += job.iSucceeded;
                m_stopped = m_stopped || result == StageResult::StopRun;
            }
            post(&m_context, [this, slot] { jobEnded(slot); });
        }
    }

    ConvertJob &m_run;
    std::span<const Stage> m_stages;
    // Lives on the front end's thread: the jobs' texts reach it through this.
    QObject m_context;
    std::vector<Slot> m_slots;

    std::mutex m_mutex;
    int m_nextRow = 0;
    bool m_stopping = false;
    bool m_stopped = false;
    int m_succeeded = 0;

    int m_rowsEnded = 0;
    QString m_shown[3];
};

void JobFrontEnd::setStatusText(int part, const QString &text)
{
    Run *run = &m_run;
    const int slot = m_slot;
    post(run->context(), [run, slot, part, text] { run->slotStatus(slot, part, text); });
}

void JobFrontEnd::setSummaryText(const QString &text)
{
    Run *run = &m_run;
    const int slot = m_slot;
    post(run->context(), [run, slot, text] { run->slotSummary(slot, text); });
}

void JobFrontEnd::showMessage(const QString &text)
{
    Run *run = &m_run;
    post(run->context(), [run, text] { run->frontEnd().showMessage(text); });
}

} // namespace

bool RunSideBySide(ConvertJob &run, std::span<const Stage> stages, int jobs)
{
    Run sideBySide(run, stages, jobs);
    return sideBySide.exec();
}
