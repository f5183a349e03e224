#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Writes a non-fragmented MP4 with the movie header first, laid out the way ffmpeg's mov
// muxer lays out a file it writes with +faststart: samples interleaved by decoding time,
// chunks of contiguous samples under 1 MiB, edit lists, durations and sample tables worked
// out by its rules, so the file reads back as the one ffmpeg would have written.
namespace mp4box {

class ProgressLine;

struct Mp4OutSample {
    uint32_t size = 0;
    int64_t dts = 0; // track time scale, as the muxer would receive them (may start below zero)
    int64_t pts = 0;
    uint32_t duration = 0;
    bool key = true;
};

struct Mp4OutTrack {
    uint32_t handler = 0; // 'vide', 'soun' or a text handler ('sbtl')
    std::string handlerName; // "VideoHandler"
    bool text = false; // a null media header ('nmhd') instead of 'vmhd' or 'smhd'
    uint32_t timescale = 0;
    std::vector<uint8_t> sampleEntry; // the whole entry box (avc1, mp4a)
    uint16_t language = 0x55c4; // packed ISO 639-2/T ("und")
    bool enabled = true;
    int alternateGroup = 0;
    int volume = 0; // 8.8
    uint32_t width = 0; // 16.16, visual and text tracks
    uint32_t height = 0;
    int translationX = 0; // whole pixels, in the track matrix
    int translationY = 0;
    bool rollGroup = false; // AAC: every sample in one 'roll' group, distance -1
    std::vector<Mp4OutSample> samples; // decoding order
    // Appends the bytes of one sample (exactly its size) to out.
    std::function<void(size_t sample, std::string *out)> data;
};

struct Mp4OutMovie {
    uint32_t majorBrand = 0;
    uint32_t minorVersion = 0;
    std::vector<uint32_t> compatibleBrands;
    std::string encoder; // the iTunes-style tool tag; empty: none
    std::vector<Mp4OutTrack> tracks;
    // The (track, sample) order of the media data; empty: interleaveOrder's.
    std::vector<std::pair<uint32_t, uint32_t>> order;
};

// One edit-list entry: movie time scale duration, media time (-1: empty edit).
struct Mp4OutEdit {
    int64_t duration = 0;
    int64_t mediaTime = 0;
};

// The edit list and the track header's duration ffmpeg derives from a track's timestamps
// (movie time scale 1000): an empty edit for a track that starts late.
std::vector<Mp4OutEdit> editsFor(const Mp4OutTrack &track, int64_t *tkhdDuration);

// The (track, sample) order in which samples go into the media data: by decoding time,
// a tie going to the lower track.
std::vector<std::pair<uint32_t, uint32_t>> interleaveOrder(const std::vector<Mp4OutTrack> &tracks);

// Whether a chunk offset table whose last chunk starts there needs 64-bit entries.
constexpr bool needsCo64(uint64_t lastChunkOffset) { return lastChunkOffset > 0xffffffffull; }

// The packed language code of a three-letter ISO 639-2 code; false when it is not one.
bool packLanguage(const std::string &code, uint16_t *packed);

bool writeMp4(const std::string &path, const Mp4OutMovie &movie, ProgressLine *progress, std::string *error);

} // namespace mp4box
