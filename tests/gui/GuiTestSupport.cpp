#include "GuiTestSupport.h"

#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "shell/FileListCtrl.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

std::function<StageResult(ConvertJob &)> g_testStage;

StageResult CallTestStage(ConvertJob &job)
{
    return g_testStage ? g_testStage(job) : StageResult::Continue;
}

namespace {

class GuiEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_root = std::make_unique<QTemporaryDir>();
        QDir(m_root->path()).mkpath(QStringLiteral("config"));
        QDir(m_root->path()).mkpath(QStringLiteral("tmp"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root->path() + QStringLiteral("/config")));
        qputenv("TMPDIR", QFile::encodeName(m_root->path() + QStringLiteral("/tmp")));
        // The default temporary folder lies in the user's cache folder.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_root->path() + QStringLiteral("/cache")));
        qunsetenv("XDG_RUNTIME_DIR");
        // Offscreen unless asked otherwise (QT_QPA_PLATFORM=xcb under xvfb-run shows
        // the same tests on a real X server).
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qunsetenv("MARBLEWAY_PROGRAM_FOLDER");
        static int argc = 1;
        static char name[] = "gui_tests";
        static char *argv[] = { name, nullptr };
        m_app = std::make_unique<QApplication>(argc, argv);
        s_root = m_root->path();
    }
    void TearDown() override
    {
        m_app.reset();
        m_root.reset();
    }
    static QString s_root;

private:
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QApplication> m_app;
};

QString GuiEnvironment::s_root;

[[maybe_unused]] ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

QString TestRoot()
{
    return GuiEnvironment::s_root;
}

void TestDialog::messageBox(const QString &text)
{
    messages << text;
    if (onMessage)
        onMessage(text);
}

bool TestDialog::finishedBox(const QString &message)
{
    finishedMessages << message;
    return finishedAnswer;
}

bool TestDialog::BrowseForFolder(const QString &title, const QString &initialFolder, QString *folder)
{
    folderTitles << title;
    folderStarts << initialFolder;
    *folder = folderToChoose;
    return !folderToChoose.isEmpty();
}

ProgramFolder::ProgramFolder(bool withTools)
{
    // Each test starts like a first start, also when the tests share one process.
    platform::SettingsStore().removeAll();
    platform::setProgramFolderOverride(path());
    if (!withTools)
        return;
    QDir(m_dir.path()).mkpath(QStringLiteral("tools/Nightly"));
    for (const char *tool :
         { "ffmpeg", "neroAacEnc", "MP4Box", "mkvextract", "OGMDemuxer", "normalize", "chanfold", "MediaInfo" })
        writeTool(QString::fromLatin1(tool), QStringLiteral("exit 0\n"));
}

ProgramFolder::~ProgramFolder()
{
    platform::setProgramFolderOverride(QString());
}

void ProgramFolder::writeTool(const QString &name, const QString &body)
{
    const QString file = m_dir.path() + QStringLiteral("/tools/") + name;
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write("#!/bin/sh\n" + body.toUtf8());
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString MakeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return path;
}

QList<int> SwitchableControlIds()
{
    return { 2,    1004, 1019, 1015, 1022, 1028, 1008, 1038, 1010, 1013, 1018, 1023, 1027, 1024,
             1029, 1035, 1031, 1033, 1037, 1026, 1003, 1006, 1016, 1011, 1012, 1020, 1034, 1036,
             1017, 1030, 1021 };
}

std::unique_ptr<TestDialog> openDialog()
{
    auto d = std::make_unique<TestDialog>();
    d->initDialog();
    d->show();
    return d;
}

bool dropOn(FileListCtrl *list, const QStringList &paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    const QPoint pos = list->viewport()->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    const bool entered = enter.isAccepted();
    // A drop that arrives all the same must not add anything either.
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &drop);
    return entered && drop.isAccepted();
}

void clickRow(FileListCtrl *list, int row, Qt::KeyboardModifiers modifiers)
{
    const QRect r = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, r.center());
}

QStringList columnTexts(const FileList &list, int column)
{
    QStringList out;
    for (int row = 0; row < list.rowCount(); ++row)
        out << list.text(row, column);
    return out;
}
