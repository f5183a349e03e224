// Times each subtitle converter on generated files of 2,000 and 20,000 cues.
// The time must grow linearly: 20,000 cues at most 12 times the 2,000-cue
// time. The peer is SubtitleText::Load of the same file, measured in the same
// run, so the figures can be compared across machines.
#include "subtitles/AssToSrtConverter.h"
#include "subtitles/SamiToSrtConverter.h"
#include "subtitles/SrtRewriter.h"
#include "subtitles/SubtitleText.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

namespace {

QString clock(int ms)
{
    return QString::asprintf("%02d:%02d:%02d", ms / 3600000, (ms / 60000) % 60, (ms / 1000) % 60);
}

// Two classes per sync tag, line breaks, fonts, empty cues as end times.
QByteArray sami(int cues)
{
    QString s = QStringLiteral("<SAMI>\r\n<HEAD><TITLE>bench</TITLE></HEAD>\r\n<BODY>\r\n");
    for (int i = 0; i < cues; ++i) {
        const int t = i * 2000;
        if (i % 5 == 4) {
            s += QStringLiteral("<SYNC Start=%1><P Class=KRCC>&nbsp;\r\n").arg(t);
            s += QStringLiteral("<SYNC Start=%1><P Class=ENCC>&nbsp;\r\n").arg(t);
            continue;
        }
        s += QStringLiteral("<SYNC Start=%1><P Class=KRCC><font color=\"#ffff00\">자막 %2번</font><br>둘째 줄 <b>굵게</b>\r\n").arg(t).arg(i);
        s += QStringLiteral("<SYNC Start=%1><P Class=ENCC>Subtitle %2<br><i>second</i> line\r\n").arg(t).arg(i);
    }
    s += QStringLiteral("</BODY>\r\n</SAMI>\r\n");
    return s.toUtf8();
}

QByteArray ass(int cues)
{
    QString s = QStringLiteral("[Script Info]\r\nScriptType: v4.00+\r\n\r\n[Events]\r\n"
                               "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n");
    for (int i = 0; i < cues; ++i) {
        const int t = i * 2000;
        s += QStringLiteral("Dialogue: 0,%1.00,%2.50,Default,,0,0,0,,{\\i1}자막 %3번,{\\i0} line\\N{\\c&H00FFFF&}second {\\b1}bold{\\b0}\r\n")
                 .arg(clock(t).mid(1), clock(t + 1000).mid(1))
                 .arg(i);
    }
    return QByteArray("\xEF\xBB\xBF") + s.toUtf8();
}

QByteArray srt(int cues)
{
    QString s;
    for (int i = 0; i < cues; ++i) {
        const int t = i * 2000;
        s += QStringLiteral("%1\r\n%2,000 --> %3,500\r\n자막 %1번\r\n둘째 줄\r\n\r\n\r\n")
                 .arg(i + 5)
                 .arg(clock(t), clock(t + 1000));
    }
    return s.toUtf8();
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
}

// Best of several runs, in milliseconds.
double best(const std::function<void()> &run, int repeats)
{
    double bestMs = 1e30;
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto end = std::chrono::steady_clock::now();
        bestMs = std::min(bestMs, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return bestMs;
}

} // namespace

int main(int argc, char **argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');

    struct Case
    {
        const char *name;
        QByteArray (*generate)(int);
        const char *extension;
        std::function<void(const QString &)> convert;
    };
    const Case cases[] = {
        {"SamiToSrtConverter", sami, "smi",
         [&](const QString &p) { QStringList r; SamiToSrtConverter().Convert(p, r, folder + QStringLiteral("out-")); }},
        {"AssToSrtConverter", ass, "ass",
         [&](const QString &p) { AssToSrtConverter().Convert(p, folder + QStringLiteral("SUB.srt")); }},
        {"SrtRewriter", srt, "srt",
         [&](const QString &p) { QString out; SrtRewriter().Rewrite(p, out, folder + QStringLiteral("out-"), 0); }},
    };

    std::printf("%-20s %8s %10s %12s %12s %10s\n", "converter", "cues", "bytes", "convert ms", "load ms", "vs load");
    bool linear = true;
    for (const Case &c : cases) {
        double times[2] = {0, 0};
        const int sizes[2] = {2000, 20000};
        for (int k = 0; k < 2; ++k) {
            const QString path = folder + QStringLiteral("bench%1.").arg(sizes[k]) + QLatin1String(c.extension);
            const QByteArray bytes = c.generate(sizes[k]);
            write(path, bytes);
            const double load = best([&] { SubtitleText t; t.Load(path, 0); }, repeats);
            times[k] = best([&] { c.convert(path); }, repeats);
            std::printf("%-20s %8d %10lld %12.2f %12.2f %9.1fx\n", c.name, sizes[k],
                        static_cast<long long>(bytes.size()), times[k], load, times[k] / load);
        }
        const double ratio = times[1] / times[0];
        std::printf("%-20s 20000/2000 time ratio %.2f (limit 12)\n\n", c.name, ratio);
        if (ratio > 12)
            linear = false;
    }
    std::printf("%s\n", linear ? "linear: yes" : "linear: NO");
    return linear ? 0 : 1;
}
