#include "subtitles/TimedTextRewriter.h"

#include "subtitles/TimedTextSample.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>

namespace {

constexpr QByteArrayView kHeaderEnd = "</TextStreamHeader>";
constexpr QByteArrayView kSampleStart = "<TextSample sampleTime=\"";
constexpr QByteArrayView kSampleEnd = "</TextSample>";
constexpr QByteArrayView kFontSize = "fontSize=\"";
constexpr qsizetype kTimeLength = 12;
constexpr qint64 kLastTime = 100LL * 3600000 - 1; // the field holds two digits of hours

// Only a regular file counts as a source: a directory, a pipe or a device would
// block or never end.
bool readSource(const QString &path, QByteArray &bytes)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

bool writeTarget(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int digitAt(QByteArrayView field, qsizetype i)
{
    const char c = field[i];
    return (c >= '0' && c <= '9') ? c - '0' : -1;
}

// The time of an HH:MM:SS.mmm field in milliseconds, or -1 when a digit position
// holds something else (the field is then left alone rather than garbled).
qint64 parseTime(QByteArrayView field)
{
    static const qsizetype positions[] = { 0, 1, 3, 4, 6, 7, 9, 10, 11 };
    int d[9];
    for (int i = 0; i < 9; ++i) {
        d[i] = digitAt(field, positions[i]);
        if (d[i] < 0)
            return -1;
    }
    return (d[0] * 10 + d[1]) * 3600000LL + (d[2] * 10 + d[3]) * 60000LL + (d[4] * 10 + d[5]) * 1000LL
        + d[6] * 100 + d[7] * 10 + d[8];
}

QByteArray formatTime(qint64 t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", unsigned(t / 3600000), unsigned((t / 60000) % 60),
        unsigned((t / 1000) % 60), unsigned(t % 1000));
    return QByteArray(text);
}

} // namespace

bool TimedTextRewriter::restyleBuffer(const QByteArray &in, int iFontSize, QByteArray &out)
{
    out.clear();
    const QByteArrayView buffer(in);
    const qsizetype headerEndAt = buffer.indexOf(kHeaderEnd);
    if (headerEndAt < 0)
        return false;
    const qsizetype headerEnd = headerEndAt + kHeaderEnd.size();
    const QByteArray fontSizeAttribute
        = "fontSize=\"" + QByteArray::number(iFontSize > 0 ? iFontSize : 18) + '"';

    out.reserve(in.size() + in.size() / 4);

    // Only the first fontSize of the header is the stream's default size.
    const QByteArrayView header = buffer.first(headerEnd);
    const qsizetype attribute = header.indexOf(kFontSize);
    const qsizetype quote = attribute > 0 ? header.indexOf('"', attribute + kFontSize.size()) : -1;
    if (attribute > 0 && quote >= 0) {
        out += header.first(attribute);
        out += fontSizeAttribute;
        out += header.sliced(quote + 1);
    } else {
        out += header;
    }
    out += "\r\n";

    qsizetype pos = headerEnd;
    for (;;) {
        const qsizetype start = buffer.indexOf(kSampleStart, pos);
        if (start < 0)
            break;
        const qsizetype afterStart = start + kSampleStart.size();
        const qsizetype end = buffer.indexOf(kSampleEnd, afterStart);
        if (end < 0)
            break;
        const qsizetype tagEnd = buffer.first(end).indexOf('>', afterStart);
        if (tagEnd < 0) {
            // No ">" before the closing tag: keep the broken opening as it stands.
            out += buffer.sliced(start, end - start);
        } else {
            out += buffer.sliced(start, tagEnd + 1 - start);
            TimedTextSample::restyle(buffer.sliced(tagEnd + 1, end - tagEnd - 1), fontSizeAttribute, out);
        }
        out += kSampleEnd;
        out += "\r\n";
        pos = end + kSampleEnd.size();
    }
    out += "</TextStream>\r\n";
    return true;
}

QByteArray TimedTextRewriter::shiftBuffer(const QByteArray &in, int iShiftMs)
{
    QByteArray out = in;
    const QByteArrayView buffer(in);
    qsizetype pos = 0;
    for (;;) {
        const qsizetype start = buffer.indexOf(kSampleStart, pos);
        if (start < 0)
            break;
        const qsizetype field = start + kSampleStart.size();
        const qsizetype end = buffer.indexOf(kSampleEnd, field);
        if (end < 0)
            break;
        pos = end + kSampleEnd.size();
        if (end - field < kTimeLength)
            continue; // the field would run into the closing tag
        const qint64 t = parseTime(buffer.sliced(field, kTimeLength));
        if (t < 0)
            continue;
        const qint64 shifted = std::clamp(t + qint64(iShiftMs), qint64(0), kLastTime);
        out.replace(field, kTimeLength, formatTime(shifted));
    }
    return out;
}

int TimedTextRewriter::Restyle(const QString &strSource, const QString &strTarget, int iFontSize) const
{
    QByteArray in;
    if (!readSource(strSource, in))
        return 0;
    QByteArray out;
    if (!restyleBuffer(in, iFontSize, out))
        return 0;
    return writeTarget(strTarget.isEmpty() ? strSource : strTarget, out) ? 1 : 0;
}

int TimedTextRewriter::ShiftTimes(const QString &strSource, const QString &strTarget, int iShiftMs) const
{
    QByteArray in;
    if (!readSource(strSource, in))
        return 0;
    return writeTarget(strTarget.isEmpty() ? strSource : strTarget, shiftBuffer(in, iShiftMs)) ? 1 : 0;
}
