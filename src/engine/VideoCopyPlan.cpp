#include "engine/VideoCopyPlan.h"

#include "platform/Paths.h"
#include "shell/Formatters.h"

VideoRoute ChooseVideoRoute(const MediaReport &report, bool reencodeVideo, int conversionMode)
{
    if (report.iVideoFormat == VideoNone)
        return VideoRoute::NoVideo;
    if (reencodeVideo || conversionMode == 3)
        return VideoRoute::Reencode;
    const bool h264 = report.iVideoFormat == VideoH264;
    if (report.iContainer == ContainerTs)
        return h264 || report.iVideoFormat == VideoHevc ? VideoRoute::TsCopy : VideoRoute::Reencode;
    // HEVC is copied out of the containers that are made to hold it.
    if (report.iVideoFormat == VideoHevc) {
        switch (report.iContainer) {
        case ContainerMkv:
            return VideoRoute::MkvHevc;
        case ContainerMp4:
        case ContainerQt:
            return VideoRoute::Mp4Reference;
        default:
            return VideoRoute::Reencode;
        }
    }
    switch (report.iContainer) {
    case ContainerAvi:
    case ContainerDivx:
        return h264 ? VideoRoute::AviRaw : VideoRoute::AviReference;
    case ContainerMkv:
        return h264 ? VideoRoute::MkvH264 : VideoRoute::MkvOther;
    case ContainerMp4:
    case ContainerQt:
        return VideoRoute::Mp4Reference;
    case ContainerFlv:
    case ContainerSwf:
        return VideoRoute::Flash;
    case ContainerOgg:
        return h264 ? VideoRoute::OggH264 : VideoRoute::OggOther;
    default:
        return VideoRoute::Reencode;
    }
}

QString MkvSubtitleSpecs(const MediaReport &report, const QString &workFolder, QStringList &subtitleFiles)
{
    QString specs;
    for (const TextTrack &t : report.text) {
        if (t.iFormat != TextSrt && t.iFormat != TextSsa)
            continue;
        const QString file = Fmt("%ssub_%s.srt").s(workFolder).s(QString::number(t.iID).rightJustified(3, QLatin1Char('0')));
        subtitleFiles << file;
        specs += Fmt(" %d:\"%s\"").d(t.iID).s(file).str();
    }
    return specs;
}

QString ShortBaseName(const QString &path)
{
    QString name = path.mid(platform::lastSeparator(path) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}
