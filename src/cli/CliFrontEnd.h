#pragma once

#include "engine/FileList.h"
#include "engine/FrontEnd.h"

#include <QObject>

#include <cstdio>

class QSocketNotifier;

// The engine's front end on a terminal: row status changes and the running tool's
// progress go to standard error, message boxes too; the "Finished" question is
// answered No. Ctrl-C acts as the Stop button.
class CliFrontEnd : public QObject, public FrontEnd
{
    Q_OBJECT
public:
    explicit CliFrontEnd(std::FILE *err = stderr);
    ~CliFrontEnd() override;

    FileList &fileList() override { return m_list; }
    void setStatusText(int part, const QString &text) override;
    void setSummaryText(const QString &text) override;
    void showMessage(const QString &text) override;
    bool askFinished(const QString &message) override;
    void enableControls(bool) override { }

    // Ctrl-C (SIGINT) and SIGTERM become Stop while installed.
    void installInterruptHandler();
    bool interrupted() const { return m_interrupted; }

private:
    class ReportingList : public MemoryFileList
    {
    public:
        explicit ReportingList(CliFrontEnd &owner) : m_owner(owner) { }
        void setText(int row, int column, const QString &text) override;

    private:
        CliFrontEnd &m_owner;
    };

    void printLine(const QString &text);
    void onInterrupt();

    ReportingList m_list;
    std::FILE *m_err;
    bool m_tty = false;
    bool m_progressShown = false;
    bool m_interrupted = false;
    QSocketNotifier *m_notifier = nullptr;
};
