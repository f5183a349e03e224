#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "shell/ConverterOptions.h"
#include "shell/DiagnosticLog.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// The default temporary folder under the sandbox's cache folder.
QString defaultTemp()
{
    return sandbox() + QStringLiteral("/cache/marbleway/");
}

// The same store, seen raw, to plant values of the wrong type or size.
QSettings rawStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvolin"),
                     QStringLiteral("Marbleway"));
}

ConverterOptions nonDefaults()
{
    ConverterOptions o;
    o.bSmallerThan4GB = true;
    o.iConversionMode = 3;
    o.iConversionProfile = 5;
    o.iDeviceKind = 2;
    o.b30fpsCheck = true;
    o.bCreateDC = true;
    o.bOverwriteDC = true;
    o.iParMode = 5;
    o.bDeinterlace = true;
    o.bForNightly = true;
    o.iAacMode = 2;
    o.bDesignateAudioLanguage = true;
    o.iAudioLanguage = 15;
    o.bNormalizeVolume = true;
    o.iSubtitleSize = 3;
    o.bDesignateSrtLanguage = true;
    o.iSrtLanguage = 4;
    o.strTempFolder = QStringLiteral("/data/임시 폴더, a; b=c \"q\" %1/");
    o.bUseSaveFolder = true;
    o.strSaveFolder = QStringLiteral("@/saved/out put/");
    o.iConcurrentJobs = 7;
    o.bKeepTempFiles = true;
    o.bWriteLog = true;
    return o;
}

std::vector<int> storedNumbers(const ConverterOptions &o)
{
    return { o.bSmallerThan4GB, o.iConversionMode, o.iConversionProfile, o.iDeviceKind, o.b30fpsCheck,
             o.bCreateDC, o.bOverwriteDC, o.iParMode, o.bDeinterlace, o.bForNightly, o.iAacMode,
             o.bDesignateAudioLanguage, o.iAudioLanguage, o.bNormalizeVolume, o.iSubtitleSize,
             o.bDesignateSrtLanguage, o.iSrtLanguage, o.bUseSaveFolder, o.iConcurrentJobs };
}

class OptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::SettingsStore store;
        store.removeAll();
    }
};

} // namespace

TEST_F(OptionsTest, FirstStartGivesTheDefaultsAndCreatesTheKey)
{
    platform::SettingsStore store;
    QFile::remove(store.fileName());
    ConverterOptions o;
    const QString folder = InitialTempFolder(o, store, true);

    EXPECT_EQ(o.iConversionMode, 1);    // "재생 가능 비디오만 변환"
    EXPECT_EQ(o.iConversionProfile, 4); // "Ultra Fast"
    EXPECT_EQ(o.iDeviceKind, 1);        // "아이폰4"
    EXPECT_EQ(o.iParMode, 2);           // "PAR<1.5"
    EXPECT_EQ(o.iAacMode, 0);
    EXPECT_EQ(o.iAudioLanguage, 0);
    EXPECT_EQ(o.iSubtitleSize, 0);
    EXPECT_EQ(o.iSrtLanguage, 0);
    for (bool b : { o.bSmallerThan4GB, o.b30fpsCheck, o.bCreateDC, o.bOverwriteDC, o.bDeinterlace, o.bForNightly,
                    o.bDesignateAudioLanguage, o.bNormalizeVolume, o.bDesignateSrtLanguage, o.bUseSaveFolder,
                    o.bKeepTempFiles, o.bWriteLog })
        EXPECT_FALSE(b);
    EXPECT_TRUE(o.strSaveFolder.isEmpty());

    // The temporary folder is the user's own in the cache folder, created for the
    // user alone, with one separator.
    EXPECT_EQ(folder, defaultTemp());
    EXPECT_EQ(o.strTempFolder, folder);
    EXPECT_TRUE(platform::directoryExists(folder));
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x7077, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(QFileInfo::exists(store.fileName()));
    EXPECT_TRUE(rawStore().allKeys().isEmpty());
}

TEST_F(OptionsTest, WithoutToolsNothingIsLoadedOrCreated)
{
    {
        platform::SettingsStore store;
        nonDefaults().SaveOptions(store);
    }
    QDir(defaultTemp()).removeRecursively();
    platform::SettingsStore store;
    ConverterOptions o;
    EXPECT_EQ(InitialTempFolder(o, store, false), defaultTemp());
    EXPECT_EQ(o.iConversionMode, 1);
    EXPECT_FALSE(QFileInfo::exists(defaultTemp()));
}

