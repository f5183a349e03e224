// Restyle and ShiftTimes on generated timed-text files of 2,000 and 20,000
// samples. The time must grow linearly: the larger file may take at most 12
// times as long as the smaller one.
#include "subtitles/TimedTextRewriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

QByteArray timeField(int ms)
{
    char text[16];
    std::snprintf(
        text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

// Cues as the MP4Box adapter writes them from a typical SRT: Korean text as
// references, b/i/u as Style elements, font markup left as escaped text.
QByteArray generate(int samples)
{
    static const char *const cues[] = {
        "&#50504;&#45397;&#54616;&#49464;&#50836;, &#52828;&#44396;&#46308;!",
        "Hello, world\n&#46160; &#48264;&#51704; &#51460;<Style styles=\"Bold\" fromChar=\"0\" toChar=\"5\" "
        "fontID=\"1\" fontSize=\"18\" color=\"ff ff ff ff\"/><Style styles=\"Italic\" fromChar=\"13\" "
        "toChar=\"19\" fontID=\"1\" fontSize=\"18\" color=\"ff ff ff ff\"/>",
        "&lt;font color=&quot;#FFFF00&quot;&gt;&#45432;&#46976; &#51088;&#47561;&lt;/font&gt; and more text",
        "&lt;font color=red&gt;Red&lt;/font&gt; and &lt;font color=&quot;lime&quot;&gt;green "
        "bold&lt;/font&gt;"
        "<Style styles=\"Bold\" fromChar=\"31\" toChar=\"67\" fontID=\"1\" fontSize=\"18\" "
        "color=\"ff ff ff ff\"/>",
        "- Tom &amp; Jerry&apos;s &quot;show&quot;\n- &lt;font color=&apos;Dark Red&apos;&gt;&#50612;"
        "&#46160;&#50868; &lt;font color=#12345&gt;red&lt;/font&gt;&lt;/font&gt;\n   ",
    };
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TextStream version=\"1.1\">\n"
                     "<TextStreamHeader width=\"400\" height=\"60\">\n<TextSampleDescription>\n"
                     "<Style styles=\"Normal\" fontID=\"1\" fontSize=\"18\" color=\"ff ff ff ff\"/>\n"
                     "</TextSampleDescription>\n</TextStreamHeader>\n";
    int ms = 0;
    for (int i = 0; i < samples; ++i) {
        const bool gap = i % 2 == 1;
        out += "<TextSample sampleTime=\"" + timeField(ms) + "\" xml:space=\"preserve\">";
        if (!gap)
            out += cues[(i / 2) % (sizeof cues / sizeof cues[0])];
        out += "</TextSample>\n";
        ms += gap ? 400 : 2100;
    }
    out += "</TextStream>\n";
    return out;
}

// Wall time and the thread's own processor time of one operation. On a shared
// machine a long run is preempted more often than a short one, so the growth
// is judged on processor time; wall time is shown alongside.
struct Cost {
    double wallMs = 1e300;
    double cpuMs = 1e300;
};

double threadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

template <typename Operation> bool timeOnce(Cost &cost, Operation operation)
{
    QElapsedTimer timer;
    const double cpuStart = threadCpuMs();
    timer.start();
    const bool ok = operation();
    const double wall = timer.nsecsElapsed() / 1e6;
    const double cpu = threadCpuMs() - cpuStart;
    cost.wallMs = std::min(cost.wallMs, wall);
    cost.cpuMs = std::min(cost.cpuMs, cpu);
    return ok;
}

struct Subject {
    int samples = 0;
    QString source;
    QString target;
    QByteArray text;
    Cost restyle;
    Cost shift;
    Cost memory; // restyleBuffer alone, without the file system
};

bool prepare(const QTemporaryDir &dir, int samples, Subject &subject)
{
    subject.samples = samples;
    subject.source = dir.filePath(QStringLiteral("bench_%1.ttxt").arg(samples));
    subject.target = dir.filePath(QStringLiteral("bench_%1_out.ttxt").arg(samples));
    subject.text = generate(samples);
    QFile file(subject.source);
    return file.open(QIODevice::WriteOnly) && file.write(subject.text) == subject.text.size();
}

// One round; the best of many rounds is kept.
bool measure(Subject &subject)
{
    TimedTextRewriter rewriter;
    QByteArray out;
    return timeOnce(subject.restyle, [&] {
        return rewriter.Restyle(subject.source, subject.target, 24) == 1;
    }) && timeOnce(subject.shift, [&] {
        return rewriter.ShiftTimes(subject.source, subject.target, 1500) == 1;
    }) && timeOnce(subject.memory, [&] { return TimedTextRewriter::restyleBuffer(subject.text, 24, out); });
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    Subject small;
    Subject large;
    if (!prepare(dir, 2000, small) || !prepare(dir, 20000, large))
        return 2;
    // Alternate the sizes so that both see the same load.
    for (int round = 0; round < 15; ++round) {
        if (!measure(small) || !measure(large)) {
            std::fprintf(stderr, "a rewrite failed\n");
            return 2;
        }
    }
    std::printf("best of 15 rounds, processor ms (wall ms)\n");
    std::printf("%-8s %9s %20s %20s %20s\n", "samples", "bytes", "Restyle", "ShiftTimes", "restyleBuffer");
    for (const Subject *subject : { &small, &large }) {
        std::printf("%-8d %9lld", subject->samples, (long long)subject->text.size());
        for (const Cost *cost : { &subject->restyle, &subject->shift, &subject->memory })
            std::printf(" %9.3f (%8.3f)", cost->cpuMs, cost->wallMs);
        std::printf("\n");
    }
    const double restyleRatio = large.restyle.cpuMs / small.restyle.cpuMs;
    const double shiftRatio = large.shift.cpuMs / small.shift.cpuMs;
    const double memoryRatio = large.memory.cpuMs / small.memory.cpuMs;
    std::printf(
        "processor time 20000/2000: Restyle %.2fx, ShiftTimes %.2fx, restyleBuffer %.2fx (limit 12x)\n",
        restyleRatio, shiftRatio, memoryRatio);
    return restyleRatio <= 12 && shiftRatio <= 12 && memoryRatio <= 12 ? 0 : 1;
}
