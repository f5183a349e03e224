// The in-process MP4 writer on a known timing, read back with the adapter's own MP4 reader.
#include "DirectMux.h"
#include "Mp4File.h"
#include "Mp4Writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace mp4box;

namespace {

// The words of a table box after its version and flags (entry count first), found by its type.
std::vector<uint32_t> tableOf(const std::string &file, const char *type)
{
    const size_t at = file.find(type);
    if (at == std::string::npos)
        return {};
    auto be32 = [&](size_t p) {
        return static_cast<uint32_t>(static_cast<uint8_t>(file[p])) << 24
            | static_cast<uint32_t>(static_cast<uint8_t>(file[p + 1])) << 16
            | static_cast<uint32_t>(static_cast<uint8_t>(file[p + 2])) << 8 | static_cast<uint8_t>(file[p + 3]);
    };
    const uint32_t size = be32(at - 4);
    std::vector<uint32_t> out;
    for (size_t p = at + 8; p + 4 <= at - 4 + size; p += 4) // entry count, then the entries
        out.push_back(be32(p));
    return out;
}

Mp4OutTrack track(uint32_t handler, uint32_t timescale, int index)
{
    Mp4OutTrack t;
    t.handler = handler;
    t.handlerName = "Handler";
    t.timescale = timescale;
    t.sampleEntry = { 0, 0, 0, 8, 't', 'e', 's', 't' };
    t.data = [index](size_t s, std::string *out) { out->append(10 + s, static_cast<char>(index * 16 + static_cast<int>(s))); };
    return t;
}

} // namespace

TEST(Mp4Writer, TablesEditsAndDataFollowTheTimestamps)
{
    Mp4OutMovie movie;
    movie.majorBrand = fourcc("M4V ");
    // Video at 25 fps (1000 ticks a frame) two pictures deep, 300 ms late: decoding order
    // I P B B P B showing as ranks 0 3 1 2 5 4.
    Mp4OutTrack v = track(fourcc("vide"), 25000, 0);
    const int ranks[] = { 0, 3, 1, 2, 5, 4 };
    for (int i = 0; i < 6; ++i)
        v.samples.push_back({ static_cast<uint32_t>(10 + i), 7500 + (i - 2) * 1000, 7500 + ranks[i] * 1000, 1000, i % 4 == 0 });
    Mp4OutTrack a = track(fourcc("soun"), 48000, 1);
    a.enabled = false;
    a.alternateGroup = 1;
    ASSERT_TRUE(packLanguage("kor", &a.language));
    for (int k = 0; k < 5; ++k)
        a.samples.push_back({ static_cast<uint32_t>(10 + k), k * 1024, k * 1024, 1024, true });
    movie.tracks = { v, a };

    char path[] = "/tmp/mp4writer-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string error;
    ASSERT_TRUE(writeMp4(path, movie, nullptr, &error)) << error;
    Mp4File file;
    ASSERT_TRUE(file.open(path, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();

    ASSERT_EQ(file.tracks().size(), 2u);
    const Mp4Track &tv = file.tracks()[0];
    const Mp4Track &ta = file.tracks()[1];
    // A late start is an empty edit; the decoding lead of two frames is skipped by media time.
    ASSERT_EQ(tv.edits.size(), 2u);
    EXPECT_EQ(tv.edits[0].duration, 300);
    EXPECT_EQ(tv.edits[0].mediaTime, -1);
    EXPECT_EQ(tv.edits[1].duration, 240);
    EXPECT_EQ(tv.edits[1].mediaTime, 2000);
    ASSERT_EQ(ta.edits.size(), 1u);
    EXPECT_EQ(ta.edits[0].duration, 107); // 5120 / 48 ms, rounded up
    EXPECT_EQ(ta.edits[0].mediaTime, 0);
    // Composition offsets run-length coded, sync samples 1 and 5; the audio has neither.
    EXPECT_EQ(tableOf(bytes.str(), "ctts"),
        (std::vector<uint32_t> { 5, 1, 2000, 1, 4000, 2, 1000, 1, 3000, 1, 1000 }));
    EXPECT_EQ(tableOf(bytes.str(), "stss"), (std::vector<uint32_t> { 2, 1, 5 }));
    EXPECT_EQ(bytes.str().find("ctts", bytes.str().find("soun")), std::string::npos);
    EXPECT_EQ(tv.timescale, 25000u);
    EXPECT_EQ(ta.language, "kor");
    EXPECT_EQ(tv.tkhdFlags, 3u);
    EXPECT_EQ(ta.tkhdFlags, 2u);
    EXPECT_EQ(ta.alternateGroup, 1);
    // Every sample is found where the tables say, with its own bytes; the audio, earlier
    // in decoding time, comes first in the media data.
    std::vector<uint8_t> data;
    for (int t = 0; t < 2; ++t) {
        const Mp4Track &tr = file.tracks()[static_cast<size_t>(t)];
        ASSERT_EQ(tr.samples.size(), t == 0 ? 6u : 5u);
        for (size_t s = 0; s < tr.samples.size(); ++s) {
            ASSERT_TRUE(file.readSample(tr.samples[s], &data));
            EXPECT_EQ(data, std::vector<uint8_t>(10 + s, static_cast<uint8_t>(t * 16 + static_cast<int>(s))));
            EXPECT_EQ(tr.samples[s].duration, t == 0 ? 1000u : 1024u);
        }
    }
    EXPECT_LT(ta.samples.back().offset, tv.samples.front().offset);
    std::remove(path);
}

TEST(Mp4Writer, OrderOffsetWidthAndRatiosAsFfmpegHasThem)
{
    // Equal decoding times go to the lower track; 1024/48000 s lies between 0 and 1000/25000 s.
    Mp4OutTrack v = track(fourcc("vide"), 25000, 0);
    Mp4OutTrack a = track(fourcc("soun"), 48000, 1);
    v.samples = { { 1, 0, 0, 1000, true }, { 1, 1000, 1000, 1000, true } };
    a.samples = { { 1, 0, 0, 1024, true }, { 1, 1024, 1024, 1024, true }, { 1, 1920, 1920, 1024, true } };
    EXPECT_EQ(interleaveOrder({ a, v }),
        (std::vector<std::pair<uint32_t, uint32_t>> { { 0, 0 }, { 1, 0 }, { 0, 1 }, { 0, 2 }, { 1, 1 } }));
    EXPECT_FALSE(needsCo64(0xffffffffull));
    EXPECT_TRUE(needsCo64(0x100000000ull));
    uint16_t code = 0;
    EXPECT_TRUE(packLanguage("", &code) && code == 0x55c4);
    EXPECT_FALSE(packLanguage("KO", &code));
    // Display ratios cut to terms of at most 255 the way ffmpeg's av_reduce cuts them.
    const struct {
        int64_t num, den, max, wantNum, wantDen;
    } ratios[] = { { 1280, 720, 255, 16, 9 }, { 427, 240, 255, 137, 77 }, { 2, 4, 255, 1, 2 }, { 255, 256, 255, 254, 255 } };
    for (const auto &r : ratios) {
        int64_t n = 0;
        int64_t d = 0;
        reduceRatio(r.num, r.den, r.max, &n, &d);
        EXPECT_EQ(n, r.wantNum) << r.num << ":" << r.den;
        EXPECT_EQ(d, r.wantDen) << r.num << ":" << r.den;
    }
}
