#include "cli/CliFrontEnd.h"

#include "shell/Formatters.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char c = 1;
    ssize_t w = write(g_signalPipe[1], &c, 1);
    (void)w;
}

} // namespace

CliFrontEnd::CliFrontEnd(std::FILE *err)
    : m_list(*this)
    , m_err(err)
    , m_tty(isatty(fileno(err)) != 0)
{
}

CliFrontEnd::~CliFrontEnd()
{
    if (m_notifier) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
}

void CliFrontEnd::printLine(const QString &text)
{
    if (m_progressShown) {
        std::fputs("\r\033[K", m_err);
        m_progressShown = false;
    }
    std::fprintf(m_err, "%s\n", text.toUtf8().constData());
    std::fflush(m_err);
}

void CliFrontEnd::ReportingList::setText(int row, int column, const QString &text)
{
    const bool changed = MemoryFileList::text(row, column) != text;
    MemoryFileList::setText(row, column, text);
    if (changed && column == kStatus && !text.isEmpty())
        m_owner.printLine(Fmt("[%d] %s: %s").d(row + 1).s(this->text(row, kName)).s(text));
}

void CliFrontEnd::setStatusText(int part, const QString &text)
{
    // Part 2 is the tool's progress line; rewrite it in place on a terminal only,
    // so logs of a batch run are not flooded.
    if (part != 2 || !m_tty || text.isEmpty())
        return;
    QString line = text;
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(m_err, "\r\033[K  %s", line.left(150).toUtf8().constData());
    std::fflush(m_err);
    m_progressShown = true;
}

void CliFrontEnd::setSummaryText(const QString &text)
{
    if (!text.isEmpty())
        printLine(QStringLiteral("  ") + text);
}

void CliFrontEnd::showMessage(const QString &text)
{
    printLine(text);
}

bool CliFrontEnd::askFinished(const QString &message)
{
    printLine(message);
    return false;
}

void CliFrontEnd::installInterruptHandler()
{
    if (g_signalPipe[0] < 0 && pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CliFrontEnd::onInterrupt);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void CliFrontEnd::onInterrupt()
{
    char buf[16];
    while (read(g_signalPipe[0], buf, sizeof buf) > 0) { }
    m_interrupted = true;
    printLine(QStringLiteral("Stop requested."));
    requestStop();
}
