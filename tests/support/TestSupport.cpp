#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <signal.h>
#include <sys/stat.h>

namespace testsupport {
namespace {

struct Sandbox
{
    std::string root;

    Sandbox()
    {
        const char *base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/marbleway-test-XXXXXX";
        if (!mkdtemp(templ.data()))
            std::abort();
        root = templ;
        for (const char *sub : { "/home", "/config", "/tmp", "/cache" })
            mkdir((root + sub).c_str(), 0700);
        setenv("HOME", (root + "/home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", (root + "/tmp").c_str(), 1);
        unsetenv("MARBLEWAY_PROGRAM_FOLDER");
    }

    ~Sandbox()
    {
        std::error_code ec;
        // Tests restore the permissions they take away; be forgiving anyway.
        for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
        }
        std::filesystem::remove_all(root, ec);
    }
};

Sandbox &theSandbox()
{
    static Sandbox s;
    return s;
}

// Runs before main(): nothing may see the real user's folders.
const bool g_sandboxReady = (theSandbox(), true);

} // namespace

QString sandbox()
{
    return QString::fromStdString(theSandbox().root);
}

QString freshFolder(const QString &name)
{
    static int counter = 0;
    const QString path = sandbox() + QStringLiteral("/") + name + QString::number(++counter);
    QDir().mkpath(path);
    return path;
}

void ensureApp()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char arg0[] = "marbleway-tests";
    static char *argv[] = { arg0, nullptr };
    new QCoreApplication(argc, argv);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void writeTool(const QString &path, const QByteArray &body)
{
    writeFile(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ReadOwner);
}

bool processGone(pid_t pid)
{
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    // "pid (comm) S ...": the state follows the last ')'.
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

bool waitGone(pid_t pid)
{
    for (int i = 0; i < 250; ++i) {
        if (processGone(pid))
            return true;
        QThread::msleep(20);
    }
    return false;
}

bool waitForFile(const QString &path)
{
    for (int i = 0; i < 250; ++i) {
        if (QFile::exists(path))
            return true;
        QThread::msleep(20);
    }
    return false;
}

pid_t readPid(const QString &path)
{
    return static_cast<pid_t>(readFile(path).trimmed().toLong());
}

void RecordingHost::setStatusText(int part, const QString &text)
{
    calls.emplace_back(part, text);
}

QStringList RecordingHost::texts(int part) const
{
    QStringList out;
    for (const auto &c : calls) {
        if (c.first == part)
            out << c.second;
    }
    return out;
}

QString RecordingHost::last(int part) const
{
    const QStringList t = texts(part);
    return t.isEmpty() ? QString() : t.last();
}

bool RecordingHost::shown(int part, const QString &text) const
{
    return texts(part).contains(text);
}

} // namespace testsupport
