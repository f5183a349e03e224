#include "shell/DiagnosticLog.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testsupport;

namespace {

// The lines of a log file without their CR LF; fails the test on a bad file.
QStringList logLines(const QString &path)
{
    const QByteArray bytes = readFile(path);
    EXPECT_TRUE(bytes.startsWith("\xFF\xFE"));
    EXPECT_EQ(bytes.size() % 2, 0);
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    if (text.isEmpty())
        return {};
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    return lines;
}

const QRegularExpression kPrefix(QStringLiteral("^\\[\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] "));

QString withoutPrefix(const QString &line)
{
    const auto m = kPrefix.match(line);
    EXPECT_TRUE(m.hasMatch()) << qPrintable(line);
    return line.mid(m.capturedLength());
}

} // namespace

TEST(DiagnosticLog, FileBytesAreUtf16LeWithBomTimestampAndCrLf)
{
    const QString path = freshFolder() + QStringLiteral("/Qor_Log.txt");
    DiagnosticLog log;
    log.Start(path);
    EXPECT_EQ(readFile(path), QByteArray("\xFF\xFE", 2));

    log.WriteLine(QStringLiteral("A"));
    const QByteArray bytes = readFile(path);
    // "[yyyy.mm.dd hh:mm:ss.mmm] A\r\n" is 29 characters, two bytes each.
    ASSERT_EQ(bytes.size(), 2 + 29 * 2);
    EXPECT_EQ(bytes.mid(2, 2), QByteArray("[\0", 2));
    EXPECT_EQ(bytes.right(8), QByteArray("A\0\r\0\n\0", 6).prepend(QByteArray(" \0", 2)));
    const QString prefix = DiagnosticLog::timestampPrefix();
    EXPECT_TRUE(kPrefix.match(prefix).hasMatch()) << qPrintable(prefix);
    EXPECT_EQ(prefix.size(), 26);
}

TEST(DiagnosticLog, OneLinePerWriteWithTextUnchanged)
{
    const QString path = freshFolder() + QStringLiteral("/log.txt");
    DiagnosticLog log;
    log.Start(path);
    const QStringList texts = { QStringLiteral("Source filename: /a/%1 한글 $(x).avi"), QString(),
                                QStringLiteral("Option: Conversion Mode = 1") };
    for (const QString &t : texts)
        log.WriteLine(t);
    QStringList got;
    for (const QString &l : logLines(path))
        got << withoutPrefix(l);
    EXPECT_EQ(got, texts);
}

TEST(DiagnosticLog, SecondStartTruncatesTheEarlierLog)
{
    const QString path = freshFolder() + QStringLiteral("/log.txt");
    DiagnosticLog first;
    first.Start(path);
    first.WriteLine(QStringLiteral("first run"));
    DiagnosticLog second;
    second.Start(path);
    second.WriteLine(QStringLiteral("second run"));
    const QStringList lines = logLines(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(withoutPrefix(lines.first()), QStringLiteral("second run"));
}

TEST(DiagnosticLog, InertUntilStartedAndNeverRecreatesADeletedFile)
{
    const QString dir = freshFolder();
    DiagnosticLog idle;
    idle.WriteLine(QStringLiteral("x"));
    idle.WriteSystemInfo();
    idle.LogDriveFreeSpace(dir);
    EXPECT_FALSE(idle.isStarted());
    EXPECT_TRUE(QDir(dir).isEmpty());

    DiagnosticLog log;
    log.Start(dir + QStringLiteral("/log.txt"));
    QFile::remove(dir + QStringLiteral("/log.txt"));
    log.WriteLine(QStringLiteral("after delete"));
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/log.txt")));
}

TEST(DiagnosticLog, UnwritableFolderIsSilentlyIgnored)
{
    // A folder nobody can create files in, whoever runs the test.
    DiagnosticLog proc;
    proc.Start(QStringLiteral("/proc/self/Qor_Log.txt"));
    proc.WriteLine(QStringLiteral("x"));
    proc.WriteSystemInfo();
    EXPECT_FALSE(QFile::exists(QStringLiteral("/proc/self/Qor_Log.txt")));

    const QString dir = freshFolder(QStringLiteral("desk"));
    ASSERT_TRUE(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (access(dir.toUtf8().constData(), W_OK) == 0) {
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "running as root: permissions do not make a folder read-only";
    }
    DiagnosticLog log;
    log.Start(dir + QStringLiteral("/log.txt"));
    log.WriteLine(QStringLiteral("x"));
    const bool exists = QFile::exists(dir + QStringLiteral("/log.txt"));
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(exists);
}

TEST(DiagnosticLog, SystemInfoIsTheOsLineThenTheMemoryLine)
{
    const QString path = freshFolder() + QStringLiteral("/log.txt");
    DiagnosticLog log;
    log.Start(path);
    log.WriteSystemInfo();
    const QStringList lines = logLines(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(withoutPrefix(lines[0]).startsWith(QStringLiteral("OS Info: ")));
    const QRegularExpression mem(QStringLiteral(
        "^Mem Info: \\d+ MBytes of free physical memory \\(out of Total \\d+ MBytes of physical memory, \\d+% in use\\)$"));
    EXPECT_TRUE(mem.match(withoutPrefix(lines[1])).hasMatch()) << qPrintable(lines[1]);
}

TEST(DiagnosticLog, FreeSpaceLineNamesTheMountPointAndGroupsTheFigure)
{
    const QString dir = freshFolder();
    const QString path = dir + QStringLiteral("/log.txt");
    DiagnosticLog log;
    log.Start(path);
    // The output of a step does not exist yet; its folder may not either.
    log.LogDriveFreeSpace(dir + QStringLiteral("/not yet/out.wav"));
    log.LogDriveFreeSpace(QStringLiteral("relative/out.wav")); // no file system to ask: no line
    log.LogDriveFreeSpace(QString());
    const QStringList lines = logLines(path);
    ASSERT_EQ(lines.size(), 1);
    const QRegularExpression re(QStringLiteral("^ - (/\\S*) drive free space: (\\d{1,3}(,\\d{3})*)MB$"));
    const auto m = re.match(withoutPrefix(lines[0]));
    ASSERT_TRUE(m.hasMatch()) << qPrintable(lines[0]);
    EXPECT_TRUE(dir.startsWith(m.captured(1)));
}

TEST(DiagnosticLog, DefaultPathIsOnTheDesktopOrInHome)
{
    // The sandbox home has no Desktop folder.
    EXPECT_EQ(DiagnosticLog::defaultPath(), sandbox() + QStringLiteral("/home/Qor_Log.txt"));
}