TEST_F(OptionsTest, SaveAndLoadRoundTripAllTwentyOneValues)
{
    const ConverterOptions saved = nonDefaults();
    {
        platform::SettingsStore store;
        saved.SaveOptions(store);
    }
    EXPECT_EQ(rawStore().allKeys().size(), 21);
    EXPECT_FALSE(rawStore().contains(QStringLiteral("Keep Temp Files")));

    platform::SettingsStore store;
    ConverterOptions loaded;
    loaded.LoadOptions(store);
    EXPECT_EQ(storedNumbers(loaded), storedNumbers(saved));
    EXPECT_EQ(loaded.strTempFolder, saved.strTempFolder);
    EXPECT_EQ(loaded.strSaveFolder, saved.strSaveFolder);
    // Never stored.
    EXPECT_FALSE(loaded.bKeepTempFiles);
    EXPECT_FALSE(loaded.bWriteLog);

    // And back to the defaults: zeros and empty folders survive as well.
    ConverterOptions defaults;
    defaults.SaveOptions(store);
    ConverterOptions again = saved;
    again.LoadOptions(store);
    EXPECT_EQ(storedNumbers(again), storedNumbers(defaults));
    EXPECT_EQ(again.strSaveFolder, QString());
}

TEST_F(OptionsTest, MistypedValuesAreSkipped)
{
    {
        QSettings raw = rawStore();
        raw.setValue(QStringLiteral("Conversion Mode"), QStringLiteral("fast"));
        raw.setValue(QStringLiteral("Conversion Profile"), QStringLiteral("2x"));
        raw.setValue(QStringLiteral("Kindness of iPhone"), QStringLiteral("99999999999"));
        raw.setValue(QStringLiteral("Pixel Aspect Ratio mode"), QStringList{ QStringLiteral("1"), QStringLiteral("2") });
        raw.setValue(QStringLiteral("reencode AAC"), 1);
        raw.setValue(QStringLiteral("Temp Folder"), QString(300, QLatin1Char('t')));
        raw.setValue(QStringLiteral("Save Folder"), QString(259, QLatin1Char('s')));
        raw.sync();
    }
    platform::SettingsStore store;
    ConverterOptions o;
    o.LoadOptions(store);
    EXPECT_EQ(o.iConversionMode, 1);
    EXPECT_EQ(o.iConversionProfile, 4);
    EXPECT_EQ(o.iDeviceKind, 1);
    EXPECT_EQ(o.iParMode, 2);
    EXPECT_EQ(o.iAacMode, 1);                                     // the good one is taken
    EXPECT_EQ(o.strSaveFolder, QString(259, QLatin1Char('s'))); // fits the old buffer

    // A 300-character temporary folder is ignored: the start-up default stays.
    ConverterOptions start;
    EXPECT_EQ(InitialTempFolder(start, store, true), defaultTemp());
}

TEST_F(OptionsTest, ComboIndexOutsideItsItemsIsSkipped)
{
    {
        QSettings raw = rawStore();
        raw.setValue(QStringLiteral("Conversion Mode"), 4);
        raw.setValue(QStringLiteral("Conversion Profile"), -1);
        raw.setValue(QStringLiteral("Audio Language"), 16);
        raw.setValue(QStringLiteral("ANSI Srt Language"), 5);
        raw.setValue(QStringLiteral("Big Subtitle"), 3); // in range
        raw.setValue(QStringLiteral("Kindness of iPhone"), 4); // a device this program does not know
        raw.sync();
    }
    platform::SettingsStore store;
    ConverterOptions o;
    o.LoadOptions(store);
    EXPECT_EQ(o.iConversionMode, 1);
    EXPECT_EQ(o.iConversionProfile, 4);
    EXPECT_EQ(o.iAudioLanguage, 0);
    EXPECT_EQ(o.iSrtLanguage, 0);
    EXPECT_EQ(o.iSubtitleSize, 3);
    EXPECT_EQ(o.subtitlePointSize(), 48);
    EXPECT_EQ(o.iDeviceKind, 1);

    {
        QSettings raw = rawStore();
        raw.setValue(QStringLiteral("Kindness of iPhone"), 3); // today's iPhone and iPad
        raw.sync();
    }
    o.LoadOptions(store);
    EXPECT_EQ(o.iDeviceKind, 3);
}

