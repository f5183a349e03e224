#include "SpsSyntax.h"

#include "DirectMux.h"
#include "H264Timing.h"

namespace mp4box {
namespace {

    // The largest picture cbs_h264 takes, in macroblocks and in samples.
    constexpr uint32_t kMaxMbWidth = 1055;
    constexpr uint32_t kMaxMbHeight = 1055;
    constexpr uint32_t kMaxDpbFrames = 16;

    // Reads the syntax into the fields, checking each value against its range.
    class Reader {
    public:
        explicit Reader(const std::vector<uint8_t> &rbsp)
            : m_data(rbsp)
        {
        }

        static constexpr bool reading = true;

        bool u(int n, uint32_t *v, uint32_t lo, uint32_t hi)
        {
            uint64_t x = 0;
            for (int i = 0; i < n; ++i) {
                if (m_pos >= m_data.size() * 8)
                    return false;
                x = x << 1 | (m_data[m_pos / 8] >> (7 - m_pos % 8) & 1);
                ++m_pos;
            }
            *v = static_cast<uint32_t>(x);
            return *v >= lo && *v <= hi;
        }

        bool flag(bool *f)
        {
            uint32_t v = 0;
            if (!u(1, &v, 0, 1))
                return false;
            *f = v != 0;
            return true;
        }

        bool ue(uint32_t *v, uint32_t lo, uint32_t hi)
        {
            int zeros = 0;
            for (;;) {
                uint32_t b = 0;
                if (!u(1, &b, 0, 1))
                    return false;
                if (b)
                    break;
                if (++zeros >= 32)
                    return false;
            }
            uint32_t rest = 0;
            if (zeros && !u(zeros, &rest, 0, UINT32_MAX))
                return false;
            *v = static_cast<uint32_t>((uint64_t { 1 } << zeros) - 1 + rest);
            return *v >= lo && *v <= hi;
        }

        bool se(int32_t *v, int32_t lo, int32_t hi)
        {
            uint32_t k = 0;
            if (!ue(&k, 0, UINT32_MAX - 1))
                return false;
            const int64_t x = k & 1 ? static_cast<int64_t>(k / 2) + 1 : -static_cast<int64_t>(k / 2);
            *v = static_cast<int32_t>(x);
            return x >= lo && x <= hi;
        }

        // rbsp_trailing_bits: a one, then zeros to the byte boundary.
        bool trailing()
        {
            uint32_t b = 0;
            if (!u(1, &b, 1, 1))
                return false;
            while (m_pos % 8)
                if (!u(1, &b, 0, 0))
                    return false;
            return true;
        }

    private:
        const std::vector<uint8_t> &m_data;
        size_t m_pos = 8; // after the NAL header byte, which is read on its own
    };

    // Writes the fields, refusing values out of range as cbs does.
    class Writer {
    public:
        static constexpr bool reading = false;

        bool u(int n, const uint32_t *v, uint32_t lo, uint32_t hi)
        {
            if (*v < lo || *v > hi)
                return false;
            put(n, *v);
            return true;
        }

        bool flag(const bool *f)
        {
            put(1, *f ? 1 : 0);
            return true;
        }

        bool ue(const uint32_t *v, uint32_t lo, uint32_t hi)
        {
            if (*v < lo || *v > hi || *v == UINT32_MAX)
                return false;
            const uint64_t x = uint64_t { *v } + 1;
            int bits = 0;
            while (x >> bits > 1)
                ++bits;
            put(bits, 0);
            put(bits + 1, x);
            return true;
        }

        bool se(const int32_t *v, int32_t lo, int32_t hi)
        {
            if (*v < lo || *v > hi || *v == INT32_MIN)
                return false;
            const int64_t x = *v;
            const auto k = static_cast<uint32_t>(x > 0 ? 2 * x - 1 : -2 * x);
            return ue(&k, 0, UINT32_MAX - 1);
        }

        bool trailing()
        {
            put(1, 1);
            while (m_bits % 8)
                put(1, 0);
            return true;
        }

        std::vector<uint8_t> bytes;

    private:
        void put(int n, uint64_t v)
        {
            for (int i = n - 1; i >= 0; --i) {
                if (m_bits % 8 == 0)
                    bytes.push_back(0);
                if (v >> i & 1)
                    bytes.back() |= static_cast<uint8_t>(0x80 >> (m_bits % 8));
                ++m_bits;
            }
        }

        size_t m_bits = 0;
    };

