// The raw H.264 reader on hand-built streams: only the parameter sets and slice headers are
// written, which is all it reads. x264 cannot make picture order count type 1, field pictures
// or memory_management_control_operation 5, so those are built here bit by bit.
#include "H264Timing.h"
#include "MatroskaWrap.h"
#include "MediaProbe.h"
#include "SpsSyntax.h"

#include <gtest/gtest.h>

using namespace mp4box;

namespace {

class Bits {
public:
    void u(int n, uint32_t v)
    {
        for (int i = n - 1; i >= 0; --i)
            m_bits.push_back((v >> i & 1) != 0);
    }
    void ue(uint32_t v)
    {
        const uint64_t x = uint64_t { v } + 1;
        int len = 0;
        while (x >> (len + 1))
            ++len;
        u(len, 0);
        u(len + 1, static_cast<uint32_t>(x));
    }
    void se(int v) { ue(v > 0 ? static_cast<uint32_t>(2 * v - 1) : static_cast<uint32_t>(-2 * v)); }

    // The NAL unit with its start code, trailing bits and emulation prevention.
    std::string nal(int refIdc, int type) const
    {
        std::vector<bool> b = m_bits;
        b.push_back(true);
        while (b.size() % 8)
            b.push_back(false);
        std::string payload;
        for (size_t i = 0; i < b.size(); i += 8) {
            int byte = 0;
            for (size_t k = 0; k < 8; ++k)
                byte = byte << 1 | (b[i + k] ? 1 : 0);
            payload.push_back(static_cast<char>(byte));
        }
        std::string out("\0\0\0\1", 4);
        out.push_back(static_cast<char>(refIdc << 5 | type));
        int zeros = 0;
        for (char c : payload) {
            if (zeros >= 2 && static_cast<unsigned char>(c) <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            zeros = c == 0 ? zeros + 1 : 0;
            out.push_back(c);
        }
        return out;
    }

private:
    std::vector<bool> m_bits;
};

struct SpsSpec {
    int pocType = 0;
    bool frameMbsOnly = true;
    bool alwaysZero = true;
    int offsetForNonRef = 0;
    int topToBottom = 0;
    std::vector<int> cycle;
};

// Baseline-profile SPS for a 64x48 picture, frame_num and POC LSB of 4 bits each.
std::string sps(const SpsSpec &s)
{
    Bits b;
    b.u(8, 66);
    b.u(8, 0);
    b.u(8, 30);
    b.ue(0); // seq_parameter_set_id
    b.ue(0); // log2_max_frame_num_minus4
    b.ue(static_cast<uint32_t>(s.pocType));
    if (s.pocType == 0) {
        b.ue(0);
    } else if (s.pocType == 1) {
        b.u(1, s.alwaysZero);
        b.se(s.offsetForNonRef);
        b.se(s.topToBottom);
        b.ue(static_cast<uint32_t>(s.cycle.size()));
        for (int c : s.cycle)
            b.se(c);
    }
    b.ue(4); // max_num_ref_frames
    b.u(1, 0);
    b.ue(3); // 64 wide
    b.ue(s.frameMbsOnly ? 2 : 1); // 48 lines, or two map units of 32 lines for field coding
    b.u(1, s.frameMbsOnly);
    if (!s.frameMbsOnly)
        b.u(1, 0);
    b.u(1, 1);
    b.u(1, 0); // no cropping
    b.u(1, 1); // VUI with a 4:3 sample aspect ratio
    b.u(1, 1);
    b.u(8, 14);
    return b.nal(3, 7);
}

std::string pps()
{
    Bits b;
    b.ue(0);
    b.ue(0);
    b.u(1, 0); // CAVLC
    b.u(1, 0); // bottom_field_pic_order_in_frame_present_flag
    b.ue(0);
    b.ue(0);
    b.ue(0);
    b.u(1, 0);
    b.u(2, 0);
    b.se(0);
    b.se(0);
    b.se(0);
    b.u(1, 1);
    b.u(1, 0);
    b.u(1, 0);
    return b.nal(3, 8);
}

struct Slice {
    char kind = 'P'; // I (IDR when idr), P, B
    bool idr = false;
    bool reference = true;
    int frameNum = 0;
    int pocLsb = 0;
    int deltaPoc = 0;
    int firstMb = 0;
    int field = 0; // 0 frame, 1 top field, 2 bottom field
    bool mmco5 = false;
};

std::string slice(const SpsSpec &s, const Slice &sl)
{
    Bits b;
    b.ue(static_cast<uint32_t>(sl.firstMb));
    b.ue(sl.kind == 'P' ? 5 : sl.kind == 'B' ? 6 : 7);
    b.ue(0); // pps
    b.u(4, static_cast<uint32_t>(sl.frameNum));
    if (!s.frameMbsOnly) {
        b.u(1, sl.field != 0);
        if (sl.field)
            b.u(1, sl.field == 2);
    }
    if (sl.idr)
        b.ue(0);
    if (s.pocType == 0)
        b.u(4, static_cast<uint32_t>(sl.pocLsb));
    if (s.pocType == 1 && !s.alwaysZero)
        b.se(sl.deltaPoc);
    if (sl.kind == 'B')
        b.u(1, 1);
    if (sl.kind != 'I') {
        b.u(1, 0); // num_ref_idx_active_override_flag
        b.u(1, 0); // ref_pic_list_modification_flag_l0
        if (sl.kind == 'B')
            b.u(1, 0);
    }
    if (sl.reference) {
        if (sl.idr) {
            b.u(2, 0);
        } else if (sl.mmco5) {
            b.u(1, 1);
            b.ue(5);
            b.ue(0);
        } else {
            b.u(1, 0);
        }
    }
    b.se(0); // slice_qp_delta
    b.ue(1); // disable_deblocking_filter_idc
    return b.nal(sl.reference ? 2 : 0, sl.idr ? 5 : 1);
}

struct Built {
    std::string bytes;
    H264Stream stream;
    bool ok = false;
};

Built build(const SpsSpec &s, const std::vector<Slice> &slices, const std::string &before = {})
{
    Built r;
    r.bytes = before + sps(s) + pps();
    for (const auto &sl : slices)
        r.bytes += slice(s, sl);
    r.ok = readH264Stream(reinterpret_cast<const uint8_t *>(r.bytes.data()), r.bytes.size(), &r.stream);
    return r;
}

Slice I(int frameNum, int lsb, bool idr = false) { return { 'I', idr, true, frameNum, lsb }; }
Slice P(int frameNum, int lsb, int delta = 0) { return { 'P', false, true, frameNum, lsb, delta }; }
Slice B(int frameNum, int lsb, bool ref = false, int delta = 0) { return { 'B', false, ref, frameNum, lsb, delta }; }

} // namespace

TEST(H264Timing, PocType0OrdersPyramidsAcrossLsbWrapsIdrsAndMmco5)
{
    SpsSpec s;
    // Counts I0 P8 B4(reference) b2 b6 P12 b10, then P16 whose LSB has wrapped to 0 and b14;
    // a P with mmco5 (count 18) starts a count of its own, followed by P4 and b2 of that
    // count; then an IDR and a P.
    std::vector<Slice> slices { I(0, 0, true), P(1, 8), B(2, 4, true), B(3, 2), B(3, 6), P(3, 12), B(4, 10),
        P(4, 0), B(5, 14) };
    Slice reset = P(5, 2);
    reset.mmco5 = true;
    slices.push_back(reset);
    slices.push_back(P(1, 4));
    slices.push_back(B(2, 2));
    slices.push_back(I(0, 0, true));
    slices.push_back(P(1, 2));
    const Built b = build(s, slices);
    ASSERT_TRUE(b.ok) << b.stream.unsupported;
    ASSERT_EQ(b.stream.pictures.size(), slices.size());
    EXPECT_EQ(b.stream.presentation,
        (std::vector<size_t> { 0, 4, 2, 1, 3, 6, 5, 8, 7, 9, 11, 10, 12, 13 }));
    EXPECT_TRUE(b.stream.pictures[0].idr);
    EXPECT_TRUE(b.stream.pictures[0].intraOnly);
    EXPECT_FALSE(b.stream.pictures[3].reference);
    EXPECT_TRUE(b.stream.pictures[2].reference);
    EXPECT_EQ(b.stream.pictures[9].segment + 1, b.stream.pictures[12].segment);
    EXPECT_EQ(b.stream.pictures[8].segment + 1, b.stream.pictures[9].segment);

    const H264Sps &sp = b.stream.sps.at(0);
    EXPECT_EQ(sp.width, 64);
    EXPECT_EQ(sp.height, 48);
    EXPECT_EQ(sp.levelIdc, 30);
    EXPECT_EQ(sp.sarNum, 4);
    EXPECT_EQ(sp.sarDen, 3);
}

TEST(H264Timing, PocType1CountsFromTheCycleAndFrameNumWraps)
{
    SpsSpec s;
    s.pocType = 1;
    s.offsetForNonRef = -2;
    s.cycle = { 4 };
    // Display I B P B P ...: every reference frame advances the count by 4, the B before it
    // (not a reference) sits 2 earlier. frame_num (4 bits) wraps past 15.
    std::vector<Slice> slices { I(0, 0, true) };
    int frameNum = 1;
    for (int k = 0; k < 20; ++k) {
        slices.push_back(P(frameNum % 16, 0));
        slices.push_back(B((frameNum + 1) % 16, 0));
        ++frameNum;
    }
    Built b = build(s, slices);
    ASSERT_TRUE(b.ok) << b.stream.unsupported;
    std::vector<size_t> expected { 0 };
    for (size_t k = 0; k < 20; ++k) {
        expected.push_back(2 * k + 2);
        expected.push_back(2 * k + 1);
    }
    EXPECT_EQ(b.stream.presentation, expected);

    // The same with delta_pic_order_cnt[0] in the slices: a B with delta -3 after two P's
    // (counts 4 and 8, the B itself at 8 - 2 - 3 = 3) comes before both.
    s.alwaysZero = false;
    b = build(s, { I(0, 0, true), P(1, 0), P(2, 0), B(3, 0, false, -3) });
    ASSERT_TRUE(b.ok) << b.stream.unsupported;
    EXPECT_EQ(b.stream.presentation, (std::vector<size_t> { 0, 2, 3, 1 }));
}

TEST(H264Timing, PocType2KeepsDecodingOrder)
{
    SpsSpec s;
    s.pocType = 2;
    Slice nonRef = P(3, 0);
    nonRef.reference = false;
    const Built b = build(s, { I(0, 0, true), P(1, 0), P(2, 0), nonRef, P(3, 0), I(0, 0, true) });
    ASSERT_TRUE(b.ok) << b.stream.unsupported;
    EXPECT_EQ(b.stream.presentation, (std::vector<size_t> { 0, 1, 2, 3, 4, 5 }));
    EXPECT_FALSE(b.stream.pictures[3].reference);
}

TEST(H264Timing, SlicesUnitsAndFieldsGroupIntoPictures)
{
    SpsSpec s;
    // A two-slice IDR with an AUD and SEI in front, then a two-slice P with an AUD in front
    // and the end of the stream after it: two pictures.
    Slice second = I(0, 0, true);
    second.firstMb = 6;
    Slice p2 = P(1, 2);
    p2.firstMb = 6;
    std::string aud("\0\0\0\1\x09\xf0", 6);
    std::string sei("\0\0\0\1\x06\x05\x01\x00\x80", 9);
    Built b = build(s, {}, aud);
    b.bytes += sei + slice(s, I(0, 0, true)) + slice(s, second);
    b.bytes += aud + slice(s, P(1, 2)) + slice(s, p2) + std::string("\0\0\0\1\x0b", 5); // end of stream
    ASSERT_TRUE(readH264Stream(reinterpret_cast<const uint8_t *>(b.bytes.data()), b.bytes.size(), &b.stream));
    ASSERT_EQ(b.stream.pictures.size(), 2u);
    EXPECT_EQ(b.stream.pictures[0].firstNal, 0u); // AUD, SPS, PPS, SEI, two slices
    EXPECT_EQ(b.stream.pictures[0].nalCount, 6u);
    EXPECT_EQ(b.stream.pictures[1].nalCount, 4u); // AUD, two slices, end of stream
    EXPECT_EQ(b.stream.pictures[1].firstNal + 4, b.stream.nals.size());
    EXPECT_TRUE(b.stream.pictures[0].intraOnly);
    EXPECT_FALSE(b.stream.pictures[1].intraOnly);

    // Field pictures: a top/bottom pair is one picture, ordered by the smaller count.
    s.frameMbsOnly = false;
    auto field = [](Slice sl, int which) {
        sl.field = which;
        return sl;
    };
    b = build(s,
        { field(I(0, 0, true), 1), field(P(0, 1), 2), field(P(1, 8), 1), field(P(1, 9), 2), field(B(2, 4), 1),
            field(B(2, 5), 2) });
    ASSERT_TRUE(b.ok) << b.stream.unsupported;
    ASSERT_EQ(b.stream.pictures.size(), 3u);
    EXPECT_TRUE(b.stream.pictures[0].field);
    EXPECT_EQ(b.stream.pictures[0].nalCount, 4u); // SPS, PPS, both fields
    EXPECT_EQ(b.stream.presentation, (std::vector<size_t> { 0, 2, 1 }));
    EXPECT_EQ(b.stream.sps.at(0).height, 64);

    // Beyond the reader: a slice without its parameter sets.
    H264Stream st;
    const std::string lone = slice(SpsSpec {}, I(0, 0, true));
    EXPECT_FALSE(readH264Stream(reinterpret_cast<const uint8_t *>(lone.data()), lone.size(), &st));
    EXPECT_FALSE(st.unsupported.empty());
}

TEST(MatroskaWrap, TimestampsRoundToTheMicrosecondAsMkvmergeWrites)
{
    const Rational film { 24000, 1001 };
    const Rational ntsc { 30000, 1001 };
    EXPECT_EQ(presentationMicroseconds(2, film), 83417);
    EXPECT_EQ(presentationMicroseconds(4, film), 166833);
    EXPECT_EQ(presentationMicroseconds(24, film), 1001000);
    EXPECT_EQ(presentationMicroseconds(1, ntsc), 33367);
    EXPECT_EQ(presentationMicroseconds(3, Rational { 25, 1 }), 120000);
    int w = 0;
    int h = 0;
    displaySize(320, 240, 4, 3, &w, &h);
    EXPECT_EQ(w, 427);
    EXPECT_EQ(h, 240);
    displaySize(320, 240, 9, 10, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 267);
}

TEST(MediaProbe, AdtsFramesGiveTheDurationOrAreLeftToFfprobe)
{
    // Three 48 kHz frames of 10 bytes each (7-byte header, no CRC).
    std::string adts;
    for (int i = 0; i < 3; ++i)
        adts += std::string("\xFF\xF1\x4C\x80\x01\x5F\xFC\x00\x00\x00", 10);
    ProbedMedia m;
    ASSERT_TRUE(probeAdts(adts, &m));
    EXPECT_EQ(m.format, "aac");
    ASSERT_EQ(m.streams.size(), 1u);
    EXPECT_EQ(m.streams[0].type, "audio");
    EXPECT_DOUBLE_EQ(m.duration, 3 * 1024 / 48000.0);
    EXPECT_FALSE(probeAdts("ID3" + adts, &m));
    EXPECT_FALSE(probeAdts(adts.substr(0, 25), &m)); // a cut last frame
    EXPECT_FALSE(probeAdts("", &m));
}

namespace {

std::vector<uint8_t> fromHex(const std::string &hex)
{
    std::vector<uint8_t> b;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

} // namespace

TEST(SpsSyntax, RewritesTheWholeSpsAsFfmpegsH264MetadataDoes)
{
    // x264 SPSs (VUI without aspect ratio; no VUI at all; NAL HRD) and what ffmpeg 5.1's
    // h264_metadata made of them with the level and sample_aspect_ratio given.
    const std::string vui = "6764000bacd942847e5840000003004000000c83c50a6580";
    const std::string noVui = "6764000bacd942847e54";
    const std::string hrd = "67640014acd942847e5840000003004000000c9898003d090007a12930c01e28532c";
    struct Case {
        std::string in;
        int level, num, den;
        std::string out;
    } cases[] = {
        { vui, 31, 40, 33, "6764001facd942847e5c1440000003004000000c83c50a6580" }, // Table E-1 entry 5
        { vui, 41, 720, 656, "67640029acd942847e5ffc00b400a440000003004000000c83c50a6580" }, // 45:41 explicit
        { noVui, 0, 5, 4, "6764000bacd942847e5ffc0014001002" }, // a VUI with the inferred values
        { hrd, 30, 1, 1, "6764001eacd942847e5c0440000003004000000c9898003d090007a12930c01e28532c" },
        { vui, 0, 0, 0, vui }, // nothing to change: the same bytes
        { noVui, 0, 0, 0, noVui },
        { hrd, 0, 0, 0, hrd },
    };
    for (const auto &c : cases) {
        const std::vector<uint8_t> in = fromHex(c.in);
        std::vector<uint8_t> out;
        ASSERT_TRUE(rewriteSps(in.data(), in.size(), c.level, c.num, c.den, &out)) << c.in;
        EXPECT_EQ(out, fromHex(c.out)) << c.in << " level " << c.level << " sar " << c.num << ":" << c.den;
    }
    // What cbs_h264 refuses is refused: reserved_zero_2bits set, a cut SPS, a one after the stop bit.
    for (const std::string &bad : { std::string("6764030bacd942847e54"), vui.substr(0, 24),
             std::string("6764000bacd942847e5840000003004000000c83c50a6588") }) {
        const std::vector<uint8_t> in = fromHex(bad);
        std::vector<uint8_t> out;
        EXPECT_FALSE(rewriteSps(in.data(), in.size(), 31, 4, 3, &out)) << bad;
    }
}
