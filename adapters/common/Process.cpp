#include "common/Process.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace adapt {
namespace {

int waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::vector<char *> argvPointers(const std::vector<std::string> &argv)
{
    std::vector<char *> p;
    for (const auto &a : argv)
        p.push_back(const_cast<char *>(a.c_str()));
    p.push_back(nullptr);
    return p;
}

} // namespace

std::string systemTool(const std::string &name)
{
    std::string var = "MARBLEWAY_SYSTEM_";
    for (char c : name)
        var += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (const char *v = std::getenv(var.c_str()); v && *v)
        return v;
    return "/usr/bin/" + name;
}

int run(const std::vector<std::string> &argv)
{
    if (argv.empty())
        return -1;
    auto p = argvPointers(argv);
    pid_t pid;
    if (posix_spawn(&pid, p[0], nullptr, nullptr, p.data(), environ) != 0)
        return -1;
    return waitFor(pid);
}

int capture(const std::vector<std::string> &argv, std::string *out, bool quietErrors)
{
    return captureStreaming(
        argv,
        [out](std::string_view chunk) {
            if (out)
                out->append(chunk);
        },
        quietErrors);
}

int captureStreaming(const std::vector<std::string> &argv,
    const std::function<void(std::string_view)> &onOutput, bool quietErrors,
    const std::function<void(pid_t)> &onStarted)
{
    if (argv.empty())
        return -1;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (quietErrors)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    auto p = argvPointers(argv);
    pid_t pid;
    int rc = posix_spawn(&pid, p[0], &actions, nullptr, p.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return -1;
    }
    if (onStarted)
        onStarted(pid);
    char buf[16384];
    for (;;) {
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0) {
            if (onOutput)
                onOutput(std::string_view(buf, static_cast<size_t>(n)));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(fds[0]);
    return waitFor(pid);
}

} // namespace adapt
