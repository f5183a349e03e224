#pragma once

#include "engine/ConvertJob.h"

#include <QString>

// One tool step of a stage: status text, log, output registered, free space
// logged, the tool run with Stop reaching it, then judged by its output file.
struct ToolStep
{
    ToolId tool = kFfmpeg;
    QString statusText;   // column 4 while the tool runs
    QString logAction;    // logged before the run (empty: none)
    QString output;       // registered as temporary and tested afterwards (empty: none)
    QString arguments;
    QString stopLine;     // logged when Stop was pressed
    QString finishedLine; // logged after a run that was not stopped (empty: none)
    bool registerOutput = true;
};

enum class StepOutcome { Stopped, Produced, Missing };

StepOutcome RunToolStep(ConvertJob &job, const ToolStep &step);

// A MediaInfo probe that Stop reaches: false when Stop was pressed during it (the
// stop path is taken, with stopLine).
bool RunProbeStep(ConvertJob &job, MediaReport &report, const QString &path, const QString &languageCode,
                  const QString &stopLine);

// What every stop path does after logging its line.
void TakeStopPath(ConvertJob &job, const QString &stopLine);