    // One walk over the syntax for both directions, so that what is read is what is written.
    // F is H264SpsSyntax or const H264SpsSyntax.
#define SYNTAX_CHECK(x)                                                                                            \
    do {                                                                                                           \
        if (!(x))                                                                                                  \
            return false;                                                                                          \
    } while (0)

    template <class RW, class Hrd> bool hrdSyntax(RW &rw, Hrd &h)
    {
        SYNTAX_CHECK(rw.ue(&h.cpbCntMinus1, 0, 31));
        SYNTAX_CHECK(rw.u(4, &h.bitRateScale, 0, 15));
        SYNTAX_CHECK(rw.u(4, &h.cpbSizeScale, 0, 15));
        for (uint32_t i = 0; i <= h.cpbCntMinus1; ++i) {
            SYNTAX_CHECK(rw.ue(&h.bitRateValueMinus1[i], 0, UINT32_MAX - 1));
            SYNTAX_CHECK(rw.ue(&h.cpbSizeValueMinus1[i], 0, UINT32_MAX - 1));
            SYNTAX_CHECK(rw.flag(&h.cbr[i]));
        }
        SYNTAX_CHECK(rw.u(5, &h.initialCpbRemovalDelayLengthMinus1, 0, 31));
        SYNTAX_CHECK(rw.u(5, &h.cpbRemovalDelayLengthMinus1, 0, 31));
        SYNTAX_CHECK(rw.u(5, &h.dpbOutputDelayLengthMinus1, 0, 31));
        SYNTAX_CHECK(rw.u(5, &h.timeOffsetLength, 0, 31));
        return true;
    }

    template <class RW, class Vui> bool vuiSyntax(RW &rw, Vui &v)
    {
        SYNTAX_CHECK(rw.flag(&v.aspectRatioInfoPresent));
        if (v.aspectRatioInfoPresent) {
            SYNTAX_CHECK(rw.u(8, &v.aspectRatioIdc, 0, 255));
            if (v.aspectRatioIdc == 255) {
                SYNTAX_CHECK(rw.u(16, &v.sarWidth, 0, 65535));
                SYNTAX_CHECK(rw.u(16, &v.sarHeight, 0, 65535));
            }
        }
        SYNTAX_CHECK(rw.flag(&v.overscanInfoPresent));
        if (v.overscanInfoPresent)
            SYNTAX_CHECK(rw.flag(&v.overscanAppropriate));
        SYNTAX_CHECK(rw.flag(&v.videoSignalTypePresent));
        if (v.videoSignalTypePresent) {
            SYNTAX_CHECK(rw.u(3, &v.videoFormat, 0, 7));
            SYNTAX_CHECK(rw.flag(&v.videoFullRange));
            SYNTAX_CHECK(rw.flag(&v.colourDescriptionPresent));
            if (v.colourDescriptionPresent) {
                SYNTAX_CHECK(rw.u(8, &v.colourPrimaries, 0, 255));
                SYNTAX_CHECK(rw.u(8, &v.transferCharacteristics, 0, 255));
                SYNTAX_CHECK(rw.u(8, &v.matrixCoefficients, 0, 255));
            }
        }
        SYNTAX_CHECK(rw.flag(&v.chromaLocInfoPresent));
        if (v.chromaLocInfoPresent) {
            SYNTAX_CHECK(rw.ue(&v.chromaSampleLocTop, 0, 5));
            SYNTAX_CHECK(rw.ue(&v.chromaSampleLocBottom, 0, 5));
        }
        SYNTAX_CHECK(rw.flag(&v.timingInfoPresent));
        if (v.timingInfoPresent) {
            SYNTAX_CHECK(rw.u(32, &v.numUnitsInTick, 1, UINT32_MAX));
            SYNTAX_CHECK(rw.u(32, &v.timeScale, 1, UINT32_MAX));
            SYNTAX_CHECK(rw.flag(&v.fixedFrameRate));
        }
        SYNTAX_CHECK(rw.flag(&v.nalHrdPresent));
        if (v.nalHrdPresent)
            SYNTAX_CHECK(hrdSyntax(rw, v.nalHrd));
        SYNTAX_CHECK(rw.flag(&v.vclHrdPresent));
        if (v.vclHrdPresent)
            SYNTAX_CHECK(hrdSyntax(rw, v.vclHrd));
        if (v.nalHrdPresent || v.vclHrdPresent)
            SYNTAX_CHECK(rw.flag(&v.lowDelayHrd));
        SYNTAX_CHECK(rw.flag(&v.picStructPresent));
        SYNTAX_CHECK(rw.flag(&v.bitstreamRestriction));
        if (v.bitstreamRestriction) {
            SYNTAX_CHECK(rw.flag(&v.motionVectorsOverPicBoundaries));
            SYNTAX_CHECK(rw.ue(&v.maxBytesPerPicDenom, 0, 16));
            SYNTAX_CHECK(rw.ue(&v.maxBitsPerMbDenom, 0, 16));
            SYNTAX_CHECK(rw.ue(&v.log2MaxMvLengthHorizontal, 0, 16));
            SYNTAX_CHECK(rw.ue(&v.log2MaxMvLengthVertical, 0, 16));
            SYNTAX_CHECK(rw.ue(&v.maxNumReorderFrames, 0, kMaxDpbFrames));
            SYNTAX_CHECK(rw.ue(&v.maxDecFrameBuffering, 0, kMaxDpbFrames));
        }
        return true;
    }

