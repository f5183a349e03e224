#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <fcntl.h>
#include <unistd.h>
#include <cstdint>

// One temporary folder per fuzzing process: the input is written to a file in
// it, as the converters only read files, and outputs land in out/. Memory-backed
// when the machine has /dev/shm, so that disk flushes do not set the pace.
class FuzzFiles
{
public:
    FuzzFiles()
        : dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/marbleway-fuzz-XXXXXX")
                                                         : QDir::tempPath() + QStringLiteral("/marbleway-fuzz-XXXXXX"))
    {
        QDir().mkpath(outFolder());
    }

    // Plain system calls: they are what sets the pace here.
    QString input(const QString &name, const uint8_t *data, size_t size) const
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            size_t done = 0;
            while (done < size) {
                const ssize_t w = ::write(fd, data + done, size - done);
                if (w <= 0)
                    break;
                done += static_cast<size_t>(w);
            }
            ::close(fd);
        }
        return path;
    }

    QString outFolder() const { return dir.path() + QStringLiteral("/out/"); }

    void clearOutputs() const
    {
        QDir out(outFolder());
        for (const QString &name : out.entryList(QDir::Files | QDir::Hidden))
            out.remove(name);
    }

private:
    QTemporaryDir dir;
};
