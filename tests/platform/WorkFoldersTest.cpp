#include "platform/WorkFolders.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;
using platform::RunFolder;

namespace {

// The id of a process that has ended.
pid_t deadPid()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

QString withFile(const QString &folder)
{
    QDir().mkpath(folder);
    writeFile(folder + QStringLiteral("/data"), "x");
    return folder;
}

} // namespace

TEST(RunFolder, EachRunHasItsOwnPrivateFolderRemovedOrKept)
{
    const QString temp = freshFolder(QStringLiteral("runs"));
    RunFolder a, b;
    ASSERT_TRUE(a.create(temp + QStringLiteral("/")));
    ASSERT_TRUE(b.create(temp));
    EXPECT_NE(a.path(), b.path());
    EXPECT_TRUE(a.path().startsWith(temp + QStringLiteral("/run-%1-").arg(getpid()))) << a.path().toStdString();
    EXPECT_TRUE(a.path().endsWith(QLatin1Char('/')));
    EXPECT_EQ(QFileInfo(a.path()).permissions() & 0x7077,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeFile(a.path() + QStringLiteral("temp.aac"), "a");
    writeFile(b.path() + QStringLiteral("temp.aac"), "b");

    const QString before = b.path();
    b.remove();
    EXPECT_FALSE(QFileInfo::exists(before));
    const QString kept = a.keep();
    EXPECT_TRUE(kept.startsWith(temp + QStringLiteral("/kept-%1-").arg(getpid()))) << kept.toStdString();
    EXPECT_EQ(readFile(kept + QStringLiteral("temp.aac")), QByteArray("a"));
}

TEST(RunFolder, OnlyFoldersOfEndedRunsAreCleanedAtTheNextStart)
{
    const QString temp = freshFolder(QStringLiteral("stale"));
    const QString dead = QString::number(deadPid());
    const QString stale = withFile(temp + QStringLiteral("/run-") + dead + QStringLiteral("-crashed"));
    const QString keptByUser = withFile(temp + QStringLiteral("/kept-") + dead + QStringLiteral("-asked"));
    const QString alive = withFile(temp + QStringLiteral("/run-%1-other").arg(getppid()));
    const QString userFolder = withFile(temp + QStringLiteral("/run-away"));
    // A run of another process namespace: its id means nothing here, its lock does.
    const QString locked = withFile(temp + QStringLiteral("/run-") + dead + QStringLiteral("-locked"));
    const int fd = ::open(QFile::encodeName(locked).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    // A link dressed as a stale run: neither it nor what it points at is touched.
    const QString target = withFile(freshFolder(QStringLiteral("target")));
    ASSERT_TRUE(QFile::link(target, temp + QStringLiteral("/run-") + dead + QStringLiteral("-link")));

    RunFolder run;
    ASSERT_TRUE(run.create(temp));
    ::close(fd);
    EXPECT_FALSE(QFileInfo::exists(stale));
    for (const QString &folder : { keptByUser, alive, userFolder, locked, target })
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/data"))) << folder.toStdString();
    EXPECT_TRUE(QFileInfo(temp + QStringLiteral("/run-") + dead + QStringLiteral("-link")).isSymLink());
    run.remove();
}
