#pragma once

#include "engine/ConvertJob.h"
#include "shell/ConverterOptions.h"

// The stage chain of one job, in order (the driver runs them after the source check).
StageResult ProbeSource(ConvertJob &job);            // media probe
StageResult IdentifySource(ConvertJob &job);         // container, video decision, companions, audio track
StageResult PrepareSubtitles(ConvertJob &job);       // external SAMI / SRT / ASS-SSA to SRT
StageResult ExtractAudio(ConvertJob &job);           // demux or converting extraction, PCM validation
StageResult ConvertAudio(ConvertJob &job);           // PCM, downmix, normalise, AAC; ends with ProbeFinalAac
StageResult PrepareTrackOptions(ConvertJob &job);    // final AAC probe, output names, track options
StageResult ExtractVideo(ConvertJob &job);           // copy path and internal subtitle tracks
StageResult ReencodeVideo(ConvertJob &job);          // two-pass H.264
StageResult MuxAndSync(ConvertJob &job);             // PAR, mux, sync check, second mux
StageResult CheckResult(ConvertJob &job);            // the finished file against its source

// Starts the copy path's video extraction ahead of its stage, where it reads only the
// source and writes only its own file (a raw stream taken out of an MKV or AVI), and the
// job has audio to make meanwhile.
void StartVideoAhead(ConvertJob &job);

// Probe of strAacFile into aacReport; an unrecognised file leaves the job without audio.
// False when Stop was pressed during the probe.
bool ProbeFinalAac(ConvertJob &job);

// Helpers of the identification stages, exposed for their tests.
QString ProbeLanguageCode(const ConverterOptions &options);
// Delay written in an external audio file's name ("movie DELAY -300ms.ac3" -> -300).
int ExternalAudioDelay(const QString &sourcePath, const QString &sourceExt, const QString &candidate);
int ChooseInternalAudio(const MediaReport &report, const ConverterOptions &options);
// Video bit rate guessed from the picture when the report gives none, in bit/s.
int EstimatedBitRate(int width, int height, double frameRate);
// The devices decode 8-bit 4:2:0 pictures only, and of H.264 no profile above High.
// Empty when the video is within that, else what is beyond it ("High 10 / 4:2:0 /
// 10 bit") for the log line.
QString UndecodableVideoFeatures(const MediaReport &report);
