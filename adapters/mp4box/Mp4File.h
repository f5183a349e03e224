#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A small ISO base media (MP4) reader: the track headers, handlers, first sample
// descriptions, edit lists and sample tables of a non-fragmented file, with the file
// offsets of the fixed-size fields that the muxer sets after ffmpeg has written the file.
namespace mp4box {

constexpr uint32_t fourcc(const char (&s)[5])
{
    return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) << 24
        | static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 16
        | static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 8 | static_cast<unsigned char>(s[3]);
}

std::string fourccText(uint32_t code);

struct Mp4Sample {
    uint64_t offset = 0;
    uint32_t size = 0;
    int64_t dts = 0; // media timescale
    uint32_t duration = 0;
};

struct Mp4Edit {
    int64_t duration = 0; // movie timescale
    int64_t mediaTime = 0; // media timescale; -1 for an empty edit
};

struct Mp4Track {
    uint32_t id = 0;
    uint32_t handler = 0;
    uint32_t timescale = 0;
    uint32_t tkhdFlags = 0;
    int alternateGroup = 0;
    double width = 0;
    double height = 0;
    int32_t matrix[9] = { 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000 };
    std::string language;
    uint64_t tkhdPos = 0; // file offset of the tkhd box
    int tkhdVersion = 0;
    uint64_t hdlrPos = 0; // file offset of the hdlr box
    uint64_t sampleEntryPos = 0;
    std::vector<uint8_t> sampleEntry; // the first sample description, box header included
    std::vector<Mp4Edit> edits;
    std::vector<Mp4Sample> samples;

    // File offsets of tkhd fields.
    uint64_t flagsOffset() const { return tkhdPos + 9; }
    uint64_t alternateGroupOffset() const { return tkhdPos + 12 + (tkhdVersion == 1 ? 32 : 20) + 10; }
    uint64_t matrixOffset() const { return tkhdPos + 12 + (tkhdVersion == 1 ? 32 : 20) + 16; }
    uint64_t sizeOffset() const { return matrixOffset() + 36; }
    uint64_t handlerTypeOffset() const { return hdlrPos + 16; }
};

class Mp4File {
public:
    bool open(const std::string &path, std::string *error);

    const std::vector<Mp4Track> &tracks() const { return m_tracks; }
    const Mp4Track *track(uint32_t id) const;
    uint32_t movieTimescale() const { return m_movieTimescale; }
    bool readSample(const Mp4Sample &s, std::vector<uint8_t> *out) const;

    // Overwrites bytes of a finished file in place (fixed-size fields only).
    static bool writeAt(
        const std::string &path, uint64_t offset, const std::vector<uint8_t> &bytes, std::string *error);

private:
    bool parseMoov(const std::vector<uint8_t> &moov, uint64_t base, std::string *error);
    bool parseTrak(const uint8_t *p, size_t size, uint64_t bodyPos, std::string *error);

    std::string m_path;
    uint64_t m_fileSize = 0;
    uint32_t m_movieTimescale = 0;
    std::vector<Mp4Track> m_tracks;
};

} // namespace mp4box
