#include "FuzzFiles.h"
#include "subtitles/AssToSrtConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const FuzzFiles files;
    const QString source = files.input(QStringLiteral("in.ass"), data, size);
    const QString target = files.outFolder() + QStringLiteral("SUB.srt");
    const int r = AssToSrtConverter().Convert(source, target);
    if ((r == 1) != QFile::exists(target))
        __builtin_trap();
    QFile::remove(target);
    return 0;
}
