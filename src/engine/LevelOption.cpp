#include "engine/LevelOption.h"

#include "shell/DiagnosticLog.h"
#include "shell/Formatters.h"

namespace {

struct Level3Limit
{
    double frameRate;
    int width;
    int height;
};

// Frame sizes and rates that stay within the macroblock rate of level 3.
const Level3Limit kLevel3[] = {
    { 61.4, 352, 480 },
    { 51.1, 352, 576 },
    { 30.0, 720, 480 },
    { 25.0, 720, 576 },
};

} // namespace

double FrameRateNumber(const QString &frameRateText)
{
    QString lowBytes;
    lowBytes.reserve(frameRateText.size());
    for (QChar c : frameRateText)
        lowBytes += QChar(static_cast<char16_t>(c.unicode() & 0xFF));
    return AtofPrefix(lowBytes);
}

QString ChooseLevelOption(int width, int height, const QString &frameRateText, bool forNightly,
                          DiagnosticLog *log)
{
    const double rate = FrameRateNumber(frameRateText);
    if (log)
        log->WriteLine(Fmt("CString → char* → atof (getting H.264 level): %s → %g").s(frameRateText).g(rate));
    bool level30 = false;
    for (const Level3Limit &l : kLevel3) {
        if (rate <= l.frameRate && width <= l.width && height <= l.height) {
            level30 = true;
            break;
        }
    }
    if (forNightly)
        return level30 ? QStringLiteral(":level=30") : QStringLiteral(":level=31");
    return level30 ? QStringLiteral(":level=3.0") : QStringLiteral(":level=3.1");
}