TEST_F(OptionsTest, ResetRestoresSomeFieldsKeepsOthersAndRemovesTheKey)
{
    platform::SettingsStore store;
    ConverterOptions o = nonDefaults();
    o.SaveOptions(store);
    o.ResetOptions(store);

    const ConverterOptions d;
    EXPECT_EQ(o.iConversionMode, d.iConversionMode);
    EXPECT_EQ(o.iConversionProfile, d.iConversionProfile);
    EXPECT_EQ(o.iDeviceKind, d.iDeviceKind);
    EXPECT_EQ(o.iParMode, d.iParMode);
    EXPECT_EQ(o.iAacMode, 0);
    EXPECT_EQ(o.iAudioLanguage, 0);
    EXPECT_EQ(o.iSubtitleSize, 0);
    for (bool b : { o.bSmallerThan4GB, o.bCreateDC, o.bOverwriteDC, o.bDesignateAudioLanguage, o.bNormalizeVolume,
                    o.bUseSaveFolder, o.b30fpsCheck })
        EXPECT_FALSE(b);

    // Left as they are.
    const ConverterOptions n = nonDefaults();
    EXPECT_TRUE(o.bDeinterlace);
    EXPECT_TRUE(o.bForNightly);
    EXPECT_TRUE(o.bDesignateSrtLanguage);
    EXPECT_EQ(o.iSrtLanguage, n.iSrtLanguage);
    EXPECT_TRUE(o.bKeepTempFiles);
    EXPECT_TRUE(o.bWriteLog);
    EXPECT_EQ(o.strTempFolder, n.strTempFolder);
    EXPECT_EQ(o.strSaveFolder, n.strSaveFolder);

    // The key is gone: the next start sees the defaults.
    EXPECT_TRUE(rawStore().allKeys().isEmpty());
    ConverterOptions next;
    next.LoadOptions(store);
    EXPECT_EQ(storedNumbers(next), storedNumbers(d));
}

TEST_F(OptionsTest, StoredTemporaryFolderIsKeptCreatedOrReplaced)
{
    platform::SettingsStore store;
    auto startWith = [&](const QString &stored) {
        QSettings raw = rawStore();
        raw.setValue(QStringLiteral("Temp Folder"), stored);
        raw.sync();
        ConverterOptions o;
        return InitialTempFolder(o, store, true);
    };
    const QString base = freshFolder(QStringLiteral("stored"));
    // A usable folder is kept, with exactly one trailing separator.
    EXPECT_EQ(startWith(base + QStringLiteral("///")), base + QStringLiteral("/"));
    EXPECT_EQ(startWith(base), base + QStringLiteral("/"));
    // A missing folder is created, its parents too.
    EXPECT_EQ(startWith(base + QStringLiteral("/new level/")), base + QStringLiteral("/new level/"));
    EXPECT_TRUE(platform::directoryExists(base + QStringLiteral("/new level")));
    EXPECT_EQ(startWith(base + QStringLiteral("/a/b/")), base + QStringLiteral("/a/b/"));
    EXPECT_TRUE(platform::directoryExists(base + QStringLiteral("/a/b")));
    // One that cannot be made is replaced by the default, with a message naming it.
    writeFile(base + QStringLiteral("/file"), "x");
    QSettings raw = rawStore();
    raw.setValue(QStringLiteral("Temp Folder"), base + QStringLiteral("/file/sub"));
    raw.sync();
    ConverterOptions o;
    QString refusal;
    EXPECT_EQ(InitialTempFolder(o, store, true, &refusal), defaultTemp());
    EXPECT_EQ(refusal, QStringLiteral("임시폴더를 만들 수 없음: ") + base + QStringLiteral("/file/sub"));
}

