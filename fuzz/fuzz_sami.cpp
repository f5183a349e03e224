#include "FuzzFiles.h"
#include "subtitles/SamiToSrtConverter.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const FuzzFiles files;
    const QString source = files.input(QStringLiteral("in.smi"), data, size);
    QStringList results;
    const int n = SamiToSrtConverter().Convert(source, results, files.outFolder());
    // Every listed file must exist, one per class.
    if (n > 0 && (results.size() != n || QDir(files.outFolder()).entryList(QDir::Files).size() != n))
        __builtin_trap();
    files.clearOutputs();
    return 0;
}