    // The profiles whose SPS carries chroma format, bit depths and scaling matrices, as
    // cbs_h264 lists them (it reads 139, 134 and 135 without those fields).
    bool chromaFieldsPresent(uint32_t profile)
    {
        switch (profile) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
        case 138:
            return true;
        default:
            return false;
        }
    }

    template <class RW, class S> bool spsSyntax(RW &rw, S &s)
    {
        SYNTAX_CHECK(rw.u(8, &s.profileIdc, 0, 255));
        // The standard gives these the fields above; cbs_h264 would misread them.
        SYNTAX_CHECK(s.profileIdc != 139 && s.profileIdc != 134 && s.profileIdc != 135);
        SYNTAX_CHECK(rw.u(6, &s.constraintFlags, 0, 63));
        uint32_t reservedZero2Bits = 0;
        SYNTAX_CHECK(rw.u(2, &reservedZero2Bits, 0, 0));
        SYNTAX_CHECK(rw.u(8, &s.levelIdc, 0, 255));
        SYNTAX_CHECK(rw.ue(&s.id, 0, 31));
        if (chromaFieldsPresent(s.profileIdc)) {
            SYNTAX_CHECK(rw.ue(&s.chromaFormatIdc, 0, 3));
            if (s.chromaFormatIdc == 3)
                SYNTAX_CHECK(rw.flag(&s.separateColourPlane));
            SYNTAX_CHECK(rw.ue(&s.bitDepthLumaMinus8, 0, 6));
            SYNTAX_CHECK(rw.ue(&s.bitDepthChromaMinus8, 0, 6));
            SYNTAX_CHECK(rw.flag(&s.qpprimeYZeroTransformBypass));
            SYNTAX_CHECK(rw.flag(&s.scalingMatrixPresent));
            if (s.scalingMatrixPresent) {
                for (int i = 0; i < (s.chromaFormatIdc != 3 ? 8 : 12); ++i) {
                    SYNTAX_CHECK(rw.flag(&s.scalingListPresent[i]));
                    if (!s.scalingListPresent[i])
                        continue;
                    const size_t size = i < 6 ? 16 : 64;
                    auto &deltas = s.deltaScale[i];
                    int scale = 8;
                    for (size_t j = 0; j < size; ++j) {
                        if constexpr (RW::reading)
                            deltas.push_back(0);
                        else if (j >= deltas.size())
                            return false;
                        SYNTAX_CHECK(rw.se(&deltas[j], -128, 127));
                        scale = (scale + deltas[j] + 256) % 256;
                        if (scale == 0)
                            break;
                    }
                }
            }
        }
        SYNTAX_CHECK(rw.ue(&s.log2MaxFrameNumMinus4, 0, 12));
        SYNTAX_CHECK(rw.ue(&s.picOrderCntType, 0, 2));
        if (s.picOrderCntType == 0) {
            SYNTAX_CHECK(rw.ue(&s.log2MaxPocLsbMinus4, 0, 12));
        } else if (s.picOrderCntType == 1) {
            SYNTAX_CHECK(rw.flag(&s.deltaPicOrderAlwaysZero));
            SYNTAX_CHECK(rw.se(&s.offsetForNonRefPic, INT32_MIN + 1, INT32_MAX));
            SYNTAX_CHECK(rw.se(&s.offsetForTopToBottomField, INT32_MIN + 1, INT32_MAX));
            uint32_t cycle = static_cast<uint32_t>(s.offsetForRefFrame.size());
            SYNTAX_CHECK(rw.ue(&cycle, 0, 255));
            if constexpr (RW::reading)
                s.offsetForRefFrame.assign(cycle, 0);
            for (uint32_t i = 0; i < cycle; ++i)
                SYNTAX_CHECK(rw.se(&s.offsetForRefFrame[i], INT32_MIN + 1, INT32_MAX));
        }
        SYNTAX_CHECK(rw.ue(&s.maxNumRefFrames, 0, kMaxDpbFrames));
        SYNTAX_CHECK(rw.flag(&s.gapsInFrameNumAllowed));
        SYNTAX_CHECK(rw.ue(&s.picWidthInMbsMinus1, 0, kMaxMbWidth));
        SYNTAX_CHECK(rw.ue(&s.picHeightInMapUnitsMinus1, 0, kMaxMbHeight));
        SYNTAX_CHECK(rw.flag(&s.frameMbsOnly));
        if (!s.frameMbsOnly)
            SYNTAX_CHECK(rw.flag(&s.mbAdaptiveFrameField));
        SYNTAX_CHECK(rw.flag(&s.direct8x8Inference));
        SYNTAX_CHECK(rw.flag(&s.frameCropping));
        if (s.frameCropping) {
            SYNTAX_CHECK(rw.ue(&s.crop[0], 0, kMaxMbWidth * 16));
            SYNTAX_CHECK(rw.ue(&s.crop[1], 0, kMaxMbWidth * 16));
            SYNTAX_CHECK(rw.ue(&s.crop[2], 0, kMaxMbHeight * 16));
            SYNTAX_CHECK(rw.ue(&s.crop[3], 0, kMaxMbHeight * 16));
        }
        SYNTAX_CHECK(rw.flag(&s.vuiPresent));
        if (s.vuiPresent)
            SYNTAX_CHECK(vuiSyntax(rw, s.vui));
        return rw.trailing();
    }

#undef SYNTAX_CHECK

} // namespace

