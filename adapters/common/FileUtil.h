#pragma once

#include <cstdint>
#include <string>

// Small file-system helpers for the adapters (POSIX only, no exceptions).
namespace adapt {

bool fileExists(const std::string &path);

// Size in bytes, or -1 when the file does not exist.
std::int64_t fileSize(const std::string &path);

// Removes a file; a missing file is not an error.
void removeFile(const std::string &path);

// The lower-case extension without its dot: "A.WAV" -> "wav", "a." -> "", "dir.x/a" -> "".
std::string extensionOf(const std::string &path);

// The folder part of a path ("." for a bare name).
std::string folderOf(const std::string &path);

// The folder holding the running executable; the presets folder lies beside the adapters.
std::string executableFolder();

// Creates an empty, uniquely named file "<prefix>XXXXXX<suffix>" and returns its path,
// or the empty text when it cannot be created. The caller removes it.
std::string createTempFile(const std::string &prefix, const std::string &suffix);

} // namespace adapt