TEST_F(OptionsTest, LogOptionsWritesTheTwentyOneLinesInStoredOrder)
{
    const QString path = freshFolder() + QStringLiteral("/log.txt");
    DiagnosticLog log;
    log.Start(path);
    ConverterOptions o = nonDefaults();
    o.strTempFolder = QStringLiteral("/w/%1/");
    o.strSaveFolder = QStringLiteral("/s/");
    o.LogOptions(log);

    const QByteArray bytes = readFile(path);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.takeLast(), QString());
    for (QString &l : lines)
        l = l.mid(l.indexOf(QStringLiteral("] ")) + 2);
    EXPECT_EQ(lines, QStringList({
                         QStringLiteral("Option: smaller than 4GB = 1"),
                         QStringLiteral("Option: Conversion Mode = 3"),
                         QStringLiteral("Option: Conversion Profile = 5"),
                         QStringLiteral("Option: Kindness of iPhone = 2"),
                         QStringLiteral("Option: 30fps check = 1"),
                         QStringLiteral("Option: Create Qor-DC = 1"),
                         QStringLiteral("Option: Overwrite Qor-DC to DC = 1"),
                         QStringLiteral("Option: Pixel Aspect Ratio mode = 5"),
                         QStringLiteral("Option: Deinterlace = 1"),
                         QStringLiteral("Option: For Nightly = 1"),
                         QStringLiteral("Option: reencode AAC = 2"),
                         QStringLiteral("Option: designate Audio Language = 1"),
                         QStringLiteral("Option: Audio Language = 15"),
                         QStringLiteral("Option: Normalize Audio Volume = 1"),
                         QStringLiteral("Option: Big Subtitle = 3"),
                         QStringLiteral("Option: Desig ANSI Srt Language = 1"),
                         QStringLiteral("Option: ANSI Srt Language = 4"),
                         QStringLiteral("Option: Temp Folder = /w/%1/"),
                         QStringLiteral("Option: use External Save Folder = 1"),
                         QStringLiteral("Option: Save Folder = /s/"),
                         QStringLiteral("Option: Concurrent Jobs = 7"),
                     }));
}

TEST(ValidateTempFolder, SystemTempFolderItselfOrNoneStandsForTheDefault)
{
    const QString s = platform::systemTempFolder();
    QString refusal;
    EXPECT_EQ(ValidateTempFolder(s, &refusal), defaultTemp());
    EXPECT_EQ(ValidateTempFolder(s + QStringLiteral("//"), &refusal), defaultTemp());
    EXPECT_EQ(ValidateTempFolder(QString(), &refusal), defaultTemp());
    EXPECT_TRUE(refusal.isEmpty());
    EXPECT_TRUE(platform::directoryExists(defaultTemp()));
}

TEST(ValidateTempFolder, GoodFolderIsLeftUnchangedAndNoMarkerStays)
{
    const QString good = freshFolder(QStringLiteral("good folder "));
    EXPECT_EQ(ValidateTempFolder(good), good);
    EXPECT_EQ(ValidateTempFolder(good + QStringLiteral("/")), good + QStringLiteral("/"));
    EXPECT_FALSE(QFile::exists(good + QStringLiteral("/tempfile.Tarvolin.Qor")));
    EXPECT_TRUE(QDir(good).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    const QString fine = freshFolder() + QString::fromUtf8("/it's $(x) & 한글");
    ASSERT_TRUE(QDir().mkpath(fine));
    EXPECT_EQ(ValidateTempFolder(fine), fine);
}

TEST(ValidateTempFolder, UnusableFoldersAreRefusedByNameAndTheDefaultUsed)
{
    const QString base = freshFolder(QStringLiteral("refused"));
    const QString inside = QStringLiteral("someone's file");
    auto folderWithFile = [&](const QString &name) {
        const QString folder = base + QLatin1Char('/') + name;
        QDir().mkpath(folder);
        writeFile(folder + QLatin1Char('/') + inside, "theirs");
        return folder;
    };
    const QString other = folderWithFile(QStringLiteral("other owner"));
    ASSERT_EQ(chown(QFile::encodeName(other).constData(), getuid() + 4242, getgid()), 0);
    const QString open = folderWithFile(QStringLiteral("open"));
    const QString groupOpen = folderWithFile(QStringLiteral("group open"));
    const QString target = folderWithFile(QStringLiteral("target"));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 01777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(groupOpen).constData(), 0775), 0);
    ASSERT_TRUE(QFile::link(target, base + QStringLiteral("/link")));
    const QString file = base + QStringLiteral("/plain");
    writeFile(file, "x");

    const std::pair<QString, QString> cases[] = {
        { other, QStringLiteral("임시폴더의 소유자가 다른 사용자라서 사용하지 않음: ") + other },
        { open + QLatin1Char('/'), QStringLiteral("다른 사용자도 쓸 수 있는 임시폴더라서 사용하지 않음: ") + open },
        { groupOpen, QStringLiteral("다른 사용자도 쓸 수 있는 임시폴더라서 사용하지 않음: ") + groupOpen },
        { base + QStringLiteral("/link/"), QStringLiteral("임시폴더가 심볼릭 링크라서 사용하지 않음: ") + base + QStringLiteral("/link") },
        { file, QStringLiteral("임시폴더가 폴더가 아님: ") + file },
        { file + QStringLiteral("/sub"), QStringLiteral("임시폴더를 만들 수 없음: ") + file + QStringLiteral("/sub") },
    };
    for (const auto &[folder, message] : cases) {
        QString refusal;
        EXPECT_EQ(ValidateTempFolder(folder, &refusal), defaultTemp()) << folder.toStdString();
        EXPECT_EQ(refusal, message);
    }
    // Nobody can create files there, whoever runs the test.
    QString refusal;
    EXPECT_EQ(ValidateTempFolder(QStringLiteral("/proc/1/"), &refusal), defaultTemp());
    EXPECT_TRUE(refusal.endsWith(QStringLiteral(": /proc/1"))) << refusal.toStdString();

    // Their contents stay as they were, and nothing was added.
    for (const QString &folder : { other, open, groupOpen, target })
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{ inside })
            << folder.toStdString();
}

