#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

QString &programFolderOverride()
{
    static QString value;
    return value;
}

bool statPath(const QString &path, struct stat *st)
{
    if (path.isEmpty())
        return false;
    return ::stat(encodePath(path).constData(), st) == 0;
}

} // namespace

QByteArray encodePath(const QString &path)
{
    return QFile::encodeName(path);
}

QString decodeName(const QByteArray &bytes)
{
    return QFile::decodeName(bytes);
}

QString shortPath(const QString &path)
{
    struct stat st;
    if (!statPath(path, &st))
        return QString();
    QString abs = QFileInfo(path).absoluteFilePath();
    if (S_ISDIR(st.st_mode) && path.endsWith(kSeparator) && !abs.endsWith(kSeparator))
        abs += kSeparator;
    return abs;
}

bool fileExists(const QString &path)
{
    struct stat st;
    return statPath(path, &st) && !S_ISDIR(st.st_mode);
}

NewFile createNewFile(const QString &path)
{
    if (path.isEmpty())
        return NewFile::Failed;
    const int fd = ::open(encodePath(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::close(fd);
        return NewFile::Created;
    }
    return errno == EEXIST ? NewFile::Taken : NewFile::Failed;
}

bool directoryExists(const QString &path)
{
    struct stat st;
    return statPath(path, &st) && S_ISDIR(st.st_mode);
}

qsizetype lastSeparator(const QString &path)
{
    return path.lastIndexOf(kSeparator);
}

QString withoutTrailingSeparators(const QString &path)
{
    QString t = path;
    while (t.size() > 1 && t.endsWith(kSeparator))
        t.chop(1);
    return t;
}

QString programFolder()
{
    QString folder = programFolderOverride();
    if (folder.isEmpty())
        folder = qEnvironmentVariable("MARBLEWAY_PROGRAM_FOLDER");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(kSeparator))
        folder += kSeparator;
    return folder;
}

void setProgramFolderOverride(const QString &folder)
{
    programFolderOverride() = folder;
}

QString systemTempFolder()
{
    return withoutTrailingSeparators(QDir::tempPath());
}

QString desktopFolder()
{
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !directoryExists(desktop))
        desktop = QDir::homePath();
    return withoutTrailingSeparators(desktop);
}

bool isEncodablePath(const QString &path)
{
    for (QChar c : path) {
        if (c.isSurrogate() && !c.isHighSurrogate() && !c.isLowSurrogate())
            return false;
    }
    // Undecodable file-name bytes come back as something else.
    QByteArray bytes = encodePath(path);
    return QFile::decodeName(bytes) == path && QString::fromUtf8(bytes).toUtf8() == bytes;
}

bool isScriptSafePath(const QString &path)
{
    for (QChar c : path) {
        // A backslash before the closing quote of a script argument would escape it.
        if (c == QLatin1Char('"') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return isEncodablePath(path);
}

QString resolveLinks(const QString &path)
{
    QFileInfo info(path);
    if (info.isSymLink()) {
        QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            return target;
    }
    return path;
}

} // namespace platform
