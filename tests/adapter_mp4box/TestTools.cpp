#include "TestTools.h"

#include "common/Process.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace mp4boxtest {
namespace {

    std::string binDir()
    {
        const char *dir = std::getenv("MARBLEWAY_BIN_DIR");
        if (!dir || !*dir)
            throw std::runtime_error("MARBLEWAY_BIN_DIR is not set");
        return dir;
    }

    void removeTree(const std::string &path)
    {
        if (DIR *d = opendir(path.c_str())) {
            while (dirent *e = readdir(d)) {
                const std::string name = e->d_name;
                if (name == "." || name == "..")
                    continue;
                const std::string child = path + "/" + name;
                struct stat st;
                if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                    removeTree(child);
                else
                    unlink(child.c_str());
            }
            closedir(d);
        }
        rmdir(path.c_str());
    }

    const char *kSubtitleAss
        = "[Script Info]\nScriptType: v4.00+\nPlayResX: 384\nPlayResY: 288\n\n"
          "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
          "BackColour, "
          "Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, "
          "Alignment, "
          "MarginL, MarginR, MarginV, Encoding\n"
          "Style: "
          "Default,Serif,24,&H00FFFFFF,&H00FFFFFF,&H00000000,&HFF000000,0,0,0,0,100,100,0,0,1,0,0,2,0,0,0,"
          "1\n\n"
          "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
          "Dialogue: 0,0:00:00.50,0:00:01.00,Default,,0,0,0,,{\\b1}Bold{\\b0} plain "
          "{\\i1\\1c&H0000FF&}red{\\i0\\1c&HFFFFFF&}\n"
          "Dialogue: 0,0:00:01.20,0:00:01.60,Default,,0,0,0,,\\N{\\u1}\xed\x95\x9c\xea\xb8\x80{\\u0}\n";

    // Each process writes its own copy: another process may be reading the shared folder's.
    std::string subtitleSource(const std::string &dir)
    {
        return dir + "/subtitle-" + std::to_string(getpid()) + ".ass";
    }

    // ffmpeg arguments (after the output's temporary name is appended) for each medium.
    std::vector<std::string> recipe(const std::string &name, const std::string &dir)
    {
        const std::vector<std::string> picture { "-f", "lavfi", "-i",
            "testsrc=size=160x120:rate=24000/1001:duration=2" };
        const std::vector<std::string> x264 { "-c:v", "libx264", "-preset", "ultrafast", "-threads", "1",
            "-g", "12", "-x264-params", "bframes=2:b-adapt=0:scenecut=0", "-pix_fmt", "yuv420p" };
        auto join = [](std::initializer_list<std::vector<std::string>> parts) {
            std::vector<std::string> all;
            for (const auto &p : parts)
                all.insert(all.end(), p.begin(), p.end());
            return all;
        };
        if (name == "bframes.h264")
            return join({ picture, x264, { "-f", "h264" } });
        if (name == "tone.aac")
            return { "-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "aac", "-b:a", "64k", "-f",
                "adts" };
        if (name == "h264.avi")
            return join({ picture, x264, { "-f", "avi" } });
        if (name == "mpeg4.avi")
            return { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-c:v", "mpeg4", "-bf",
                "2", "-q:v", "5", "-f", "avi" };
        if (name == "subtitled.mkv") {
            writeFile(subtitleSource(dir), kSubtitleAss);
            return join({ picture, { "-i", subtitleSource(dir), "-map", "0", "-map", "1" }, x264,
                { "-c:s", "srt", "-f", "matroska" } });
        }
        if (name == "source.mp4") {
            writeFile(subtitleSource(dir), kSubtitleAss);
            return join({ picture,
                { "-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-i", subtitleSource(dir) },
                { "-map", "0", "-map", "1", "-map", "2" }, x264,
                { "-c:a", "aac", "-b:a", "64k", "-c:s", "mov_text", "-metadata:s:s:0", "language=eng", "-f",
                    "mp4" } });
        }
        throw std::runtime_error("no recipe for " + name);
    }

} // namespace

RunResult runTool(const std::vector<std::string> &argv)
{
    RunResult r;
    int fds[2];
    if (pipe(fds) != 0)
        return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char *> p;
    for (const auto &a : argv)
        p.push_back(const_cast<char *>(a.c_str()));
    p.push_back(nullptr);
    pid_t pid;
    const int rc = posix_spawn(&pid, p[0], &actions, nullptr, p.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return r;
    }
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        r.output.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::string adapterPath(bool nightly)
{
    return binDir() + (nightly ? "/tools/Nightly/MP4Box" : "/tools/MP4Box");
}

std::vector<std::string> splitCommandLine(const std::string &line)
{
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false;
    bool any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any)
                out.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any)
        out.push_back(cur);
    return out;
}

std::string testMedia(const std::string &name)
{
    // Shared by the test processes; each file appears whole, by rename. Kept out of test-media/,
    // which the adapter tests replace wholesale when their media script changes.
    const std::string dir = binDir() + "/../test-media-mp4box-1";
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    if (fileExists(path))
        return path;
    const std::string tmp = path + ".part" + std::to_string(getpid());
    std::vector<std::string> argv { adapt::systemTool("ffmpeg"), "-nostdin", "-hide_banner", "-loglevel",
        "error", "-y" };
    for (const auto &a : recipe(name, dir))
        argv.push_back(a);
    argv.insert(argv.end(), { "-fflags", "+bitexact", "-flags:v", "+bitexact", tmp });
    const RunResult r = runTool(argv);
    unlink(subtitleSource(dir).c_str());
    if (r.status != 0 || std::rename(tmp.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot make test medium " + name + ": " + r.output);
    return path;
}

std::vector<std::string> frameHashes(const std::string &file, const std::string &stream)
{
    const RunResult r = runTool({ adapt::systemTool("ffmpeg"), "-nostdin", "-v", "error", "-i", file, "-map",
        "0:" + stream, "-f", "framemd5", "-" });
    std::vector<std::string> hashes;
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        hashes.push_back(line.substr(line.rfind(',') + 1));
    }
    return hashes;
}

int packetCount(const std::string &file, const std::string &stream)
{
    const RunResult r = runTool({ adapt::systemTool("ffprobe"), "-v", "error", "-select_streams", stream,
        "-count_packets", "-show_entries", "stream=nb_read_packets", "-of", "default=nw=1:nk=1", file });
    return std::atoi(r.output.c_str());
}

Probe::Probe(const std::string &file)
{
    m_report = runTool(
        { adapt::systemTool("ffprobe"), "-v", "error", "-show_format", "-show_streams", "-of", "flat", file })
                   .output;
}

std::string Probe::value(const std::string &key) const
{
    const std::string prefix = "\n" + key + "=";
    const size_t at = ("\n" + m_report).find(prefix);
    if (at == std::string::npos)
        return "(none)";
    const size_t start = at + prefix.size() - 1;
    std::string v = m_report.substr(start, m_report.find('\n', start) - start);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    return v;
}

std::string Probe::stream(int index, const std::string &key) const
{
    return value("streams.stream." + std::to_string(index) + "." + key);
}

std::string Probe::format(const std::string &key) const { return value("format." + key); }

int Probe::streamCount() const { return std::atoi(value("format.nb_streams").c_str()); }

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> listDir(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

TempDir::TempDir()
{
    char templ[] = "/tmp/mp4box-test-XXXXXX";
    if (!mkdtemp(templ))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = templ;
}

TempDir::~TempDir() { removeTree(m_path); }

} // namespace mp4boxtest
