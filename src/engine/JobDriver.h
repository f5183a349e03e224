#pragma once

#include "engine/ConvertJob.h"

#include <QString>

#include <span>

class FrontEnd;

using Stage = StageResult (*)(ConvertJob &);

// The stage chain of one job after the source check, in order.
std::span<const Stage> DefaultStages();

enum class RunOutcome {
    NotStarted, // same folders, tools missing, or an empty list
    Finished,
    Stopped,
};

// What the Convert button runs: the checks, every row of the list as one job
// through the stage chain, and the end of the run.
// Tests may run the frame over a chain of their own.
RunOutcome OnConvert(FrontEnd &frontEnd, const QString &programFolder,
                     std::span<const Stage> stages = DefaultStages());
