#include "platform/WorkFolders.h"

#include "platform/Paths.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

const char kRunPrefix[] = "run-";
const char kKeptPrefix[] = "kept-";

// mkdir -p, each new level private to the user.
bool makePrivatePath(const QString &folder)
{
    const QByteArray path = encodePath(folder);
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path.at(i) != '/')
            continue;
        const QByteArray prefix = path.left(i);
        if (::mkdir(prefix.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool canCreateFilesIn(const QString &folder)
{
    // A name of its own: runs starting together test the same folder at once.
    QByteArray marker = encodePath(folder + QStringLiteral("/tempfile.Tarvolin.Qor.XXXXXX"));
    const int fd = ::mkostemp(marker.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return ::unlink(marker.constData()) == 0;
}

bool processIsAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

} // namespace

FolderProblem preparePrivateFolder(const QString &folderIn)
{
    const QString folder = withoutTrailingSeparators(folderIn);
    if (folder.isEmpty())
        return FolderProblem::CannotCreate;
    const QByteArray path = encodePath(folder);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT || !makePrivatePath(folder) || ::lstat(path.constData(), &st) != 0)
            return FolderProblem::CannotCreate;
    }
    if (S_ISLNK(st.st_mode))
        return FolderProblem::SymbolicLink;
    if (!S_ISDIR(st.st_mode))
        return FolderProblem::NotAFolder;
    if (st.st_uid != ::geteuid())
        return FolderProblem::OtherOwner;
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return FolderProblem::OpenToOthers;
    if (!canCreateFilesIn(folder))
        return FolderProblem::NotWritable;
    return FolderProblem::None;
}

QStringList defaultTempFolders()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    QStringList folders{ withoutTrailingSeparators(cache) + QStringLiteral("/marbleway") };
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime))
        folders << withoutTrailingSeparators(runtime) + QStringLiteral("/marbleway");
    return folders;
}

void removeStaleRunFolders(const QString &folderIn)
{
    const QString folder = withoutTrailingSeparators(folderIn);
    DIR *dir = ::opendir(encodePath(folder).constData());
    if (!dir)
        return;
    QStringList stale;
    while (dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (!name.startsWith(kRunPrefix))
            continue;
        const QByteArray pidText = name.mid(int(sizeof kRunPrefix) - 1).split('-').value(0);
        bool ok = false;
        const long pid = pidText.toLong(&ok);
        if (!ok || processIsAlive(static_cast<pid_t>(pid)))
            continue;
        const QString sub = folder + kSeparator + decodeName(name);
        struct stat st;
        if (::lstat(encodePath(sub).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        // A run holds a lock on its folder while it lasts; its process id alone could
        // belong to another namespace.
        const int fd = ::open(encodePath(sub).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            stale << sub;
        ::close(fd);
    }
    ::closedir(dir);
    for (const QString &sub : stale)
        QDir(sub).removeRecursively();
}

RunFolder::~RunFolder()
{
    unlock();
}

void RunFolder::unlock()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

bool RunFolder::create(const QString &tempFolder)
{
    remove();
    const QString folder = withoutTrailingSeparators(tempFolder);
    removeStaleRunFolders(folder);
    QByteArray templ = encodePath(folder + kSeparator + QLatin1String(kRunPrefix)
                                  + QString::number(::getpid()) + QStringLiteral("-XXXXXX"));
    if (!::mkdtemp(templ.data()))
        return false;
    m_lockFd = ::open(templ.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_lockFd < 0 || ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        unlock();
        ::rmdir(templ.constData());
        return false;
    }
    m_path = decodeName(templ) + kSeparator;
    return true;
}

QString RunFolder::keep()
{
    if (m_path.isEmpty())
        return m_path;
    const QString current = withoutTrailingSeparators(m_path);
    const qsizetype sep = lastSeparator(current);
    const QString kept = current.left(sep + 1) + QLatin1String(kKeptPrefix)
        + current.mid(sep + 1 + qsizetype(sizeof kRunPrefix) - 1);
    if (::rename(encodePath(current).constData(), encodePath(kept).constData()) == 0)
        m_path = kept + kSeparator;
    unlock();
    return m_path;
}

void RunFolder::remove()
{
    unlock();
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
    m_path.clear();
}

} // namespace platform
