#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Shared helpers of the adapter contract tests: the built tools, the generated media, a
// scratch folder, and ffprobe/ffmpeg read-backs of what a tool left behind.
namespace adaptertest {

std::string toolPath(const std::string &name); // build/bin/tools/NAME

// The media of scripts/make-test-media.sh, generated once per build tree and script version
// (parallel test processes wait for each other), then reused.
std::string mediaPath(const std::string &name);

// A fresh folder for one test whose name holds a blank and Korean text, removed at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::string &path() const { return m_work; }
    std::string file(const std::string &name) const { return m_work + "/" + name; }
    std::vector<std::string> entries() const; // sorted file names

private:
    std::string m_root;
    std::string m_work;
};

struct RunResult {
    int exitCode = -1;
    std::string output; // standard output and error on one pipe, as the tool runner reads them
};

// Runs a program with an argument vector (never a shell), optionally in another folder and
// with extra environment variables "NAME=value". With stdoutOnly the error stream is dropped.
RunResult runProgram(const std::vector<std::string> &argv, const std::string &cwd = {},
    const std::vector<std::string> &env = {}, bool stdoutOnly = false);
RunResult runTool(const std::string &name, const std::vector<std::string> &args, const std::string &cwd = {},
    const std::vector<std::string> &env = {});

struct StreamInfo {
    std::string type; // "video", "audio", "subtitle"
    std::string codec;
    std::string profile;
    int channels = 0;
    int sampleRate = 0;
    int width = 0;
    int height = 0;
    long long frames = -1; // decoded frames (video) or packets counted by ffprobe
};
struct FormatInfo {
    std::string format; // ffprobe's format_name
    std::vector<StreamInfo> streams;
};
FormatInfo probe(const std::string &path);

// One MD5 per decoded frame of the first stream matching spec ("v:0", "a:0"), in output order;
// timestamps are left out, so a stream copied into another container compares equal.
std::vector<std::string> frameHashes(const std::string &path, const std::string &spec);

// One MD5 per packet of the first stream matching spec, read without decoding: equal lists
// mean the stream was copied unchanged.
std::vector<std::string> packetHashes(const std::string &path, const std::string &spec);

// MD5 of all decoded samples of the first audio stream, whatever the packets look like.
std::string decodedAudioHash(const std::string &path);

// Samples per channel of the first audio stream, decoded.
long long decodedSamples(const std::string &path);

// The chunk IDs of a RIFF file after "WAVE", up to and including "data".
std::vector<std::string> waveChunks(const std::string &path);
std::uint16_t waveFormatTag(const std::string &path); // 0 when there is no "fmt " at offset 12

std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &bytes);
bool exists(const std::string &path);
std::int64_t sizeOf(const std::string &path);

} // namespace adaptertest
