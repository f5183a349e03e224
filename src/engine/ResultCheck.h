#pragma once

#include "probe/MediaReport.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The check of a finished file against its source, before the row may say it is done:
// the durations of picture and sound, how the sound lines up with the picture, and
// whether the device decodes the picture at all. The pure parts are here for tests.

// Where a track lies on its file's time line, in ms. A duration of 0 is not known.
struct TrackSpan
{
    int delay = 0;
    int duration = 0;

    bool known() const { return duration > 0; }
    int end() const { return delay + duration; }
};

struct ResultFigures
{
    double frameRate = 0; // the source's, for the one-frame tolerance; 0 when unknown
    bool sourceHasVideo = false;
    TrackSpan sourceVideo;
    bool sourceHasAudio = false; // the job carries sound: an internal track or a companion file
    TrackSpan sourceAudio;       // on the source video's time line
    bool outputHasVideo = false;
    TrackSpan outputVideo;
    bool outputHasAudio = false;
    TrackSpan outputAudio;
    // The sync re-mux replaced the file: it lines the ends of sound and picture up on purpose.
    bool endsAligned = false;
    VideoFormat outputFormat = VideoNone;
    QString outputProfile; // "High@L3.1"
    QString outputChroma;  // "4:2:0"
    int outputBitDepth = 0;
    bool todaysDevice = false; // today's iPhone and iPad also decode HEVC Main and Main 10
};

enum class ResultFault { NoVideo, VideoDuration, NoAudio, AudioDuration, Sync, Undecodable };

struct ResultDifference
{
    ResultFault fault;
    QString text; // for the log: what differs and by how much
};

// How far two times may lie apart, in ms: 0.25 s, or one frame when that is longer.
int ResultTolerance(double frameRate);

// Empty when the result matches its source. Figures the source does not give are not
// compared: a source without a duration never fails for that.
QList<ResultDifference> CompareResult(const ResultFigures &f);

// A picture the devices decode: H.264 Baseline, Main or High, or MPEG-4 Simple or
// Advanced Simple, 8-bit 4:2:0; for today's devices also HEVC Main (8-bit) and Main 10
// (up to 10-bit), 4:2:0. What the report leaves out is not held against it.
bool DecodablePicture(VideoFormat format, const QString &profile, const QString &chroma, int bitDepth,
                      bool todaysDevice = false);

// ffmpeg's reading of one audio stream without decoding it: the time its packets
// reach is the stream's length, whatever the container's header claims.
QString AudioLengthArguments(const QString &source, int audioIndex, const QString &progressFile);

// The last out_time of an ffmpeg -progress file, in ms; -1 when there is none.
int ProgressEndMs(const QByteArray &progress);
