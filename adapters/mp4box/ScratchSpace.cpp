#include "ScratchSpace.h"

#include "ToolProcess.h"
#include "common/FileUtil.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mp4box {
namespace {

    // Read by the signal handler: plain fixed buffers only.
    constexpr int kMaxFiles = 32;
    char g_dir[PATH_MAX];
    char g_files[kMaxFiles][PATH_MAX];
    volatile sig_atomic_t g_fileCount = 0;

    void onCancel(int sig)
    {
        const pid_t child = g_runningChild;
        if (child > 0)
            kill(child, SIGKILL);
        for (int i = 0; i < g_fileCount; ++i)
            unlink(g_files[i]);
        if (g_dir[0])
            rmdir(g_dir);
        signal(sig, SIG_DFL);
        raise(sig);
    }

    // Removes the folders of runs that were killed outright (SIGKILL leaves no chance to
    // clean up): their name holds the owner's process ID, and that process is gone.
    void removeAbandoned(const std::string &parent)
    {
        DIR *d = opendir(parent.c_str());
        if (!d)
            return;
        const std::string prefix = ".mp4box-";
        while (dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.compare(0, prefix.size(), prefix) != 0)
                continue;
            char *end = nullptr;
            const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
            if (pid <= 0 || *end != '-' || (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH))
                continue;
            const std::string dir = parent + "/" + name;
            struct stat st;
            if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                continue;
            if (DIR *inner = opendir(dir.c_str())) {
                while (dirent *f = readdir(inner)) {
                    const std::string child = dir + "/" + f->d_name;
                    if (lstat(child.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                        unlink(child.c_str());
                }
                closedir(inner);
            }
            rmdir(dir.c_str());
        }
        closedir(d);
    }

} // namespace

void ScratchSpace::installSignalHandlers()
{
    struct sigaction sa { };
    sa.sa_handler = onCancel;
    sigemptyset(&sa.sa_mask);
    for (int sig : { SIGTERM, SIGINT, SIGHUP })
        sigaction(sig, &sa, nullptr);
}

namespace {

    bool sameFileSystem(const std::string &a, const std::string &b)
    {
        struct stat sa, sb;
        return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && S_ISDIR(sa.st_mode) && sa.st_dev == sb.st_dev;
    }

} // namespace

bool ScratchSpace::create(const std::string &destination, std::string *error)
{
    // The temporary folder (the engine gives each tool its work folder there) keeps the
    // user's folder free of our files, as long as the finished file can still be renamed
    // into place; otherwise the folder goes beside the destination.
    const std::string destinationFolder = adapt::folderOf(destination);
    std::string parent = destinationFolder;
    const char *tmp = std::getenv("TMPDIR");
    if (tmp && *tmp && sameFileSystem(tmp, destinationFolder))
        parent = tmp;
    removeAbandoned(destinationFolder);
    if (parent != destinationFolder)
        removeAbandoned(parent);
    std::string templ = parent + "/.mp4box-" + std::to_string(getpid()) + "-XXXXXX";
    if (templ.size() >= PATH_MAX - 64) {
        *error = "the path " + destination + " is too long";
        return false;
    }
    std::strcpy(g_files[0], templ.c_str());
    // g_dir is set only once the folder exists.
    if (!mkdtemp(g_files[0])) {
        *error = "cannot create a temporary folder in " + parent + ": " + std::strerror(errno);
        g_files[0][0] = '\0';
        return false;
    }
    std::strcpy(g_dir, g_files[0]);
    g_files[0][0] = '\0';
    return true;
}

std::string ScratchSpace::file(const std::string &name)
{
    const std::string path = std::string(g_dir) + "/" + name;
    if (g_fileCount < kMaxFiles && path.size() < PATH_MAX) {
        std::strcpy(g_files[g_fileCount], path.c_str());
        g_fileCount = g_fileCount + 1;
    }
    return path;
}

void ScratchSpace::removeAll()
{
    if (!g_dir[0])
        return;
    // Everything in the folder is ours, also files a tool made on its own.
    if (DIR *d = opendir(g_dir)) {
        while (dirent *e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                unlink((std::string(g_dir) + "/" + e->d_name).c_str());
        }
        closedir(d);
    }
    rmdir(g_dir);
    g_fileCount = 0;
    g_dir[0] = '\0';
}

ScratchSpace::~ScratchSpace() { removeAll(); }

} // namespace mp4box
