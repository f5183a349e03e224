#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// System figures for timing and the diagnostic log.
namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows tick count.
std::uint32_t tickCount();

struct LocalTime
{
    int year, month, day, hour, minute, second, millisecond;
};
LocalTime localTime();

// The processors this process may run on (at least 1).
int processorCount();

// "OS Info: ..." line: distribution, kernel release, architecture.
QString osInfoLine();

struct MemoryStatus
{
    std::uint64_t totalBytes = 0;
    std::uint64_t availableBytes = 0;
    int loadPercent = 0;
};
std::optional<MemoryStatus> memoryStatus();

struct FreeSpace
{
    QString mountPoint; // stands where the drive letter stood
    std::uint64_t freeBytes = 0;
};
// Free space of the file system holding path (or its nearest existing parent).
std::optional<FreeSpace> freeSpace(const QString &path);

} // namespace platform
