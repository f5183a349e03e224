#include "AppArguments.h"

#include "platform/Paths.h"
#include "shell/MainDialog.h"
#include "shell/StatusBar.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <memory>

AppArguments ParseAppArguments(const QStringList &arguments)
{
    AppArguments out;
    bool onlyFiles = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (!onlyFiles && a == QLatin1String("--")) {
            onlyFiles = true;
        } else if (!onlyFiles && a == QLatin1String("--screenshot") && i + 1 < arguments.size()) {
            out.screenshot = arguments.at(++i);
        } else if (!onlyFiles && a == QLatin1String("--during-run")) {
            out.duringRun = true;
        } else if (!onlyFiles && a == QLatin1String("--size") && i + 1 < arguments.size()) {
            const QStringList wh = arguments.at(++i).split(QLatin1Char('x'));
            if (wh.size() == 2)
                out.size = QSize(wh[0].toInt(), wh[1].toInt());
        } else {
            out.files << a;
        }
    }
    return out;
}

void StartWithArguments(MainDialog &dialog, const AppArguments &args)
{
    if (!args.files.isEmpty()) {
        QTimer::singleShot(0, &dialog, [&dialog, files = args.files] {
            for (const QString &f : files) {
                if (platform::shortPath(f).isEmpty())
                    std::fprintf(stderr, "Marbleway: %s: no such file\n", f.toLocal8Bit().constData());
            }
            dialog.addPaths(files);
        });
    }
    if (args.size.isValid()) {
        dialog.initDialog();
        dialog.resize(args.size);
    }
    if (args.screenshot.isEmpty())
        return;
    auto save = [&dialog, path = args.screenshot] {
        const bool saved = dialog.grab().save(path, "PNG");
        if (!saved)
            std::fprintf(stderr, "Marbleway: cannot write %s\n", path.toLocal8Bit().constData());
        return saved;
    };
    if (!args.duringRun) {
        // Long enough for the first paint under a virtual X server.
        QTimer::singleShot(800, &dialog, [save] {
            // Ends every event loop, a message box's too.
            QCoreApplication::exit(save() ? 0 : 1);
        });
        return;
    }
    // Press Convert, take the picture the first time a tool tells a percentage in the
    // middle of its work, then stop the run and close as a user would.
    dialog.initDialog();
    QProgressBar *bar = dialog.statusBarCtrl() ? dialog.statusBarCtrl()->progressBar() : nullptr;
    if (!bar) {
        std::fprintf(stderr, "Marbleway: the window has no status bar\n");
        return;
    }
    auto taken = std::make_shared<bool>(false);
    // No tool told a percentage in time: the picture shows what there is.
    QTimer::singleShot(30000, &dialog, [&dialog, save, taken] {
        if (*taken)
            return;
        *taken = true;
        std::fprintf(stderr, "Marbleway: no percentage shown; picture taken as the window stands\n");
        save();
        dialog.stopRunAndClose();
        if (auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            box->reject();
    });
    QObject::connect(bar, &QProgressBar::valueChanged, &dialog, [&dialog, bar, save, taken](int value) {
        if (*taken || value < 10 || value > 90 || bar->maximum() == 0)
            return;
        *taken = true;
        if (!save())
            std::fprintf(stderr, "Marbleway: no picture taken\n");
        dialog.stopRunAndClose();
    });
    QTimer::singleShot(800, &dialog, [&dialog] {
        if (auto *convert = qobject_cast<QPushButton *>(dialog.control(1004)))
            convert->click();
    });
}
