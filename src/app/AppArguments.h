#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

class MainDialog;

// Marbleway [--size WxH] [--screenshot PNG [--during-run]] [--] [FILE...]
// Files go into the list as if dropped on it; --size opens the window at that size;
// --screenshot saves a picture of the window once it is up and closes it (for the
// documentation), with --during-run once Convert runs and a tool shows its progress.
struct AppArguments
{
    QStringList files;
    QString screenshot;
    bool duringRun = false;
    QSize size;
};

AppArguments ParseAppArguments(const QStringList &arguments);

// Queues what the arguments ask for, to run once the window's event loop runs.
void StartWithArguments(MainDialog &dialog, const AppArguments &args);
