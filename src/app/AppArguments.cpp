#include "AppArguments.h"

#include "platform/Paths.h"
#include "shell/MainDialog.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

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
    if (!args.screenshot.isEmpty()) {
        // Long enough for the first paint under a virtual X server.
        QTimer::singleShot(800, &dialog, [&dialog, path = args.screenshot] {
            const bool saved = dialog.grab().save(path, "PNG");
            if (!saved)
                std::fprintf(stderr, "Marbleway: cannot write %s\n", path.toLocal8Bit().constData());
            // Ends every event loop, a message box's too.
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
}
