#include "engine/Stages.h"

// Not built yet: the job goes on to the next stage.
StageResult ProbeSource(ConvertJob &)
{
    return StageResult::Continue;
}
