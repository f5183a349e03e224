#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mp4box {

std::string absolutePath(const std::string &path);
bool isRegularFile(const std::string &path);
bool sameFile(const std::string &a, const std::string &b);
bool readWholeFile(const std::string &path, std::string *out, std::string *error);
bool writeWholeFile(const std::string &path, const std::string &data, std::string *error);
// Moves a finished temporary file to its name (same file system).
bool moveInto(const std::string &from, const std::string &to, std::string *error);
std::string fileName(const std::string &path);
// The path without the extension of its file name ("a/b.srt" -> "a/b").
std::string withoutExtension(const std::string &path);

// A whole file mapped read-only: raw video streams can be larger than the memory one would
// want to copy them into. Empty when the file cannot be mapped (or is empty).
class MappedFile {
public:
    explicit MappedFile(const std::string &path);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    std::string_view bytes() const { return { static_cast<const char *>(m_data), m_size }; }
    bool empty() const { return m_size == 0; }

private:
    void *m_data = nullptr;
    size_t m_size = 0;
};

} // namespace mp4box
