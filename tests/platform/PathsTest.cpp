#include "platform/Paths.h"
#include "platform/SystemInfo.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform;
using namespace testsupport;

TEST(Paths, ShortPathIsTheAbsolutePathOfWhatExistsElseEmpty)
{
    const QString dir = freshFolder(QStringLiteral("paths 폴더"));
    const QString file = dir + QStringLiteral("/a b.avi");
    writeFile(file, "x");
    EXPECT_EQ(shortPath(file), file);
    EXPECT_EQ(shortPath(dir + QStringLiteral("/missing.avi")), QString());
    EXPECT_EQ(shortPath(QString()), QString());
    // A folder keeps the trailing separator it was given.
    EXPECT_EQ(shortPath(dir + QStringLiteral("/")), dir + QStringLiteral("/"));
    EXPECT_EQ(shortPath(dir), dir);
    // Relative paths become absolute.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir));
    EXPECT_EQ(shortPath(QStringLiteral("a b.avi")), file);
    QDir::setCurrent(previous);
}

TEST(Paths, FileExistsIsFalseForFoldersAndMissingFiles)
{
    const QString dir = freshFolder();
    writeFile(dir + QStringLiteral("/f"), "");
    EXPECT_TRUE(fileExists(dir + QStringLiteral("/f")));
    EXPECT_FALSE(fileExists(dir));
    EXPECT_FALSE(fileExists(dir + QStringLiteral("/g")));
    EXPECT_FALSE(fileExists(QString()));
    EXPECT_TRUE(directoryExists(dir));
    EXPECT_FALSE(directoryExists(dir + QStringLiteral("/f")));
}

TEST(Paths, SeparatorHelpers)
{
    EXPECT_EQ(withoutTrailingSeparators(QStringLiteral("/a/b///")), QStringLiteral("/a/b"));
    EXPECT_EQ(withoutTrailingSeparators(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(withoutTrailingSeparators(QString()), QString());
    EXPECT_EQ(lastSeparator(QStringLiteral("/a/b.avi")), 2);
    EXPECT_EQ(lastSeparator(QStringLiteral("b.avi")), -1);
}

TEST(Paths, ScriptSafeNames)
{
    for (const QString &ok : { QStringLiteral("/a/b c.avi"), QStringLiteral("/a/%1 $(x) `y` ;&|.avi"),
                               QStringLiteral("/가/한글.mkv"), QStringLiteral("/a/\u1112\u1161\u11AB.mkv"),
                               QStringLiteral("/a/emoji \U0001F3AC.mp4") })
        EXPECT_TRUE(isScriptSafePath(ok)) << qPrintable(ok);
    for (const QString &bad : { QStringLiteral("/a/\"q\".avi"), QStringLiteral("/a/line\nbreak.avi"),
                                QStringLiteral("/a/cr\r.avi"), QStringLiteral("/a/tab\t.avi"),
                                QStringLiteral("/a/del\x7F.avi"), QStringLiteral("/a/dir\\/x.avi"),
                                QStringLiteral("/a/back\\slash.avi"), QString(QChar(0xD800)) + QStringLiteral(".avi") })
        EXPECT_FALSE(isScriptSafePath(bad)) << qPrintable(bad);
}

TEST(Paths, ProgramFolderOverrideAndTrailingSeparator)
{
    setProgramFolderOverride(QString());
    setenv("MARBLEWAY_PROGRAM_FOLDER", "/opt/mw", 1);
    EXPECT_EQ(programFolder(), QStringLiteral("/opt/mw/"));
    setProgramFolderOverride(QStringLiteral("/elsewhere/"));
    EXPECT_EQ(programFolder(), QStringLiteral("/elsewhere/"));
    setProgramFolderOverride(QString());
    unsetenv("MARBLEWAY_PROGRAM_FOLDER");
}

TEST(Paths, UserFoldersComeFromTheEnvironment)
{
    EXPECT_EQ(systemTempFolder(), sandbox() + QStringLiteral("/tmp"));
    // No Desktop folder in the sandbox home: the home folder itself.
    EXPECT_EQ(desktopFolder(), sandbox() + QStringLiteral("/home"));
}

TEST(Paths, LinksResolveToTheirTarget)
{
    const QString dir = freshFolder();
    writeFile(dir + QStringLiteral("/real.avi"), "x");
    ASSERT_TRUE(QFile::link(dir + QStringLiteral("/real.avi"), dir + QStringLiteral("/link.avi")));
    EXPECT_EQ(resolveLinks(dir + QStringLiteral("/link.avi")), dir + QStringLiteral("/real.avi"));
    EXPECT_EQ(resolveLinks(dir + QStringLiteral("/real.avi")), dir + QStringLiteral("/real.avi"));
}

TEST(SystemInfo, FiguresAreInRange)
{
    const LocalTime t = localTime();
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_GE(t.millisecond, 0);
    EXPECT_LE(t.millisecond, 999);
    const auto mem = memoryStatus();
    ASSERT_TRUE(mem);
    EXPECT_GT(mem->totalBytes, 0u);
    EXPECT_LE(mem->availableBytes, mem->totalBytes);
    EXPECT_GE(mem->loadPercent, 0);
    EXPECT_LE(mem->loadPercent, 100);
    EXPECT_TRUE(osInfoLine().startsWith(QStringLiteral("OS Info: ")));
    // The output of a step does not exist yet: the nearest existing folder answers.
    const auto space = freeSpace(freshFolder() + QStringLiteral("/not/yet/there.wav"));
    ASSERT_TRUE(space);
    EXPECT_TRUE(space->mountPoint.startsWith(QLatin1Char('/')));
    EXPECT_FALSE(freeSpace(QStringLiteral("C:/x.wav")));
    EXPECT_FALSE(freeSpace(QString()));
}
