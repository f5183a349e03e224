#include "engine/Stages.h"

#include "engine/FrontEnd.h"
#include "engine/ToolStep.h"

// The language code of "Audio Language" entries: ko, en, ja, de, fr, ru, and "**" for
// "other" and the "#1".."#9" entries; none unless "designate Audio Language" is on.
QString ProbeLanguageCode(const ConverterOptions &options)
{
    if (!options.bDesignateAudioLanguage)
        return QString();
    static const char *const codes[] = { "ko", "en", "ja", "de", "fr", "ru", "**" };
    return QString::fromLatin1(codes[qBound(0, options.iAudioLanguage, 6)]);
}

StageResult ProbeSource(ConvertJob &job)
{
    if (!RunProbeStep(job, job.job.report, job.job.strSourceShortPath, ProbeLanguageCode(job.options),
                      QStringLiteral("Media info stopped")))
        return StageResult::StopRun;
    return StageResult::Continue;
}
