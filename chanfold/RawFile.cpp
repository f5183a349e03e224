#include "RawFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RawFile::RawFile()
    : szError {}
    , iHandle(-1)
    , iCount(0)
{
}

RawFile::~RawFile() { close(); }

void RawFile::setError(const char *format, int error)
{
    std::snprintf(szError, sizeof szError, format, std::strerror(error));
}

bool RawFile::openRead(const char *path)
{
    close();
    iHandle = ::open(path, O_RDONLY | O_CLOEXEC);
    if (iHandle < 0) {
        setError("Cannot open file: %s.", errno);
        return false;
    }
    return true;
}

bool RawFile::openWrite(const char *path)
{
    close();
    iHandle = ::open(path, O_RDWR | O_CLOEXEC);
    if (iHandle < 0) {
        setError("Cannot open file: %s.", errno);
        return false;
    }
    return true;
}

bool RawFile::close()
{
    bool ok = true;
    if (iHandle >= 0 && ::close(iHandle) != 0) {
        setError("File64: %s", errno);
        ok = false;
    }
    iHandle = -1;
    iCount = 0;
    return ok;
}

bool RawFile::size(std::int64_t &bytes)
{
    struct stat st;
    if (::fstat(iHandle, &st) != 0) {
        setError("Cannot determine file size: %s", errno);
        return false;
    }
    bytes = st.st_size;
    return true;
}

bool RawFile::seek(std::int64_t offset)
{
    if (::lseek(iHandle, offset, SEEK_SET) < 0) {
        setError("File64: %s", errno);
        return false;
    }
    iCount = offset;
    return true;
}

std::int64_t RawFile::read(void *buffer, std::size_t len)
{
    auto *p = static_cast<unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < len) {
        ssize_t n = ::read(iHandle, p + done, len - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            setError("File64: %s", errno);
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    iCount = static_cast<std::int64_t>(done);
    return iCount;
}

bool RawFile::write(const void *buffer, std::size_t len)
{
    const auto *p = static_cast<const unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < len) {
        ssize_t n = ::write(iHandle, p + done, len - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            setError("File64: %s", errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    iCount = static_cast<std::int64_t>(done);
    return true;
}
