#include "cli/CliArguments.h"

#include "TestSupport.h"
#include "platform/SystemInfo.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

CliArguments parse(std::initializer_list<const char *> args)
{
    QStringList list;
    for (const char *a : args)
        list << QString::fromUtf8(a);
    return ParseCliArguments(list);
}

} // namespace

TEST(CliArguments, IndexOptionsTakeTheirWholeRange)
{
    struct Case { const char *name; std::optional<int> CliArguments::*field; int items; };
    const Case cases[] = {
        { "--mode", &CliArguments::mode, 4 },          { "--profile", &CliArguments::profile, 6 },
        { "--device", &CliArguments::device, 4 },      { "--par", &CliArguments::par, 6 },
        { "--aac", &CliArguments::aac, 3 },            { "--audio-language", &CliArguments::audioLanguage, 16 },
        { "--subtitle-size", &CliArguments::subtitleSize, 4 }, { "--srt-codepage", &CliArguments::srtCodepage, 5 },
    };
    for (const Case &c : cases) {
        for (int v : { 0, c.items - 1 }) {
            const CliArguments a = ParseCliArguments({ QLatin1String(c.name), QString::number(v), QStringLiteral("x.avi") });
            EXPECT_TRUE(a.error.isEmpty()) << c.name << ' ' << qPrintable(a.error);
            EXPECT_EQ(a.*(c.field), v) << c.name;
            EXPECT_EQ(a.files, QStringList({ QStringLiteral("x.avi") }));
        }
        for (const QString &bad : { QString::number(c.items), QStringLiteral("-1"), QStringLiteral("two"),
                                    QStringLiteral("1.5"), QString() }) {
            const CliArguments a = ParseCliArguments({ QLatin1String(c.name), bad, QStringLiteral("x.avi") });
            EXPECT_FALSE(a.error.isEmpty()) << c.name << ' ' << qPrintable(bad);
        }
        // A value is required.
        EXPECT_FALSE(ParseCliArguments({ QStringLiteral("x.avi"), QLatin1String(c.name) }).error.isEmpty()) << c.name;
    }
}

TEST(CliArguments, JobsRangeFromOneToTheProcessors)
{
    const int most = platform::processorCount();
    for (int n : { 1, most }) {
        const CliArguments a = ParseCliArguments({ QStringLiteral("--jobs"), QString::number(n), QStringLiteral("x.avi") });
        EXPECT_TRUE(a.error.isEmpty()) << n << ' ' << qPrintable(a.error);
        ConverterOptions o;
        ApplyCliArguments(a, o);
        EXPECT_EQ(o.iConcurrentJobs, n);
    }
    for (const QString &bad : { QStringLiteral("0"), QString::number(most + 1), QStringLiteral("two"), QString() })
        EXPECT_FALSE(ParseCliArguments({ QStringLiteral("--jobs"), bad, QStringLiteral("x.avi") }).error.isEmpty())
            << qPrintable(bad);
}

TEST(CliArguments, FlagsAndFolders)
{
    const CliArguments a = parse({ "--normalize", "--deinterlace", "--check-30fps", "--only-under-4gb", "--create-dc",
                                   "--overwrite-dc", "--nightly", "--keep-temp", "--log", "--temp-folder", "rel/tmp",
                                   "--save-folder", "/abs/out/", "a.avi", "b.mkv" });
    ASSERT_TRUE(a.error.isEmpty()) << qPrintable(a.error);
    for (bool b : { a.normalize, a.deinterlace, a.check30fps, a.onlyUnder4gb, a.createDc, a.overwriteDc, a.nightly,
                    a.keepTemp, a.log })
        EXPECT_TRUE(b);
    EXPECT_EQ(a.tempFolder, QDir::currentPath() + QStringLiteral("/rel/tmp"));
    EXPECT_EQ(a.saveFolder, QStringLiteral("/abs/out"));
    EXPECT_EQ(a.files, QStringList({ QStringLiteral("a.avi"), QStringLiteral("b.mkv") }));
    EXPECT_FALSE(parse({ "--temp-folder", "", "a.avi" }).error.isEmpty());
    EXPECT_FALSE(parse({ "a.avi", "--save-folder" }).error.isEmpty());
}

TEST(CliArguments, UsageErrors)
{
    EXPECT_FALSE(parse({ "--frobnicate", "a.avi" }).error.isEmpty());
    EXPECT_FALSE(parse({ "--mode=2", "a.avi" }).error.isEmpty());
    EXPECT_FALSE(parse({}).error.isEmpty());
    EXPECT_FALSE(parse({ "--normalize" }).error.isEmpty()); // no FILE
    const CliArguments help = parse({ "--help" });
    EXPECT_TRUE(help.help);
    EXPECT_TRUE(help.error.isEmpty());
    // After "--" everything is a file, even what looks like an option.
    const CliArguments files = parse({ "--", "--mode", "-x.avi" });
    EXPECT_TRUE(files.error.isEmpty());
    EXPECT_EQ(files.files, QStringList({ QStringLiteral("--mode"), QStringLiteral("-x.avi") }));
}

TEST(CliArguments, GivenOptionsReplaceLoadedOnesAndSwitchTheirCheckBoxes)
{
    ConverterOptions o;
    o.iConversionProfile = 2;
    o.bDeinterlace = true;
    const QString temp = testsupport::freshFolder(QStringLiteral("clitemp"));
    ApplyCliArguments(parse({ "--mode", "3", "--audio-language", "8", "--srt-codepage", "2", "--save-folder", "/o",
                              "--temp-folder", temp.toUtf8().constData(), "--keep-temp", "a.avi" }),
                      o);
    EXPECT_EQ(o.iConversionMode, 3);
    EXPECT_EQ(o.iConversionProfile, 2); // not given: kept
    EXPECT_TRUE(o.bDeinterlace);        // not given: kept
    EXPECT_EQ(o.iAudioLanguage, 8);
    EXPECT_TRUE(o.bDesignateAudioLanguage);
    EXPECT_EQ(o.iSrtLanguage, 2);
    EXPECT_TRUE(o.bDesignateSrtLanguage);
    EXPECT_TRUE(o.bUseSaveFolder);
    EXPECT_EQ(o.strSaveFolder, QStringLiteral("/o/"));
    EXPECT_EQ(o.strTempFolder, temp + QStringLiteral("/"));
    EXPECT_TRUE(o.bKeepTempFiles);
    EXPECT_FALSE(o.bWriteLog);
    EXPECT_FALSE(o.bDesignateAudioLanguage && o.iAudioLanguage != 8);

    // A folder asked for by name is refused, never silently swapped for another; a
    // missing one is created.
    ConverterOptions p;
    p.strTempFolder = QStringLiteral("/before/");
    EXPECT_EQ(ApplyCliArguments(parse({ "--temp-folder", "/proc/self", "a.avi" }), p),
              QStringLiteral("임시폴더가 심볼릭 링크라서 사용하지 않음: /proc/self"));
    EXPECT_EQ(p.strTempFolder, QStringLiteral("/before/"));
    const QString missing = testsupport::sandbox() + QStringLiteral("/new/temp/folder");
    EXPECT_EQ(ApplyCliArguments(parse({ "--temp-folder", missing.toUtf8().constData(), "a.avi" }), p), QString());
    EXPECT_EQ(p.strTempFolder, missing + QStringLiteral("/"));
    EXPECT_TRUE(QFileInfo(missing).isDir());
}
