#include "FileUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mp4box {

std::string absolutePath(const std::string &path)
{
    if (path.empty() || path[0] == '/')
        return path;
    char buf[4096];
    if (!getcwd(buf, sizeof buf))
        return path;
    return std::string(buf) + "/" + path;
}

bool isRegularFile(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool sameFile(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
        && sa.st_ino == sb.st_ino;
}

bool readWholeFile(const std::string &path, std::string *out, std::string *error)
{
    if (!isRegularFile(path)) {
        *error = "cannot open " + path;
        return false;
    }
    // In large blocks: a raw video stream can be hundreds of megabytes.
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = "cannot open " + path;
        return false;
    }
    out->clear();
    char buf[1 << 16];
    size_t n = 0;
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && st.st_size > 0)
        out->reserve(static_cast<size_t>(st.st_size));
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

bool writeWholeFile(const std::string &path, const std::string &data, std::string *error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool moveInto(const std::string &from, const std::string &to, std::string *error)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        *error = "cannot write " + to + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string fileName(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withoutExtension(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path;
    return path.substr(0, dot);
}

MappedFile::MappedFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        void *p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (p != MAP_FAILED) {
            m_data = p;
            m_size = static_cast<size_t>(st.st_size);
            madvise(m_data, m_size, MADV_SEQUENTIAL);
        }
    }
    ::close(fd);
}

MappedFile::~MappedFile()
{
    if (m_data)
        munmap(m_data, m_size);
}

} // namespace mp4box
