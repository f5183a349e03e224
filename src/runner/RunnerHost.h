#pragma once

#include <QString>

class ToolRunner;

// What a tool run needs from the front end that owns it: the status bar, the
// runner being run (so Stop can reach it) and the stop flag. The window, the
// command-line front end and the tests' recorder each provide one.
class RunnerHost
{
public:
    virtual ~RunnerHost() = default;

    // Sets one part of the status bar (0 counter, 1 elapsed time, 2 progress text).
    virtual void setStatusText(int part, const QString &text) = 0;

    // What the Stop button does: cancel the running tool, then set stopRequested.
    void requestStop();

    ToolRunner *currentRunner = nullptr;
    bool stopRequested = false;
};
