// A stand-in for one outside tool that misbehaves on purpose. The faults suite links
// tools/NAME to this program; it finds the real tool under the same relative path in
// MARBLEWAY_REAL_TOOLS and, on its MARBLEWAY_FAULT_AT-th call (default the first),
// misbehaves as MARBLEWAY_FAULT says; every other call runs the real tool.
//   exit      ends at once, writes nothing
//   crash     dies of SIGSEGV at once
//   truncate  runs the real tool, then cuts every file it wrote (its redirected
//             output included) to half its size
//   hang      starts a helper process, then both wait for ever; their process ids go
//             to MARBLEWAY_FAULT_STATE/hang.pids
//   flood     writes a few megabytes to standard output and error, then runs the real tool
//   remove    removes the file MARBLEWAY_FAULT_REMOVE names, then runs the real tool
//   rewrite   runs the real tool with the first MARBLEWAY_FAULT_FROM in its arguments
//             replaced by MARBLEWAY_FAULT_TO (a tool that gets one option wrong)
// Every call appends its process id to MARBLEWAY_FAULT_STATE/pids.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

void appendLine(const std::string &path, const std::string &line)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    ssize_t w = write(fd, text.data(), text.size());
    (void)w;
    close(fd);
}

// Which call of this tool this is (1 for the first), counted in the state folder.
int callNumber(const std::string &state, const std::string &name)
{
    const std::string counter = state + "/calls." + name;
    const int fd = open(counter.c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0)
        return 1;
    char buf[32] = {};
    ssize_t got = read(fd, buf, sizeof buf - 1);
    const int n = (got > 0 ? std::atoi(buf) : 0) + 1;
    const std::string text = std::to_string(n);
    if (lseek(fd, 0, SEEK_SET) == 0) {
        ssize_t w = write(fd, text.data(), text.size());
        (void)w;
    }
    close(fd);
    return n;
}

[[noreturn]] void execReal(const std::string &real, char **argv)
{
    argv[0] = const_cast<char *>(real.c_str());
    execv(real.c_str(), argv);
    std::fprintf(stderr, "fault tool: cannot run %s: %s\n", real.c_str(), std::strerror(errno));
    _exit(127);
}

struct Stamp
{
    bool exists = false;
    off_t size = 0;
    timespec mtime = {};
};

Stamp stampOf(const char *path)
{
    struct stat st;
    Stamp s;
    if (stat(path, &st) == 0 && S_ISREG(st.st_mode)) {
        s.exists = true;
        s.size = st.st_size;
        s.mtime = st.st_mtim;
    }
    return s;
}

bool changed(const Stamp &before, const Stamp &after)
{
    return after.exists
        && (!before.exists || before.size != after.size || before.mtime.tv_sec != after.mtime.tv_sec
            || before.mtime.tv_nsec != after.mtime.tv_nsec);
}

int runThenTruncate(const std::string &real, int argc, char **argv)
{
    std::map<std::string, Stamp> before;
    for (int i = 1; i < argc; ++i)
        before[argv[i]] = stampOf(argv[i]);
    const pid_t child = fork();
    if (child == 0)
        execReal(real, argv);
    int status = 0;
    waitpid(child, &status, 0);
    for (const auto &[path, stamp] : before) {
        const Stamp after = stampOf(path.c_str());
        if (changed(stamp, after) && truncate(path.c_str(), after.size / 2) != 0)
            std::perror(path.c_str());
    }
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
        if (ftruncate(STDOUT_FILENO, st.st_size / 2) != 0)
            std::perror("stdout");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

void flood()
{
    // Progress-like lines, long runs without a line break and bytes that are not text.
    std::string chunk;
    for (int i = 0; i < 400; ++i)
        chunk += "frame=  " + std::to_string(i) + " fps= 41 q=28.0 size=    2048kB time=00:00:01.00 bitrate= 517.8kbits/s\r";
    chunk += std::string(30000, 'x');
    for (int i = 0; i < 256; ++i)
        chunk += static_cast<char>(i);
    chunk += "\n";
    for (size_t written = 0; written < 4u * 1024 * 1024; written += chunk.size()) {
        if (write(STDOUT_FILENO, chunk.data(), chunk.size()) < 0 || write(STDERR_FILENO, "  45%\r", 6) < 0)
            break;
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::string self = argv[0];
    const size_t toolsAt = self.rfind("/tools/");
    const std::string relative = toolsAt == std::string::npos ? self.substr(self.rfind('/') + 1)
                                                              : self.substr(toolsAt + 7);
    const std::string name = self.substr(self.rfind('/') + 1);
    const std::string real = env("MARBLEWAY_REAL_TOOLS") + "/" + relative;
    const std::string state = env("MARBLEWAY_FAULT_STATE");
    const std::string mode = env("MARBLEWAY_FAULT");
    const int faultAt = env("MARBLEWAY_FAULT_AT").empty() ? 1 : std::atoi(env("MARBLEWAY_FAULT_AT").c_str());

    appendLine(state + "/pids", std::to_string(getpid()));
    if (callNumber(state, name) != faultAt || mode.empty())
        execReal(real, argv);

    if (mode == "exit")
        _exit(0);
    if (mode == "crash") {
        struct rlimit none = { 0, 0 };
        setrlimit(RLIMIT_CORE, &none);
        signal(SIGSEGV, SIG_DFL);
        raise(SIGSEGV);
        _exit(1);
    }
    if (mode == "truncate")
        return runThenTruncate(real, argc, argv);
    if (mode == "hang") {
        const pid_t helper = fork();
        if (helper == 0) {
            for (;;)
                pause();
        }
        // Written last, so a reader that sees the file sees both ids.
        const std::string tmp = state + "/hang.pids.tmp";
        appendLine(tmp, std::to_string(getpid()) + " " + std::to_string(helper));
        rename(tmp.c_str(), (state + "/hang.pids").c_str());
        for (;;)
            pause();
    }
    if (mode == "remove") {
        unlink(env("MARBLEWAY_FAULT_REMOVE").c_str());
        execReal(real, argv);
    }
    if (mode == "rewrite") {
        const std::string from = env("MARBLEWAY_FAULT_FROM");
        static std::string changed;
        for (int i = 1; i < argc && !from.empty(); ++i) {
            const std::string arg = argv[i];
            const size_t at = arg.find(from);
            if (at == std::string::npos)
                continue;
            changed = arg.substr(0, at) + env("MARBLEWAY_FAULT_TO") + arg.substr(at + from.size());
            argv[i] = const_cast<char *>(changed.c_str());
            break;
        }
        execReal(real, argv);
    }
    if (mode == "flood") {
        flood();
        execReal(real, argv);
    }
    std::fprintf(stderr, "fault tool: unknown fault %s\n", mode.c_str());
    return 2;
}