bool readSpsSyntax(const uint8_t *nal, size_t size, H264SpsSyntax *out)
{
    if (size < 2 || size > 4096)
        return false;
    const std::vector<uint8_t> rbsp = unescapeNal(nal, size);
    // forbidden_zero_bit clear, type 7
    if (rbsp.empty() || (rbsp[0] & 0x80) || (rbsp[0] & 0x1f) != 7)
        return false;
    H264SpsSyntax s;
    s.nalRefIdc = rbsp[0] >> 5 & 3;
    Reader r(rbsp);
    if (!spsSyntax(r, s))
        return false;
    *out = std::move(s);
    return true;
}

std::vector<uint8_t> writeSpsSyntax(const H264SpsSyntax &sps)
{
    Writer w;
    const uint32_t header = (sps.nalRefIdc & 3) << 5 | 7;
    w.u(8, &header, 0, 255);
    if (!spsSyntax(w, sps))
        return {};
    return escapeNal(w.bytes);
}

void applyLevelAndAspect(H264SpsSyntax *sps, int levelIdc, int sarNum, int sarDen)
{
    if (sarNum > 0 && sarDen > 0) {
        // Table E-1.
        static const int table[17][2] = { { 0, 0 }, { 1, 1 }, { 12, 11 }, { 10, 11 }, { 16, 11 }, { 40, 33 },
            { 24, 11 }, { 20, 11 }, { 32, 11 }, { 80, 33 }, { 18, 11 }, { 15, 11 }, { 64, 33 }, { 160, 99 },
            { 4, 3 }, { 3, 2 }, { 2, 1 } };
        int64_t num = 0;
        int64_t den = 0;
        reduceRatio(sarNum, sarDen, 65535, &num, &den);
        uint32_t idc = 255;
        for (uint32_t i = 1; i < 17; ++i) {
            if (table[i][0] == num && table[i][1] == den) {
                idc = i;
                break;
            }
        }
        sps->vui.aspectRatioIdc = idc;
        if (idc == 255) {
            sps->vui.sarWidth = static_cast<uint32_t>(num);
            sps->vui.sarHeight = static_cast<uint32_t>(den);
        }
        sps->vui.aspectRatioInfoPresent = true;
        sps->vuiPresent = true;
    }
    if (levelIdc > 0)
        sps->levelIdc = static_cast<uint32_t>(levelIdc);
}

bool rewriteSps(const uint8_t *nal, size_t size, int levelIdc, int sarNum, int sarDen, std::vector<uint8_t> *out)
{
    H264SpsSyntax sps;
    if (!readSpsSyntax(nal, size, &sps))
        return false;
    applyLevelAndAspect(&sps, levelIdc, sarNum, sarDen);
    std::vector<uint8_t> bytes = writeSpsSyntax(sps);
    if (bytes.empty())
        return false;
    *out = std::move(bytes);
    return true;
}

} // namespace mp4box
