#pragma once

#include <string>
#include <vector>

namespace mp4boxtest {

struct RunResult {
    int status = -1;
    std::string output; // standard output and standard error together
};

RunResult runTool(const std::vector<std::string> &argv);

// The installed adapter: build/bin/tools/MP4Box or build/bin/tools/Nightly/MP4Box.
std::string adapterPath(bool nightly = false);

// Splits a command line the way the engine's script interpreter does (Windows C
// runtime rules: double quotes group and are removed).
std::vector<std::string> splitCommandLine(const std::string &line);

// Test media, made once with the system ffmpeg and kept in the build tree.
std::string testMedia(const std::string &name);

// Per-frame MD5 of the decoded stream, in presentation order.
std::vector<std::string> frameHashes(const std::string &file, const std::string &stream = "v:0");
int packetCount(const std::string &file, const std::string &stream);

// ffprobe's report of a file (format and streams), read once.
class Probe {
public:
    explicit Probe(const std::string &file);
    // A stream field by stream index, e.g. stream(0, "level"), stream(2, "tags.language").
    std::string stream(int index, const std::string &key) const;
    std::string format(const std::string &key) const;
    int streamCount() const;

private:
    std::string value(const std::string &key) const;
    std::string m_report;
};

std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &data);
bool fileExists(const std::string &path);
std::vector<std::string> listDir(const std::string &dir);

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return m_path; }
    std::string operator/(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace mp4boxtest
