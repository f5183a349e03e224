#pragma once

#include "probe/MediaReport.h"

#include <QString>
#include <QStringList>

// How a job's video gets into the output when it is copied, and the argument pieces
// of the extraction steps.
enum class VideoRoute {
    Reencode,     // the re-encoding stage makes the video
    AviRaw,       // AVI/DivX H.264: raw stream via MP4Box -aviraw
    AviReference, // AVI/DivX other video: added straight from the source
    MkvH264,      // mkvextract to a raw H.264 stream
    MkvHevc,      // mkvextract to a raw HEVC stream
    MkvOther,     // mkvextract to an AVI file
    Mp4Reference, // MP4 and QuickTime: added straight from the source
    Flash,        // FLV/SWF: ffmpeg copies the video into an MP4 file
    TsCopy,       // transport stream H.264/HEVC: ffmpeg copies the video into an MP4 file
    OggH264,      // OGMDemuxer to AVI, then MP4Box -aviraw
    OggOther,     // OGMDemuxer to AVI
    NoVideo,      // the source has no video track
};

// The route for a job. MPEG-PS, Windows Media and unknown containers have no copy
// path, so copyable video there is re-encoded rather than left out of the output.
VideoRoute ChooseVideoRoute(const MediaReport &report, bool reencodeVideo, int conversionMode);

// " N:\"W/sub_NNN.srt\"" for every SRT and ASS/SSA text track, in track order; the
// files are appended to subtitleFiles.
QString MkvSubtitleSpecs(const MediaReport &report, const QString &workFolder, QStringList &subtitleFiles);

// File name of a path without folder and without the text from its last ".".
QString ShortBaseName(const QString &path);
