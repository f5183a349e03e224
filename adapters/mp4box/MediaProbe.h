#pragma once

#include "CommandLine.h"

#include <string>
#include <string_view>
#include <vector>

// What ffprobe says about a media file: its container and its streams.
namespace mp4box {

struct ProbedStream {
    int index = 0;
    long long id = -1; // the container's track ID (the MP4 track ID); -1 when none
    std::string type; // "video", "audio", "subtitle", ...
    std::string codec;
    int width = 0;
    int height = 0;
    Rational frameRate;
    double startTime = 0;
    std::string language;
};

struct ProbedMedia {
    std::string format; // e.g. "mov,mp4,m4a,3gp,3g2,mj2", "avi", "h264"
    double duration = 0;
    double startTime = 0; // ffmpeg moves every stream of the file back by this much
    std::vector<ProbedStream> streams;

    bool formatIs(const std::string &name) const;
};

// Parses ffprobe's "-of flat" output.
ProbedMedia parseFlatProbe(const std::string &text);

bool probeMedia(const std::string &path, ProbedMedia *out, std::string *error);

// An ADTS AAC stream read frame by frame.
struct AdtsFrame {
    size_t offset = 0; // of the header
    uint32_t length = 0; // header included
    uint32_t headerLength = 7; // 9 with a CRC
    int blocks = 1; // raw data blocks
};

struct AdtsStream {
    int sampleRate = 0;
    int rateIndex = 0;
    int objectType = 0; // the header's profile + 1 (2: AAC LC)
    int channelConfig = 0; // 0: a program config element in the stream
    // Every frame has one raw data block, no CRC, and the first frame's profile and channels.
    bool plain = true;
    int64_t samples = 0;
    std::vector<AdtsFrame> frames;
};

// False when the bytes are not a clean run of ADTS frames of one sample rate.
bool readAdts(std::string_view bytes, AdtsStream *out);

// What ffprobe would say of an ADTS AAC file, read from its frame headers: false when the
// bytes are not a clean run of ADTS frames (ID3 tags, garbage, a cut frame), which are then
// left to ffprobe.
bool probeAdts(std::string_view bytes, ProbedMedia *out);

} // namespace mp4box
