#pragma once

#include "engine/ConvertJob.h"
#include "probe/MediaReport.h"

#include <QString>

// The pure parts of the audio stages: file names, summary texts, route and keep
// decisions and every tool's argument string. The stages in AudioExtraction.cpp and
// AudioConversion.cpp run them.
namespace audio {

// "aac", "dts", "ac3", "mp3", "ogg", "wav", "wma"; empty for other formats.
QString Extension(AudioFormat format);
// " / AAC", " / DTS", ...; empty for other formats.
QString SummaryText(AudioFormat format);
// The summary part of an internal track: format text then "(int)" or "(int, out of N)".
QString InternalTrackSummary(const MediaReport &report, int track);
// The subtitle part of the summary for iSubtitleSource (0 none, 1 internal, 2 SAMI,
// 3 SRT, 4 and 5 ASS/SSA).
QString SubtitleSummary(const MediaReport &report, int subtitleSource);

// True when ffmpeg should find and decode the audio itself rather than the
// container's demuxer: a single non-AAC track (or any single track when AAC is
// always re-encoded), a WMA first track, or an MPEG program stream.
bool UsesConvertingExtraction(const MediaReport &report, int aacMode);

// Which audio stream an ffmpeg call must take for internal track i: i itself when the
// report has several audio tracks (ffmpeg counts them in the same order), -1 when there
// is only one and no choice to name.
int FfmpegAudioStream(const MediaReport &report, int track);

// ffmpeg decoding the source's audio to 16-bit PCM (forced extraction).
QString ForcedExtractionArguments(const QString &source, const QString &output);
// ffmpeg's converting extraction of track; "-ac 1|2" when it is DTS or AC-3, and
// "-map 0:a:N" when stream is not -1.
QString ConvertingExtractionArguments(const QString &source, const AudioTrack &track, const QString &output,
                                      int stream = -1);

// The container's demux step for track; valid is false for containers without one.
struct DemuxCall
{
    bool valid = false;
    ToolId tool = kFfmpeg;
    QString arguments;
    QString logLine;
};
// The ffmpeg calls (AVI, DivX, FLV) take "-map 0:a:N" when stream is not -1.
DemuxCall DemuxStep(ContainerKind container, const QString &source, const AudioTrack &track, const QString &output,
                    int stream = -1);
// ffmpeg's second try after an MP4 or MKV demux left nothing.
QString RetryArguments(const QString &source, const QString &output, int stream = -1);

// Decoding an audio file to PCM WAV: "-ac 2" for .dts and .ac3 names unless an AAC
// file is being re-encoded.
QString PcmDecodeArguments(const QString &audioFile, const QString &pcmFile, bool aacReencode);
QString DownmixArguments(const QString &pcmFile, const QString &target);
// chanfold folds 5 to 8 channels; 3 and 4 are folded by ffmpeg with these arguments.
bool FoldsWithFfmpeg(int channels);
QString FfmpegFoldArguments(const QString &pcmFile, const QString &target);
QString NormalizeArguments(const QString &pcmFile);
// neroAacEnc at 136000 bit/s, or 144000 when an AAC source is re-encoded.
QString EncodeArguments(const QString &pcmFile, const QString &aacFile, bool aacReencode);

// "reencode AAC": 0 keeps AAC-LC with at most two channels, 1 always re-encodes,
// 2 always keeps. probe is the report of the AAC file itself.
bool KeepAac(const MediaReport &probe, int aacMode);

// Name ends in the extension (four characters such as ".aac"), without regard to case.
bool HasExtension(const QString &path, const char *dotExtension);

} // namespace audio
