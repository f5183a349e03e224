// Restyle and ShiftTimes on arbitrary files. The first input byte chooses
// whether a valid stream header is put in front and which font size is used,
// the next four give the time shift; the rest is the file.
#include "subtitles/TimedTextRewriter.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TextStream version=\"1.1\">\n"
                       "<TextStreamHeader width=\"400\" height=\"60\">\n<TextSampleDescription>\n"
                       "<Style styles=\"Normal\" fontID=\"1\" fontSize=\"18\" color=\"ff ff ff ff\"/>\n"
                       "</TextSampleDescription>\n</TextStreamHeader>\n";

const QTemporaryDir &workDir()
{
    static const QTemporaryDir dir(
        QFile::exists("/dev/shm") ? QStringLiteral("/dev/shm/fuzz_ttxt-XXXXXX") : QString());
    return dir;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        abort();
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5 || !workDir().isValid())
        return 0;
    static const int fontSizes[] = { 0, 18, 24, 36, 48, -3, 255, INT_MAX };
    const uint8_t flags = data[0];
    int32_t shift = 0;
    std::memcpy(&shift, data + 1, sizeof shift);

    QByteArray text;
    if (flags & 1)
        text += kHeader;
    text.append(reinterpret_cast<const char *>(data + 5), qsizetype(size - 5));

    const QString source = workDir().filePath("in.ttxt");
    const QString target = workDir().filePath("out.ttxt");
    const QString adjusted = workDir().filePath("in_adj.ttxt");
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            abort();
    }

    TimedTextRewriter rewriter;
    const int fontSize = fontSizes[(flags >> 1) & 7];
    const int restyled = rewriter.Restyle(source, target, fontSize);
    if (restyled != (text.contains("</TextStreamHeader>") ? 1 : 0))
        abort();
    if (restyled && !readAll(target).endsWith("</TextStream>\r\n"))
        abort();

    // The time field has a fixed width: the file keeps its length.
    if (rewriter.ShiftTimes(source, adjusted, shift) != 1 || readAll(adjusted).size() != text.size())
        abort();

    // In place gives what a separate target got, and a failure keeps the file.
    const QByteArray expected = restyled ? readAll(target) : text;
    if (rewriter.Restyle(source, QString(), fontSize) != restyled)
        abort();
    if (readAll(source) != expected)
        abort();
    return 0;
}
