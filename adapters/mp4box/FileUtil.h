#pragma once

#include <string>

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

} // namespace mp4box
