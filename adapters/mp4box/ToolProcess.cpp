#include "ToolProcess.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace mp4box {

volatile sig_atomic_t g_runningChild = 0;

int runReadingLines(const std::vector<std::string> &argv, const std::function<void(std::string_view)> &onLine)
{
    if (argv.empty())
        return -1;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
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
        return -1;
    }
    g_runningChild = pid;
    std::string pending;
    char buf[16384];
    for (;;) {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\n' || buf[i] == '\r') {
                    if (!pending.empty())
                        onLine(pending);
                    pending.clear();
                } else {
                    pending.push_back(buf[i]);
                }
            }
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    if (!pending.empty())
        onLine(pending);
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            g_runningChild = 0;
            return -1;
        }
    }
    g_runningChild = 0;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

} // namespace mp4box
