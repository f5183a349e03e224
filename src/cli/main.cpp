#include "cli/CliArguments.h"
#include "cli/CliFrontEnd.h"
#include "engine/JobDriver.h"
#include "engine/SourceFiles.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("marbleway-cli"));
    const CliArguments args = ParseCliArguments(app.arguments().mid(1));
    if (args.help) {
        std::fputs(CliUsage().toUtf8().constData(), stdout);
        return 0;
    }
    if (!args.error.isEmpty()) {
        std::fprintf(stderr, "marbleway-cli: %s\n\n%s", args.error.toUtf8().constData(), CliUsage().toUtf8().constData());
        return 2;
    }

    CliFrontEnd ui;
    // Every legacy subtitle would come out empty: better not to start.
    if (const QString refused = LegacyCodePageRefusal(); !refused.isEmpty()) {
        ui.showMessage(refused);
        return 2;
    }
    const QString programFolder = platform::programFolder();
    const bool toolsPresent = platform::directoryExists(programFolder + QStringLiteral("tools"));
    if (!toolsPresent) {
        ui.showMessage(QStringLiteral(".\\tools 폴더가 존재하지 않음!"));
        return 2;
    }
    platform::SettingsStore store;
    QString storedRefusal;
    InitialTempFolder(ui.options, store, toolsPresent, &storedRefusal);
    const QString refusal = ApplyCliArguments(args, ui.options);
    if (!refusal.isEmpty()) {
        ui.showMessage(refusal);
        return 2;
    }
    // The stored folder matters only when no other was asked for.
    if (args.tempFolder.isEmpty() && !storedRefusal.isEmpty())
        ui.showMessage(storedRefusal);

    const AddFilesResult added = AddSourcePaths(ui.fileList(), args.files);
    if (added.notAdded() > 0)
        ui.showMessage(AddFilesMessage(added));
    if (ui.fileList().rowCount() == 0) {
        ui.showMessage(QStringLiteral("No file to convert."));
        return 1;
    }

    ui.installInterruptHandler();
    const RunOutcome outcome = OnConvert(ui, programFolder);
    if (outcome == RunOutcome::NotStarted)
        return 2;

    bool allDone = true;
    bool subtitleLost = false;
    FileList &list = ui.fileList();
    for (int row = 0; row < list.rowCount(); ++row) {
        const QString status = list.text(row, FileList::kStatus);
        allDone = allDone && status.startsWith(QStringLiteral("완료"));
        subtitleLost = subtitleLost || status.endsWith(QString::fromUtf8(kSubtitleFailedSuffix));
        std::printf("%s\t%s\n", status.toUtf8().constData(), list.fullPath(row).toUtf8().constData());
    }
    std::fflush(stdout);
    if (ui.interrupted() || outcome == RunOutcome::Stopped)
        return 130;
    if (!allDone || added.notAdded() > 0)
        return 1;
    return subtitleLost ? 3 : 0;
}
