#include "AppArguments.h"
#include "shell/MainDialog.h"
#include "shell/WindowTranslations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marbleway"));
    QGuiApplication::setDesktopFileName(QStringLiteral("marbleway"));
    InstallQtTranslations(app);
    const AppArguments args = ParseAppArguments(app.arguments().mid(1));
    MainDialog dialog; // initialised as it is first shown
    StartWithArguments(dialog, args);
    dialog.exec();
    return 0;
}