TEST(ValidateTempFolder, NameAStepScriptCannotCarryIsRefused)
{
    // Every step script names files in the temporary folder between double quotes.
    for (const char *name : { "say \"hi\"", "back\\slash", "line\nbreak", "tab\there" }) {
        const QString folder = freshFolder() + QLatin1Char('/') + QString::fromUtf8(name);
        ASSERT_TRUE(QDir().mkpath(folder));
        QString refusal;
        EXPECT_EQ(ValidateTempFolder(folder + QLatin1Char('/'), &refusal), defaultTemp()) << name;
        EXPECT_EQ(refusal, QStringLiteral("임시폴더 이름에 사용할 수 없는 문자 포함: ") + folder);
    }
}

TEST(ValidateTempFolder, ReadOnlyFolderIsRefused)
{
    const QString ro = freshFolder(QStringLiteral("readonly"));
    ASSERT_TRUE(QFile::setPermissions(ro, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (access(ro.toUtf8().constData(), W_OK) == 0) {
        QFile::setPermissions(ro, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "running as root: permissions do not make a folder read-only";
    }
    QString refusal;
    const QString result = ValidateTempFolder(ro + QStringLiteral("/"), &refusal);
    QFile::setPermissions(ro, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(result, defaultTemp());
    EXPECT_EQ(refusal, QStringLiteral("임시폴더에 쓸 수 없음: ") + ro);
}

TEST(ValidateTempFolder, RefusedDefaultLeavesNoFolder)
{
    // The default itself planted as a link to someone else's folder.
    const QString target = freshFolder(QStringLiteral("planted"));
    const QString def = platform::withoutTrailingSeparators(defaultTemp());
    QDir(def).removeRecursively();
    ASSERT_TRUE(QFile::link(target, def));
    QString refusal;
    EXPECT_EQ(ValidateTempFolder(QString(), &refusal), QString());
    EXPECT_EQ(refusal, QStringLiteral("임시폴더가 심볼릭 링크라서 사용하지 않음: ") + def);
    QFile::remove(def);
}

TEST(OptionEnabling, DependentControlsFollowTheirSwitches)
{
    ConverterOptions o;
    auto on = OptionEnabling(o, true);
    EXPECT_FALSE(on[1011]);
    EXPECT_FALSE(on[1012]);
    EXPECT_FALSE(on[1020]);
    EXPECT_FALSE(on[1034]);
    EXPECT_FALSE(on[1036]); // mode 1 does not re-encode
    EXPECT_FALSE(on[1021]);
    EXPECT_TRUE(on[1017]);
    EXPECT_TRUE(on[1030]);

    o.bCreateDC = o.bDesignateAudioLanguage = o.bUseSaveFolder = o.bDesignateSrtLanguage = true;
    o.iConversionMode = 2;
    on = OptionEnabling(o, true);
    for (int id : { 1011, 1012, 1020, 1034, 1036, 1021, 1017, 1030 })
        EXPECT_TRUE(on[id]) << id;

    o.iConversionMode = 0;
    on = OptionEnabling(o, true);
    EXPECT_FALSE(on[1036]);
    EXPECT_FALSE(on[1021]);
    EXPECT_FALSE(on[1017]);
    EXPECT_FALSE(on[1030]);

    // While converting every dependent control is off.
    o.iConversionMode = 3;
    for (const auto &[id, enabled] : OptionEnabling(o, false))
        EXPECT_FALSE(enabled) << id;
}
