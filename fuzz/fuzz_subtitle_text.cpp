#include "FuzzFiles.h"
#include "subtitles/SubtitleText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const FuzzFiles files;
    static const int codePages[] = {0, 949, 936, 932, 850, 852};
    const int codePage = size > 0 ? codePages[data[0] % 6] : 0;
    const QString path = files.input(QStringLiteral("in.txt"), data, size);
    SubtitleText text;
    if (!text.Load(path, codePage))
        return 0;
    // Loaded text holds no line feed and no zero unit.
    if (text.text.contains(QChar(u'\n')) || text.text.contains(QChar(u'\0')))
        __builtin_trap();
    // What is saved loads back unchanged.
    const QString saved = files.outFolder() + QStringLiteral("saved.srt");
    if (!text.Save(saved))
        __builtin_trap();
    SubtitleText back;
    if (!back.Load(saved, codePage) || back.text != text.text)
        __builtin_trap();
    QFile::remove(saved);
    return 0;
}
