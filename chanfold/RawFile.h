#pragma once

#include <cstddef>
#include <cstdint>

// A plain file handle for the downmix: no stream buffering of its own, because the
// tool moves whole chunks through its two fixed buffers. Failures leave a text in
// szError (never printed by the tool; kept for debugging).
class RawFile {
public:
    RawFile();
    ~RawFile();
    RawFile(const RawFile &) = delete;
    RawFile &operator=(const RawFile &) = delete;

    // Read access; others may read too.
    bool openRead(const char *path);
    // Read and write access to a file that already exists (never creates one).
    bool openWrite(const char *path);
    // False when the system reports an error on closing (a write that failed late).
    bool close();
    bool isOpen() const { return iHandle >= 0; }

    bool size(std::int64_t &bytes);
    bool seek(std::int64_t offset);
    // Reads until len bytes are in or the file ends; returns the bytes read, -1 on error.
    std::int64_t read(void *buffer, std::size_t len);
    // Writes all len bytes or fails.
    bool write(const void *buffer, std::size_t len);

    // Bytes read, bytes written, or the last seek position.
    std::int64_t count() const { return iCount; }
    int handle() const { return iHandle; }
    const char *errorText() const { return szError; }

private:
    void setError(const char *format, int error);

    char szError[128];
    int iHandle;
    std::int64_t iCount;
};
