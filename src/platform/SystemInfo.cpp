#include "platform/SystemInfo.h"

#include "platform/Paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QSysInfo>

#include <ctime>
#include <sched.h>
#include <unistd.h>

namespace platform {

int processorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

std::uint32_t tickCount()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u
        + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

LocalTime localTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return { d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec() };
}

QString osInfoLine()
{
    QString line = QStringLiteral("OS Info: ") + QSysInfo::prettyProductName();
    line += QStringLiteral(" (build ") + QSysInfo::kernelType() + QLatin1Char(' ')
        + QSysInfo::kernelVersion() + QLatin1Char(')');
    const QString arch = QSysInfo::currentCpuArchitecture();
    if (arch == QLatin1String("x86_64") || arch == QLatin1String("arm64"))
        line += QStringLiteral(", 64-bit");
    else if (arch == QLatin1String("i386"))
        line += QStringLiteral(", 32-bit");
    return line.left(256);
}

std::optional<MemoryStatus> memoryStatus()
{
    QFile f(QStringLiteral("/proc/meminfo"));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    MemoryStatus m;
    bool haveTotal = false, haveAvail = false;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QList<QByteArray> parts = raw.simplified().split(' ');
        if (parts.size() < 2)
            continue;
        const std::uint64_t kb = parts[1].toULongLong();
        if (parts[0] == "MemTotal:") {
            m.totalBytes = kb * 1024;
            haveTotal = true;
        } else if (parts[0] == "MemAvailable:") {
            m.availableBytes = kb * 1024;
            haveAvail = true;
        }
    }
    if (!haveTotal || !haveAvail || m.totalBytes == 0)
        return std::nullopt;
    m.loadPercent = static_cast<int>(100 - (m.availableBytes * 100) / m.totalBytes);
    return m;
}

std::optional<FreeSpace> freeSpace(const QString &path)
{
    if (path.isEmpty() || !path.startsWith(kSeparator))
        return std::nullopt;
    // The output of a step does not exist yet: ask for the nearest existing folder.
    QString probe = path;
    while (!QFileInfo::exists(probe)) {
        const qsizetype sep = lastSeparator(withoutTrailingSeparators(probe));
        if (sep <= 0) {
            probe = QStringLiteral("/");
            break;
        }
        probe = probe.left(sep);
    }
    QStorageInfo storage(probe);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    return FreeSpace{ storage.rootPath(), static_cast<std::uint64_t>(storage.bytesFree()) };
}

} // namespace platform
