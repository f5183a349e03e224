#pragma once

#include <QString>

// The arithmetic and text pieces of the final mux, kept free of the job so they can
// be checked on their own: names, pixel aspect ratio, argument string and delays.

// Every run of conjoining Hangul jamo (leading consonant, vowel, optional trailing
// consonant) replaced by its precomposed syllable; compatibility jamo stay as they are.
QString ComposeHangulJamo(const QString &text);

// Greatest common divisor of two non-negative numbers (binary method); when one is 0
// the result is the other.
int Gcd(int a, int b);

// File name of the source after its last separator, cut before its last "." (kept
// whole without one), with its jamo composed.
QString OutputBaseName(const QString &sourcePath);

// A pixel aspect ratio as a reduced fraction, with the value that is logged for it.
struct AspectRatio
{
    int n = 1;
    int d = 1;
    double value = 1.0;
};

// The source ratio: 1:1 for a missing or non-positive value; else thousandths, or
// ninety-thousandths when the thousandths are not a multiple of 100; reduced.
AspectRatio SourcePixelAspect(double pixelAspect);

// The ratio written to the output for PAR mode 0-5 (keep, 1:1, <1.5, <2.0, SAR 3:2, SAR 4:3).
// The SAR modes fall back to 1:1 when the picture size is unknown.
AspectRatio TargetPixelAspect(const AspectRatio &source, int parMode, int width, int height);

// " -par 1=N:D".
QString ParOption(const AspectRatio &ratio);

// " -add \"AAC\"##AUDIODELAY##", the audio part of the track options.
QString AudioTrackOption(const QString &aacFile);

// The whole argument string with both delay placeholders still in it; the first
// ":disable" is taken out so the first subtitle track is the enabled one.
QString ComposeMuxArgs(const QString &videoOption, const QString &parOption, const QString &trackOptions,
                       const QString &progressFile);

// Shifts that move the tracks so the source video delay is taken out (or kept, with
// internal subtitles whose times are relative to it).
struct TrackShifts
{
    int video = 0;
    int audio = 0;
};
TrackShifts ComputeShifts(int sourceVideoDelay, bool internalAudio, int subtitleSource);

// A mux cannot delay a track by a negative time: when either delay is negative both
// are raised by the same amount. correction is that amount (0 when none was needed).
struct MuxDelays
{
    int audio = 0;
    int video = 0;
    int correction = 0;
};
MuxDelays CorrectNegativeDelays(int audio, int video);

// Every "##AUDIODELAY##" and "##VIDEODELAY##" replaced by ":delay=N".
QString SubstituteDelays(QString args, int audio, int video);

// Timed-text name for the shifted copy: ".ttxt" replaced by "_adj.ttxt".
QString AdjustedSubtitleName(const QString &ttxtPath);

// Audio end past the video end in the finished file, counted from the source audio delay.
int SyncOffset(int sourceAudioDelay, int outputAudioDuration, int outputVideoDuration);
// More than 100 ms beyond the source video delay calls for the corrected second mux.
bool IsSyncProblem(int syncOffset, int sourceVideoDelay);
