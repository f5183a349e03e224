#include "AdapterTestSupport.h"

#include "common/JsonValue.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace adaptertest {
namespace {

std::string envOr(const char *name, const std::string &fallback)
{
    const char *v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string binDir()
{
    return envOr("MARBLEWAY_BIN_DIR", ADAPTER_TESTS_BIN_DIR);
}

std::string sourceDir()
{
    return envOr("MARBLEWAY_SOURCE_DIR", ADAPTER_TESTS_SOURCE_DIR);
}

std::string stamp(const std::string &script)
{
    // The script's own text decides whether cached media are current.
    return std::to_string(std::hash<std::string>{}(readFile(script)));
}

} // namespace

std::string toolPath(const std::string &name)
{
    return binDir() + "/tools/" + name;
}

std::string mediaPath(const std::string &name)
{
    static std::string dir;
    if (dir.empty()) {
        const std::string script = sourceDir() + "/scripts/make-test-media.sh";
        const std::string base = fs::absolute(binDir() + "/../test-media").lexically_normal().string();
        const std::string wanted = stamp(script);
        const int lock = open((base + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
        if (lock >= 0)
            flock(lock, LOCK_EX);
        if (readFile(base + "/.stamp") != wanted) {
            std::error_code ec;
            fs::remove_all(base, ec);
            const std::string tmp = base + ".tmp";
            fs::remove_all(tmp, ec);
            const RunResult r = runProgram({"/bin/bash", script, tmp});
            if (r.exitCode != 0) {
                ADD_FAILURE() << "make-test-media.sh failed:\n" << r.output;
            } else {
                writeFile(tmp + "/.stamp", wanted);
                fs::rename(tmp, base, ec);
            }
        }
        if (lock >= 0)
            close(lock); // also releases the lock
        dir = base;
    }
    return dir + "/" + name;
}

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "adapter-tools-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    m_work = m_root + "/work dir 작업";
    fs::create_directory(m_work);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

std::vector<std::string> ScratchDir::entries() const
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(m_work))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

RunResult runProgram(
    const std::vector<std::string> &argv, const std::string &cwd, const std::vector<std::string> &env, bool stdoutOnly)
{
    RunResult result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return result;
    }
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(stdoutOnly ? devNull : fds[1], STDERR_FILENO);
        dup2(devNull, STDIN_FILENO);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(127);
        for (const auto &e : env)
            putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[16384];
    for (;;) {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0)
            result.output.append(buf, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

RunResult runTool(const std::string &name, const std::vector<std::string> &args, const std::string &cwd,
    const std::vector<std::string> &env)
{
    std::vector<std::string> argv{toolPath(name)};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, cwd, env);
}

FormatInfo probe(const std::string &path)
{
    FormatInfo info;
    const RunResult r = runProgram({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
        "format=format_name:stream=codec_type,codec_name,profile,channels,sample_rate,width,height,nb_read_frames",
        "-of", "json", path},
        {}, {}, true);
    adapt::JsonValue root;
    if (r.exitCode != 0 || !adapt::JsonValue::parse(r.output, &root))
        return info;
    info.format = root["format"]["format_name"].toString();
    for (const auto &s : root["streams"].items()) {
        StreamInfo st;
        st.type = s["codec_type"].toString();
        st.codec = s["codec_name"].toString();
        st.profile = s["profile"].toString();
        st.channels = static_cast<int>(s["channels"].toNumber());
        st.sampleRate = std::atoi(s["sample_rate"].toString().c_str());
        st.width = static_cast<int>(s["width"].toNumber());
        st.height = static_cast<int>(s["height"].toNumber());
        const std::string frames = s["nb_read_frames"].toString();
        st.frames = frames.empty() ? -1 : std::atoll(frames.c_str());
        info.streams.push_back(st);
    }
    return info;
}

namespace {

std::vector<std::string> hashesOf(const std::string &path, const std::string &spec, bool decode)
{
    std::vector<std::string> argv{"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:" + spec};
    // Every frame counts: no duplicates or drops for a constant frame rate.
    argv.insert(argv.end(), {"-fps_mode", "passthrough"});
    if (!decode)
        argv.insert(argv.end(), {"-c", "copy"});
    argv.insert(argv.end(), {"-f", "framemd5", "-"});
    const RunResult r = runProgram(argv, {}, {}, true);
    std::vector<std::string> hashes;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        // stream, dts, pts, duration, size, hash, then side data fields
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < 6 && std::getline(fields, field, ','); ++i) {
        }
        const auto start = field.find_first_not_of(' ');
        hashes.push_back(start == std::string::npos ? field : field.substr(start));
    }
    return hashes;
}

} // namespace

std::vector<std::string> frameHashes(const std::string &path, const std::string &spec)
{
    return hashesOf(path, spec, true);
}

std::vector<std::string> packetHashes(const std::string &path, const std::string &spec)
{
    return hashesOf(path, spec, false);
}

std::string decodedAudioHash(const std::string &path)
{
    const RunResult r = runProgram(
        {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "md5", "-"}, {}, {}, true);
    return r.exitCode == 0 ? r.output : std::string();
}

long long decodedSamples(const std::string &path)
{
    const RunResult r = runProgram(
        {"/usr/bin/ffmpeg", "-nostdin", "-v", "quiet", "-i", path, "-map", "0:a:0", "-ac", "1", "-f", "s16le", "-"}, {},
        {}, true);
    return static_cast<long long>(r.output.size() / 2);
}

std::vector<std::string> waveChunks(const std::string &path)
{
    const std::string d = readFile(path);
    std::vector<std::string> ids;
    if (d.size() < 12 || d.compare(0, 4, "RIFF") != 0 || d.compare(8, 4, "WAVE") != 0)
        return ids;
    size_t pos = 12;
    while (pos + 8 <= d.size()) {
        const std::string id = d.substr(pos, 4);
        ids.push_back(id);
        if (id == "data")
            break;
        const auto *p = reinterpret_cast<const unsigned char *>(d.data() + pos + 4);
        const size_t size = p[0] | p[1] << 8 | p[2] << 16 | static_cast<size_t>(p[3]) << 24;
        pos += 8 + size + (size & 1);
    }
    return ids;
}

std::uint16_t waveFormatTag(const std::string &path)
{
    const std::string d = readFile(path);
    if (d.size() < 22 || d.compare(12, 4, "fmt ") != 0)
        return 0;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(d[20]) | static_cast<unsigned char>(d[21]) << 8);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool exists(const std::string &path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::int64_t sizeOf(const std::string &path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<std::int64_t>(size);
}

} // namespace adaptertest
