#pragma once

#include "engine/ConvertJob.h"

#include <QString>

#include <span>

class FrontEnd;

using Stage = StageResult (*)(ConvertJob &);

// The stage chain of one job after the source check, in order.
std::span<const Stage> DefaultStages();

// Shown instead of starting a run when the save folder's name cannot be written into
// a step script (a double quote, a backslash or a control character in it).
inline const QString kUnsafeSaveFolderMessage = QStringLiteral("저장폴더 이름에 사용할 수 없는 문자 포함!");

// Ends the "완료: " status of a job whose output lacks a subtitle the user had.
inline constexpr const char *kSubtitleFailedSuffix = " / 자막 실패";

enum class RunOutcome {
    NotStarted, // same folders, unusable save folder, tools missing, or an empty list
    Finished,
    Stopped,
};

// One row as one job: the source check, the stage chain, and the job's end when
// every stage went through. SkipJob when the source could not be read.
StageResult RunJob(ConvertJob &job, int row, std::span<const Stage> stages);

// What the Convert button runs: the checks, every row of the list as one job
// through the stage chain, and the end of the run.
// Tests may run the frame over a chain of their own.
RunOutcome OnConvert(FrontEnd &frontEnd, const QString &programFolder,
                     std::span<const Stage> stages = DefaultStages());
