#include "engine/AudioSteps.h"

#include "shell/Formatters.h"

namespace audio {

namespace {

struct FormatRow
{
    const char *extension;
    const char *summary;
};

const FormatRow *formatRow(AudioFormat format)
{
    static const FormatRow rows[] = {
        { "aac", " / AAC" }, { "dts", " / DTS" }, { "ac3", " / AC3" }, { "mp3", " / MP3" },
        { "ogg", " / OGG" }, { "wav", " / PCM" }, { "wma", " / WMA" },
    };
    const int f = static_cast<int>(format);
    return f >= AudioAac && f <= AudioWma ? &rows[f - AudioAac] : nullptr;
}

} // namespace

QString Extension(AudioFormat format)
{
    const FormatRow *row = formatRow(format);
    return row ? QString::fromLatin1(row->extension) : QString();
}

QString SummaryText(AudioFormat format)
{
    const FormatRow *row = formatRow(format);
    return row ? QString::fromLatin1(row->summary) : QString();
}

QString InternalTrackSummary(const MediaReport &report, int track)
{
    if (track < 0 || track >= report.audio.size())
        return QString();
    QString text = SummaryText(report.audio.at(track).iFormat);
    if (report.iAudioCount == 1)
        text += QStringLiteral("(int)");
    else
        text += Fmt("(int, out of %d)").d(report.iAudioCount);
    return text;
}

QString SubtitleSummary(const MediaReport &report, int subtitleSource)
{
    switch (subtitleSource) {
    case 0:
        return QStringLiteral(" / no sub");
    case 1: {
        const TextFormat first = report.text.isEmpty() ? TextNone : report.text.first().iFormat;
        QString text;
        if (report.iContainer == ContainerMkv)
            text = first == TextSrt ? QStringLiteral(" / SRT(")
                : first == TextSsa  ? QStringLiteral(" / SSA(")
                                    : QStringLiteral(" / unknown(");
        else
            text = first == TextTtxt ? QStringLiteral(" / TTXT(") : QStringLiteral(" / unknown(");
        if (report.iTextCount > 1)
            text += Fmt("%d / int)").d(report.iTextCount);
        else
            text += QStringLiteral("int)");
        return text;
    }
    case 2:
        return QStringLiteral(" / SAMI(ext)");
    case 3:
        return QStringLiteral(" / SRT(ext)");
    case 4:
    case 5:
        return QStringLiteral(" / ASS(ext)");
    default:
        return QString();
    }
}

bool UsesConvertingExtraction(const MediaReport &report, int aacMode)
{
    const AudioFormat first = report.audio.isEmpty() ? AudioNone : report.audio.first().iFormat;
    if (report.iAudioCount == 1 && (first != AudioAac || aacMode == 1))
        return true;
    return first == AudioWma || report.iContainer == ContainerMpeg || report.iContainer == ContainerTs;
}

int FfmpegAudioStream(const MediaReport &report, int track)
{
    return report.iAudioCount > 1 && track >= 0 ? track : -1;
}

namespace {

// Left to itself ffmpeg (and its adapter) takes the first audio stream.
QString mapOption(int stream)
{
    return stream >= 0 ? QString(Fmt(" -map 0:a:%d").d(stream)) : QString();
}

} // namespace

QString ForcedExtractionArguments(const QString &source, const QString &output)
{
    return Fmt("-i \"%s\" -vn -acodec pcm_s16le \"%s\"").s(source).s(output);
}

QString ConvertingExtractionArguments(const QString &source, const AudioTrack &track, const QString &output,
                                      int stream)
{
    if (track.iFormat == AudioDts || track.iFormat == AudioAc3)
        return Fmt("-i \"%s\" -vn -acodec pcm_s16le -ac %d%s \"%s\"")
            .s(source)
            .d(track.iChannels == 1 ? 1 : 2)
            .s(mapOption(stream))
            .s(output);
    return Fmt("-i \"%s\" -vn -acodec pcm_s16le%s \"%s\"").s(source).s(mapOption(stream)).s(output);
}

DemuxCall DemuxStep(ContainerKind container, const QString &source, const AudioTrack &track, const QString &output,
                    int stream)
{
    const QString copy = RetryArguments(source, output, stream);
    switch (container) {
    case ContainerAvi:
        return { true, kFfmpeg, copy, QStringLiteral("Extracting audio from AVI") };
    case ContainerDivx:
        return { true, kFfmpeg, copy, QStringLiteral("Extracting audio from DivX") };
    case ContainerMkv:
        return { true, kMkvextract, Fmt("tracks \"%s\" %d:\"%s\"").s(source).d(track.iID).s(output),
                 QStringLiteral("Extracting audio from MKV") };
    case ContainerMp4:
        return { true, kMP4Box, Fmt("-raw %d \"%s\" -out \"%s\"").d(track.iID).s(source).s(output),
                 QStringLiteral("Extracting audio from MP4") };
    case ContainerQt:
        // QuickTime shares MP4's box structure. Without a demux step here, a QuickTime file whose
        // audio is one AAC track (what phones and cameras record) was converted without sound.
        return { true, kMP4Box, Fmt("-raw %d \"%s\" -out \"%s\"").d(track.iID).s(source).s(output),
                 QStringLiteral("Extracting audio from QuickTime") };
    case ContainerFlv:
        return { true, kFfmpeg, Fmt("-i \"%s\" -acodec copy%s \"%s\"").s(source).s(mapOption(stream)).s(output),
                 QStringLiteral("Extracting audio from FLV") };
    case ContainerOgg:
        return { true, kOGMDemuxer, Fmt("tracks \"%s\" -p %d:\"%s\"").s(source).d(track.iID).s(output),
                 QStringLiteral("Extracting audio from OGG") };
    default:
        return {};
    }
}

QString RetryArguments(const QString &source, const QString &output, int stream)
{
    return Fmt("-i \"%s\" -vn -acodec copy%s \"%s\"").s(source).s(mapOption(stream)).s(output);
}

bool HasExtension(const QString &path, const char *dotExtension)
{
    return path.endsWith(QLatin1String(dotExtension), Qt::CaseInsensitive);
}

QString PcmDecodeArguments(const QString &audioFile, const QString &pcmFile, bool aacReencode)
{
    if (!aacReencode && (HasExtension(audioFile, ".dts") || HasExtension(audioFile, ".ac3")))
        return Fmt("-i \"%s\" -ac 2 -y \"%s\"").s(audioFile).s(pcmFile);
    return Fmt("-i \"%s\" -y \"%s\"").s(audioFile).s(pcmFile);
}

QString DownmixArguments(const QString &pcmFile, const QString &target)
{
    return Fmt("\"%s\" \"%s\"").s(pcmFile).s(target);
}

bool FoldsWithFfmpeg(int channels)
{
    return channels == 3 || channels == 4;
}

QString FfmpegFoldArguments(const QString &pcmFile, const QString &target)
{
    return Fmt("-i \"%s\" -ac 2 -y \"%s\"").s(pcmFile).s(target);
}

QString NormalizeArguments(const QString &pcmFile)
{
    return Fmt("\"%s\"").s(pcmFile);
}

QString EncodeArguments(const QString &pcmFile, const QString &aacFile, bool aacReencode)
{
    return Fmt("-lc -br %d -if \"%s\" -of \"%s\"").d(aacReencode ? 144000 : 136000).s(pcmFile).s(aacFile);
}

bool KeepAac(const MediaReport &probe, int aacMode)
{
    if (aacMode == 2)
        return true;
    if (aacMode == 1)
        return false;
    if (probe.audio.isEmpty())
        return false;
    const AudioTrack &first = probe.audio.first();
    return first.iFormat == AudioAac && first.bLC && first.iChannels <= 2;
}

} // namespace audio
