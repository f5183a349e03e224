#pragma once

#include "probe/MediaReport.h"

#include <QString>
#include <QStringList>

// The arithmetic and the script of the two-pass H.264 encode, apart from running it.

struct FrameSize
{
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize &) const = default;
};

// Picture size for the device (0 iPhone 3, 1 iPhone 4, 2 iPhone 4S, 3 today's iPhone and
// iPad: the long side at most 1920; anything else keeps the source size), both sides
// made even. The source sides must not be 0.
FrameSize ReencodeTargetSize(int sourceWidth, int sourceHeight, int deviceKind);

// Where, on the source's clock, the encoded stream begins. The encoder counts time
// from the source's start, the earliest of its tracks, and at a constant frame rate
// fills the time up to the first picture; so a video that starts after the audio
// comes out already delayed.
int EncodedVideoStart(const MediaReport &report);

// The frame-rate text passed to the encoder and the muxer: "30" from 30 frames per
// second up, else the text as reported. A rate that is not reported (often so in
// Windows Media files) also gives "30": an empty "-r" would fail the encode, and
// the encoder keeps the timing by repeating or dropping frames.
// maxRate raises the cap for a device that plays more (today's devices: 60).
QString EncoderFrameRateText(const QString &frameRateText, int maxRate = 30);

// Today's iPhone and iPad: the device that takes High profile, up to 60 frames per
// second, and that gets an interlaced source deinterlaced whatever the option says.
inline constexpr int kTodaysDevice = 3;

// The highest frame rate encoded for the device: 30, or 60 for today's devices unless
// the 30 fps check is on.
int EncoderMaxFrameRate(int deviceKind, bool check30fps);

// The source bit rate capped for the encoder: 3,000,000 bit/s, 2,400,000 for iPhone 3,
// 8,000,000 for today's devices.
int CappedBitRate(int bitRate, int deviceKind);

// The x264 preset of a profile index (0 Slow ... 5 HiBR/Slow); with highProfile the
// variant that lets x264 write High profile ("slow_high") instead of capping it at Main.
QString ProfilePresetName(int profile, bool highProfile = false);

// The -b value in kbit/s: the bit rate rounded to kbit/s, doubled for HiBR/Slow.
int ProfileKbps(int bitRate, int profile);

struct TwoPassPass
{
    QString sourcePath;   // short path of the source
    QString outputPath;   // W + "convh264.mp4"
    QString ffmpegPath;   // short path of the encoder
    QString tempFolder;   // the temporary folder, ending with a separator
    QString presetFolder; // where the encoder finds its preset files
    int pass = 1;
    int profile = 0;
    FrameSize size;
    QString frameRate;
    int bitRate = 0; // bit/s
    bool deinterlace = false;
    bool highProfile = false;
};

// The body of one pass's script: into the temporary folder (the pass logs land there),
// the preset folder in the environment, the old output deleted, then the encoder line.
QStringList TwoPassScriptLines(const TwoPassPass &p);
