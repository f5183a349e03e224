#include "FuzzFiles.h"
#include "subtitles/SrtRewriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const FuzzFiles files;
    static const int codePages[] = {0, 949, 936, 932, 850, 852};
    const int codePage = size > 0 ? codePages[data[0] % 6] : 0;
    const QString source = files.input(QStringLiteral("in.srt"), data, size);
    QString outputPath;
    const int r = SrtRewriter().Rewrite(source, outputPath, files.outFolder(), codePage);
    if (r == 1 && !QFile::exists(outputPath))
        __builtin_trap();
    if (r == 1)
        QFile::remove(outputPath);
    return 0;
}
