#include "shell/DiagnosticLog.h"

#include "platform/Paths.h"
#include "platform/SystemInfo.h"
#include "shell/Formatters.h"

#include <QFile>

#include <mutex>

namespace {

QByteArray utf16le(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

} // namespace

QString DiagnosticLog::defaultPath()
{
    static const QString path = [] {
        QString p = platform::desktopFolder() + QStringLiteral("/Qor_Log.txt");
        return p.left(259);
    }();
    return path;
}

void DiagnosticLog::Start(const QString &path)
{
    m_path = path;
    QFile f(m_path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write("\xFF\xFE", 2);
}

QString DiagnosticLog::timestampPrefix()
{
    const platform::LocalTime t = platform::localTime();
    return QString::asprintf("[%04d.%02d.%02d %02d:%02d:%02d.%03d] ", t.year, t.month, t.day, t.hour, t.minute,
                             t.second, t.millisecond);
}

void DiagnosticLog::WriteLine(const QString &text)
{
    if (m_path.isEmpty())
        return;
    const QString line = timestampPrefix() + (m_jobNumber > 0 ? QStringLiteral("[job %1] ").arg(m_jobNumber) : QString()) + text
        + QStringLiteral("\r\n");
    static std::mutex writing;
    const std::lock_guard<std::mutex> lock(writing);
    // Update only an existing file: a log deleted during the run stays deleted.
    QFile f(m_path);
    if (!f.exists() || !f.open(QIODevice::ReadWrite))
        return;
    f.seek(f.size());
    f.write(utf16le(line));
}

QString DiagnosticLog::memoryLine()
{
    const auto m = platform::memoryStatus();
    if (!m)
        return QString();
    return QString::asprintf("Mem Info: %lld MBytes of free physical memory (out of Total %lld MBytes of "
                             "physical memory, %d%% in use)",
                             static_cast<long long>(m->availableBytes >> 20),
                             static_cast<long long>(m->totalBytes >> 20), m->loadPercent);
}

void DiagnosticLog::WriteSystemInfo()
{
    WriteLine(platform::osInfoLine());
    const QString mem = memoryLine();
    if (!mem.isEmpty())
        WriteLine(mem);
}

void DiagnosticLog::LogDriveFreeSpace(const QString &path)
{
    if (m_path.isEmpty())
        return;
    const auto space = platform::freeSpace(path);
    if (!space)
        return;
    const qint32 mb = static_cast<qint32>(space->freeBytes >> 20);
    WriteLine(Fmt(" - %s drive free space: %sMB").s(space->mountPoint).s(FormatGrouped(mb)));
}
