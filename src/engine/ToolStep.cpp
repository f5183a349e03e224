#include "engine/ToolStep.h"

#include "engine/FrontEnd.h"
#include "engine/VideoAhead.h"
#include "platform/Paths.h"
#include "runner/RunTool.h"

void TakeStopPath(ConvertJob &job, const QString &stopLine)
{
    job.Log(stopLine);
    job.ui.enableControls(true);
}

bool RunProbeStep(ConvertJob &job, MediaReport &report, const QString &path, const QString &languageCode,
                  const QString &stopLine)
{
    // Cleared just before and tested just after, like every tool step: a Stop pressed
    // while MediaInfo ran is honoured here rather than lost at the next step.
    job.ui.stopRequested = false;
    report.Probe(path, languageCode, &job.ui);
    if (!job.ui.stopRequested)
        return true;
    TakeStopPath(job, stopLine);
    return false;
}

StepOutcome RunToolStep(ConvertJob &job, const ToolStep &step)
{
    job.setStatus(step.statusText);
    if (!step.logAction.isEmpty())
        job.Log(step.logAction);
    if (step.registerOutput && !step.output.isEmpty())
        AddTempFile(job.tempFiles, step.output);
    job.log.LogDriveFreeSpace(step.output.isEmpty() ? job.strWorkFolder : step.output);
    job.ui.stopRequested = false;
    const ToolEntry &tool = job.tool(step.tool);
    if (job.job.videoAhead && job.job.videoAhead->runs(step.tool, step.arguments)) {
        // Started early with these very arguments: its run is this step's.
        const std::shared_ptr<VideoAhead> ahead = std::move(job.job.videoAhead);
        ahead->finish(job.ui);
    } else {
        RunTool(job.ui, job.strWorkFolder, tool.fullPath, tool.shortPath, step.arguments);
    }
    if (job.ui.stopRequested) {
        TakeStopPath(job, step.stopLine);
        return StepOutcome::Stopped;
    }
    if (!step.finishedLine.isEmpty())
        job.Log(step.finishedLine);
    if (step.output.isEmpty())
        return StepOutcome::Produced;
    return platform::fileExists(step.output) ? StepOutcome::Produced : StepOutcome::Missing;
}
