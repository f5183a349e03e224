#include "engine/Stages.h"

// Not built yet: the job goes on to the next stage.
StageResult PrepareTrackOptions(ConvertJob &)
{
    return StageResult::Continue;
}
