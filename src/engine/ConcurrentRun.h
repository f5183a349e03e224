#pragma once

#include "engine/ConvertJob.h"
#include "engine/JobDriver.h"

#include <span>

// Converts the rows of run's list with up to `jobs` of them going at the same time,
// each on a thread of its own with its own subfolder of the run's work folder
// ("job-N", N the row's number) and its own lines in the diagnostic log. Rows are
// taken in list order. The front end sees each running row's status as it changes,
// and on the status bar the rows that run and the progress of the whole; its Stop
// ends every running job and starts no other. Returns true when stopped; run's
// iSucceeded gets the number of outputs made.
bool RunSideBySide(ConvertJob &run, std::span<const Stage> stages, int jobs);
