#pragma once

#include <QString>
#include <QStringList>

class MainDialog;

// Marbleway [--screenshot PNG] [--] [FILE...]
// Files go into the list as if dropped on it; --screenshot saves a picture of the
// window once it is up and closes it (for the documentation).
struct AppArguments
{
    QStringList files;
    QString screenshot;
};

AppArguments ParseAppArguments(const QStringList &arguments);

// Queues what the arguments ask for, to run once the window's event loop runs.
void StartWithArguments(MainDialog &dialog, const AppArguments &args);
