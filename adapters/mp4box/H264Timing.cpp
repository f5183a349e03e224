#include "H264Timing.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace mp4box {
namespace {

    class BitReader {
    public:
        explicit BitReader(const std::vector<uint8_t> &bytes, size_t startByte = 1)
            : m_data(bytes), m_pos(startByte * 8)
        {
        }

        bool ok() const { return !m_overrun; }

        uint32_t bit()
        {
            if (m_pos >= m_data.size() * 8) {
                m_overrun = true;
                return 0;
            }
            const uint32_t b = m_data[m_pos / 8] >> (7 - m_pos % 8) & 1;
            ++m_pos;
            return b;
        }

        uint32_t bits(int n)
        {
            uint32_t v = 0;
            for (int i = 0; i < n; ++i)
                v = v << 1 | bit();
            return v;
        }

        uint32_t ue()
        {
            int zeros = 0;
            while (bit() == 0) {
                if (++zeros > 31 || m_overrun) {
                    m_overrun = true;
                    return 0;
                }
            }
            return static_cast<uint32_t>((uint64_t { 1 } << zeros) - 1 + bits(zeros));
        }

        int32_t se()
        {
            const uint32_t k = ue();
            return k & 1 ? static_cast<int32_t>((k + 1) / 2) : -static_cast<int32_t>(k / 2);
        }

    private:
        const std::vector<uint8_t> &m_data;
        size_t m_pos;
        bool m_overrun = false;
    };

    bool highProfile(int profile)
    {
        static const int profiles[] = { 100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135 };
        return std::find(std::begin(profiles), std::end(profiles), profile) != std::end(profiles);
    }

    void skipScalingList(BitReader &r, int size)
    {
        int last = 8;
        int next = 8;
        for (int j = 0; j < size; ++j) {
            if (next != 0)
                next = (last + r.se() + 256) % 256;
            last = next == 0 ? last : next;
        }
    }

    bool skipRefPicListModification(BitReader &r)
    {
        if (!r.bit())
            return true;
        for (int n = 0; n < 100; ++n) {
            const uint32_t idc = r.ue();
            if (idc == 3)
                return r.ok();
            if (idc > 5 || !r.ok())
                return false;
            r.ue();
        }
        return false;
    }

    void skipWeights(BitReader &r, int count, int chromaArrayType)
    {
        for (int i = 0; i < count; ++i) {
            if (r.bit()) {
                r.se();
                r.se();
            }
            if (chromaArrayType != 0 && r.bit()) {
                for (int k = 0; k < 4; ++k)
                    r.se();
            }
        }
    }

    void skipHrd(BitReader &r)
    {
        const uint32_t count = r.ue() + 1;
        r.bits(8); // bit_rate_scale, cpb_size_scale
        for (uint32_t i = 0; i < count && i < 32 && r.ok(); ++i) {
            r.ue();
            r.ue();
            r.bit();
        }
        r.bits(20);
    }

    // The VUI after the aspect ratio, for the decoder's reorder depth.
    void readVuiRest(BitReader &r, H264Sps *s)
    {
        if (r.bit()) // overscan_info_present_flag
            r.bit();
        if (r.bit()) { // video_signal_type_present_flag
            r.bits(4);
            if (r.bit())
                r.bits(24);
        }
        if (r.bit()) { // chroma_loc_info_present_flag
            r.ue();
            r.ue();
        }
        if (r.bit()) { // timing_info_present_flag
            r.bits(32);
            r.bits(32);
            r.bit();
        }
        const bool nal = r.bit();
        if (nal)
            skipHrd(r);
        const bool vcl = r.bit();
        if (vcl)
            skipHrd(r);
        if (nal || vcl)
            r.bit(); // low_delay_hrd_flag
        r.bit(); // pic_struct_present_flag
        s->bitstreamRestriction = r.bit();
        if (s->bitstreamRestriction) {
            r.bit();
            for (int i = 0; i < 4; ++i)
                r.ue();
            s->maxNumReorderFrames = static_cast<int>(r.ue());
            r.ue(); // max_dec_frame_buffering
        }
        s->vuiRead = true;
    }

    // The state carried from picture to picture by the picture order count processes.
    struct PocState {
        int64_t prevMsb = 0;
        int64_t prevLsb = 0;
        int64_t prevFrameNumOffset = 0;
        int prevFrameNum = 0;
        bool prevHadMmco5 = false;
    };

    struct FieldCounts {
        int64_t top = 0;
        int64_t bottom = 0;
    };

    // Picture order counts of one frame or field, and the state for the next picture.
    FieldCounts pictureOrderCount(const H264Sps &sps, const H264SliceHeader &h, PocState *st)
    {
        FieldCounts c;
        const int64_t maxFrameNum = int64_t { 1 } << sps.log2MaxFrameNum;
        int64_t frameNumOffset = 0;
        if (sps.pocType != 0) {
            const int64_t prevOffset = st->prevHadMmco5 ? 0 : st->prevFrameNumOffset;
            if (h.idr())
                frameNumOffset = 0;
            else if (st->prevFrameNum > h.frameNum)
                frameNumOffset = prevOffset + maxFrameNum;
            else
                frameNumOffset = prevOffset;
        }
        if (sps.pocType == 0) {
            if (h.idr()) {
                st->prevMsb = 0;
                st->prevLsb = 0;
            }
            const int64_t maxLsb = int64_t { 1 } << sps.log2MaxPocLsb;
            const int64_t lsb = h.pocLsb;
            int64_t msb = st->prevMsb;
            if (lsb < st->prevLsb && st->prevLsb - lsb >= maxLsb / 2)
                msb = st->prevMsb + maxLsb;
            else if (lsb > st->prevLsb && lsb - st->prevLsb > maxLsb / 2)
                msb = st->prevMsb - maxLsb;
            if (!h.fieldPic) {
                c.top = msb + lsb;
                c.bottom = c.top + h.deltaPocBottom;
            } else if (!h.bottomField) {
                c.top = c.bottom = msb + lsb;
            } else {
                c.top = c.bottom = msb + lsb;
            }
            if (h.nalRefIdc != 0) {
                st->prevMsb = msb;
                st->prevLsb = lsb;
            }
        } else if (sps.pocType == 1) {
            const int64_t cycle = static_cast<int64_t>(sps.offsetForRefFrame.size());
            int64_t absFrameNum = cycle != 0 ? frameNumOffset + h.frameNum : 0;
            if (h.nalRefIdc == 0 && absFrameNum > 0)
                --absFrameNum;
            int64_t expected = 0;
            if (absFrameNum > 0) {
                const int64_t perCycle
                    = std::accumulate(sps.offsetForRefFrame.begin(), sps.offsetForRefFrame.end(), int64_t { 0 });
                const int64_t cycleCount = (absFrameNum - 1) / cycle;
                const int64_t inCycle = (absFrameNum - 1) % cycle;
                expected = cycleCount * perCycle;
                for (int64_t i = 0; i <= inCycle; ++i)
                    expected += sps.offsetForRefFrame[static_cast<size_t>(i)];
            }
            if (h.nalRefIdc == 0)
                expected += sps.offsetForNonRefPic;
            if (!h.fieldPic) {
                c.top = expected + h.deltaPoc[0];
                c.bottom = c.top + sps.offsetForTopToBottomField + h.deltaPoc[1];
            } else if (!h.bottomField) {
                c.top = c.bottom = expected + h.deltaPoc[0];
            } else {
                c.top = c.bottom = expected + sps.offsetForTopToBottomField + h.deltaPoc[0];
            }
        } else {
            int64_t temp = 0;
            if (!h.idr())
                temp = 2 * (frameNumOffset + h.frameNum) - (h.nalRefIdc == 0 ? 1 : 0);
            c.top = c.bottom = temp;
        }
        if (h.mmco5) {
            // The picture now counts as the first of a new sequence of counts.
            const int64_t temp = h.fieldPic ? (h.bottomField ? c.bottom : c.top) : std::min(c.top, c.bottom);
            c.top -= temp;
            c.bottom -= temp;
            if (sps.pocType == 0 && h.nalRefIdc != 0) {
                st->prevMsb = 0;
                st->prevLsb = h.fieldPic && h.bottomField ? 0 : c.top;
            }
        }
        st->prevFrameNumOffset = frameNumOffset;
        st->prevFrameNum = h.mmco5 ? 0 : h.frameNum;
        st->prevHadMmco5 = h.mmco5;
        return c;
    }

    // Whether a slice starts a new primary coded picture (the first-slice tests of the standard).
    bool startsNewPicture(const H264SliceHeader &a, const H264SliceHeader &b, const H264Sps &sps)
    {
        if (a.frameNum != b.frameNum || a.ppsId != b.ppsId || a.fieldPic != b.fieldPic
            || (a.fieldPic && a.bottomField != b.bottomField))
            return true;
        if ((a.nalRefIdc == 0) != (b.nalRefIdc == 0))
            return true;
        if (sps.pocType == 0 && (a.pocLsb != b.pocLsb || a.deltaPocBottom != b.deltaPocBottom))
            return true;
        if (sps.pocType == 1 && (a.deltaPoc[0] != b.deltaPoc[0] || a.deltaPoc[1] != b.deltaPoc[1]))
            return true;
        if (a.idr() != b.idr())
            return true;
        return a.idr() && b.idr() && a.idrPicId != b.idrPicId;
    }

    bool isVcl(int type) { return type >= 1 && type <= 5; }

} // namespace

std::vector<H264Nal> splitAnnexB(const uint8_t *data, size_t size)
{
    std::vector<H264Nal> nals;
    auto startCodeAt = [&](size_t i) { return i + 2 < size && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1; };
    size_t i = 0;
    while (i < size && !startCodeAt(i))
        ++i;
    while (i < size) {
        const size_t begin = i + 3;
        size_t j = begin;
        for (;;) {
            const uint8_t *hit = j + 2 < size ? static_cast<const uint8_t *>(std::memchr(data + j, 0, size - j - 2)) : nullptr;
            if (!hit) {
                j = size;
                break;
            }
            j = static_cast<size_t>(hit - data);
            if (startCodeAt(j))
                break;
            ++j;
        }
        size_t end = j;
        while (end > begin && data[end - 1] == 0)
            --end;
        if (end > begin)
            nals.push_back({ begin, end - begin, data[begin] & 0x1f });
        i = j;
    }
    return nals;
}

std::vector<uint8_t> unescapeNal(const uint8_t *nal, size_t size)
{
    std::vector<uint8_t> out;
    out.reserve(size);
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        out.push_back(nal[i]);
    }
    return out;
}

bool parseSps(const uint8_t *nal, size_t size, H264Sps *out)
{
    const std::vector<uint8_t> rbsp = unescapeNal(nal, std::min<size_t>(size, 4096));
    BitReader r(rbsp);
    H264Sps s;
    s.profileIdc = static_cast<int>(r.bits(8));
    s.constraintFlags = static_cast<int>(r.bits(8));
    s.levelIdc = static_cast<int>(r.bits(8));
    s.id = static_cast<int>(r.ue());
    if (s.id > 31)
        return false;
    if (highProfile(s.profileIdc)) {
        s.chromaFormatIdc = static_cast<int>(r.ue());
        if (s.chromaFormatIdc > 3)
            return false;
        if (s.chromaFormatIdc == 3)
            s.separateColourPlane = r.bit();
        s.bitDepthLuma = static_cast<int>(r.ue()) + 8;
        s.bitDepthChroma = static_cast<int>(r.ue()) + 8;
        r.bit();
        if (r.bit()) {
            for (int i = 0; i < (s.chromaFormatIdc != 3 ? 8 : 12); ++i) {
                if (r.bit())
                    skipScalingList(r, i < 6 ? 16 : 64);
            }
        }
    }
    const uint32_t log2MaxFrameNumMinus4 = r.ue();
    if (log2MaxFrameNumMinus4 > 12)
        return false;
    s.log2MaxFrameNum = static_cast<int>(log2MaxFrameNumMinus4) + 4;
    s.pocType = static_cast<int>(r.ue());
    if (s.pocType == 0) {
        const uint32_t lsbMinus4 = r.ue();
        if (lsbMinus4 > 12)
            return false;
        s.log2MaxPocLsb = static_cast<int>(lsbMinus4) + 4;
    } else if (s.pocType == 1) {
        s.deltaPicOrderAlwaysZero = r.bit();
        s.offsetForNonRefPic = r.se();
        s.offsetForTopToBottomField = r.se();
        const uint32_t n = r.ue();
        if (n > 255)
            return false;
        for (uint32_t i = 0; i < n; ++i)
            s.offsetForRefFrame.push_back(r.se());
    } else if (s.pocType != 2) {
        return false;
    }
    r.ue(); // max_num_ref_frames
    r.bit(); // gaps_in_frame_num_value_allowed_flag
    const int64_t widthMbs = int64_t { r.ue() } + 1;
    const int64_t heightMapUnits = int64_t { r.ue() } + 1;
    s.frameMbsOnly = r.bit();
    if (!s.frameMbsOnly)
        r.bit(); // mb_adaptive_frame_field_flag
    r.bit(); // direct_8x8_inference_flag
    int64_t crop[4] = { 0, 0, 0, 0 };
    if (r.bit()) {
        for (auto &c : crop)
            c = r.ue();
    }
    const int cat = s.chromaArrayType();
    const int64_t cropX = cat == 0 ? 1 : (cat == 3 ? 1 : 2);
    const int64_t cropY = (cat == 0 ? 1 : (cat == 1 ? 2 : 1)) * (s.frameMbsOnly ? 1 : 2);
    const int64_t w = widthMbs * 16 - cropX * (crop[0] + crop[1]);
    const int64_t h = (s.frameMbsOnly ? 1 : 2) * heightMapUnits * 16 - cropY * (crop[2] + crop[3]);
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535)
        return false;
    s.width = static_cast<int>(w);
    s.height = static_cast<int>(h);
    if (r.bit()) { // vui_parameters_present_flag
        if (r.bit()) { // aspect_ratio_info_present_flag
            static const int table[17][2] = { { 0, 0 }, { 1, 1 }, { 12, 11 }, { 10, 11 }, { 16, 11 }, { 40, 33 },
                { 24, 11 }, { 20, 11 }, { 32, 11 }, { 80, 33 }, { 18, 11 }, { 15, 11 }, { 64, 33 }, { 160, 99 },
                { 4, 3 }, { 3, 2 }, { 2, 1 } };
            const uint32_t idc = r.bits(8);
            if (idc == 255) {
                s.sarNum = static_cast<int>(r.bits(16));
                s.sarDen = static_cast<int>(r.bits(16));
            } else if (idc < 17) {
                s.sarNum = table[idc][0];
                s.sarDen = table[idc][1];
            }
        }
        if (!r.ok())
            return false;
        readVuiRest(r, &s);
        if (!r.ok()) { // a short VUI keeps what was read before it
            s.vuiRead = false;
            s.bitstreamRestriction = false;
        }
        *out = s;
        return true;
    }
    if (!r.ok())
        return false;
    *out = s;
    return true;
}

bool parsePps(const uint8_t *nal, size_t size, const std::map<int, H264Sps> &sps, H264Pps *out)
{
    const std::vector<uint8_t> rbsp = unescapeNal(nal, std::min<size_t>(size, 256));
    BitReader r(rbsp);
    H264Pps p;
    p.id = static_cast<int>(r.ue());
    p.spsId = static_cast<int>(r.ue());
    if (p.id > 255 || !sps.count(p.spsId))
        return false;
    r.bit(); // entropy_coding_mode_flag
    p.bottomFieldPicOrderInFramePresent = r.bit();
    p.numSliceGroups = static_cast<int>(r.ue()) + 1;
    if (p.numSliceGroups > 1)
        return false; // slice groups (FMO) are not read
    p.numRefIdxL0 = static_cast<int>(r.ue()) + 1;
    p.numRefIdxL1 = static_cast<int>(r.ue()) + 1;
    p.weightedPred = r.bit();
    p.weightedBipredIdc = static_cast<int>(r.bits(2));
    r.se(); // pic_init_qp_minus26
    r.se(); // pic_init_qs_minus26
    r.se(); // chroma_qp_index_offset
    r.bit(); // deblocking_filter_control_present_flag
    r.bit(); // constrained_intra_pred_flag
    p.redundantPicCntPresent = r.bit();
    if (!r.ok() || p.numRefIdxL0 > 32 || p.numRefIdxL1 > 32)
        return false;
    *out = p;
    return true;
}

bool parseSliceHeader(const uint8_t *nal, size_t size, const std::map<int, H264Sps> &sps,
    const std::map<int, H264Pps> &pps, H264SliceHeader *out)
{
    // The header ends long before this in any stream; the slice data is not needed.
    const std::vector<uint8_t> rbsp = unescapeNal(nal, std::min<size_t>(size, 2048));
    if (rbsp.empty())
        return false;
    BitReader r(rbsp);
    H264SliceHeader h;
    h.nalType = rbsp[0] & 0x1f;
    h.nalRefIdc = rbsp[0] >> 5 & 3;
    r.ue(); // first_mb_in_slice
    const uint32_t sliceType = r.ue();
    if (sliceType > 9)
        return false;
    h.sliceType = static_cast<int>(sliceType % 5);
    h.ppsId = static_cast<int>(r.ue());
    const auto pp = pps.find(h.ppsId);
    if (pp == pps.end())
        return false;
    const auto sp = sps.find(pp->second.spsId);
    if (sp == sps.end())
        return false;
    const H264Sps &s = sp->second;
    const H264Pps &p = pp->second;
    if (s.separateColourPlane)
        r.bits(2);
    h.frameNum = static_cast<int>(r.bits(s.log2MaxFrameNum));
    if (!s.frameMbsOnly) {
        h.fieldPic = r.bit();
        if (h.fieldPic)
            h.bottomField = r.bit();
    }
    if (h.idr())
        h.idrPicId = static_cast<int>(r.ue());
    if (s.pocType == 0) {
        h.pocLsb = static_cast<int>(r.bits(s.log2MaxPocLsb));
        if (p.bottomFieldPicOrderInFramePresent && !h.fieldPic)
            h.deltaPocBottom = r.se();
    }
    if (s.pocType == 1 && !s.deltaPicOrderAlwaysZero) {
        h.deltaPoc[0] = r.se();
        if (p.bottomFieldPicOrderInFramePresent && !h.fieldPic)
            h.deltaPoc[1] = r.se();
    }
    if (p.redundantPicCntPresent)
        h.redundantPicCnt = static_cast<int>(r.ue());
    const bool b = h.sliceType == 1;
    const bool pOrSp = h.sliceType == 0 || h.sliceType == 3;
    if (b)
        r.bit(); // direct_spatial_mv_pred_flag
    int l0 = p.numRefIdxL0;
    int l1 = p.numRefIdxL1;
    if (b || pOrSp) {
        if (r.bit()) {
            l0 = static_cast<int>(r.ue()) + 1;
            if (b)
                l1 = static_cast<int>(r.ue()) + 1;
        }
        if (l0 > 32 || l1 > 32)
            return false;
    }
    if (h.sliceType != 2 && h.sliceType != 4 && !skipRefPicListModification(r))
        return false;
    if (b && !skipRefPicListModification(r))
        return false;
    if ((p.weightedPred && pOrSp) || (p.weightedBipredIdc == 1 && b)) {
        r.ue(); // luma_log2_weight_denom
        if (s.chromaArrayType() != 0)
            r.ue();
        skipWeights(r, l0, s.chromaArrayType());
        if (b)
            skipWeights(r, l1, s.chromaArrayType());
    }
    if (h.nalRefIdc != 0) {
        if (h.idr()) {
            r.bit();
            r.bit();
        } else if (r.bit()) { // adaptive_ref_pic_marking_mode_flag
            for (int n = 0;; ++n) {
                const uint32_t op = r.ue();
                if (op == 0)
                    break;
                if (op > 6 || n > 64 || !r.ok())
                    return false;
                if (op == 5)
                    h.mmco5 = true;
                if (op == 1 || op == 3)
                    r.ue();
                if (op == 2)
                    r.ue();
                if (op == 3 || op == 6)
                    r.ue();
                if (op == 4)
                    r.ue();
            }
        }
    }
    if (!r.ok())
        return false;
    *out = h;
    return true;
}

bool readH264Stream(const uint8_t *data, size_t size, H264Stream *out)
{
    *out = H264Stream();
    out->nals = splitAnnexB(data, size);
    auto refuse = [&](const std::string &why) {
        out->unsupported = why;
        return false;
    };

    struct Coded { // one field or frame as it is decoded
        H264SliceHeader first;
        size_t firstNal = 0;
        size_t endNal = 0;
        bool intraOnly = true;
    };
    std::vector<Coded> coded;
    size_t pendingNonVcl = 0; // first NAL of the run of non-VCL units before the next picture
    bool inRun = false;
    for (size_t i = 0; i < out->nals.size(); ++i) {
        const H264Nal &n = out->nals[i];
        const uint8_t *p = data + n.offset;
        if (n.type == 7) {
            H264Sps s;
            if (!parseSps(p, n.size, &s))
                return refuse("a sequence parameter set it cannot read");
            out->sps[s.id] = s;
        } else if (n.type == 8) {
            H264Pps pp;
            if (!parsePps(p, n.size, out->sps, &pp))
                return refuse("a picture parameter set it cannot read");
            out->pps[pp.id] = pp;
        } else if ((n.type >= 2 && n.type <= 4) || n.type == 14 || n.type == 15 || n.type == 20) {
            return refuse("data partitions or SVC/MVC units");
        }
        if (!isVcl(n.type)) {
            // End of sequence/stream, filler and auxiliary slices belong to the picture before
            // them; every other unit opens the next one.
            const bool trailing = n.type == 10 || n.type == 11 || n.type == 12 || n.type == 19;
            if (!trailing && !inRun) {
                pendingNonVcl = i;
                inRun = true;
            }
            if (!coded.empty() && !inRun)
                coded.back().endNal = i + 1;
            continue;
        }
        H264SliceHeader h;
        if (!parseSliceHeader(p, n.size, out->sps, out->pps, &h))
            return refuse("a slice header it cannot read");
        if (h.redundantPicCnt > 0)
            return refuse("redundant pictures");
        const H264Sps &sps = out->sps.at(out->pps.at(h.ppsId).spsId);
        if (coded.empty() || inRun || startsNewPicture(coded.back().first, h, sps)) {
            Coded c;
            c.first = h;
            c.firstNal = inRun ? pendingNonVcl : i;
            if (coded.empty())
                c.firstNal = 0;
            coded.push_back(c);
        }
        inRun = false;
        Coded &c = coded.back();
        c.endNal = i + 1;
        c.first.mmco5 = c.first.mmco5 || h.mmco5;
        if (h.sliceType != 2 && h.sliceType != 4)
            c.intraOnly = false;
    }
    if (coded.empty())
        return refuse("no picture");
    // Units after the last picture stay with it.
    coded.back().endNal = out->nals.size();

    // Picture order counts, and field pairs joined into one picture.
    PocState state;
    int segment = -1;
    bool openField = false; // the last picture is a field still without its second field
    for (size_t k = 0; k < coded.size(); ++k) {
        const Coded &c = coded[k];
        const H264SliceHeader &h = c.first;
        const H264Sps &sps = out->sps.at(out->pps.at(h.ppsId).spsId);
        if (h.idr() || segment < 0)
            ++segment;
        const FieldCounts fc = pictureOrderCount(sps, h, &state);
        if (h.mmco5)
            ++segment;
        int64_t poc = h.fieldPic ? (h.bottomField ? fc.bottom : fc.top) : std::min(fc.top, fc.bottom);
        // The second field of a pair follows the first at once, with the other parity and
        // the same frame_num.
        if (h.fieldPic && openField) {
            const H264SliceHeader &f = coded[k - 1].first;
            if (f.bottomField != h.bottomField && f.frameNum == h.frameNum && !h.idr() && !h.mmco5
                && (f.nalRefIdc != 0) == (h.nalRefIdc != 0)) {
                H264Picture &pair = out->pictures.back();
                pair.nalCount = c.endNal - pair.firstNal;
                pair.poc = std::min(pair.poc, poc);
                pair.intraOnly = pair.intraOnly && c.intraOnly;
                openField = false;
                continue;
            }
        }
        openField = h.fieldPic;
        H264Picture pic;
        pic.firstNal = c.firstNal;
        pic.nalCount = c.endNal - c.firstNal;
        pic.idr = h.idr();
        pic.reference = h.nalRefIdc != 0;
        pic.intraOnly = c.intraOnly;
        pic.field = h.fieldPic;
        pic.segment = segment;
        pic.poc = poc;
        out->pictures.push_back(pic);
    }
    std::vector<size_t> order(out->pictures.size());
    std::iota(order.begin(), order.end(), size_t { 0 });
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const H264Picture &x = out->pictures[a];
        const H264Picture &y = out->pictures[b];
        return x.segment != y.segment ? x.segment < y.segment : x.poc < y.poc;
    });
    out->presentation.assign(order.size(), 0);
    for (size_t rank = 0; rank < order.size(); ++rank)
        out->presentation[order[rank]] = rank;
    return true;
}

std::vector<uint8_t> escapeNal(const std::vector<uint8_t> &rbsp)
{
    std::vector<uint8_t> out;
    out.reserve(rbsp.size() + rbsp.size() / 64 + 1);
    int zeros = 0;
    for (const uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

bool seiHasRecoveryPoint(const uint8_t *nal, size_t size)
{
    const std::vector<uint8_t> rbsp = unescapeNal(nal, std::min<size_t>(size, 4096));
    size_t i = 1;
    while (i + 2 <= rbsp.size() && rbsp[i] != 0x80) {
        uint32_t type = 0;
        while (i < rbsp.size() && rbsp[i] == 0xff)
            type += rbsp[i++];
        if (i >= rbsp.size())
            return false;
        type += rbsp[i++];
        uint32_t length = 0;
        while (i < rbsp.size() && rbsp[i] == 0xff)
            length += rbsp[i++];
        if (i >= rbsp.size())
            return false;
        length += rbsp[i++];
        if (type == 6)
            return true;
        i += length;
    }
    return false;
}

const H264Nal *onlyNalOfType(const H264Stream &stream, const uint8_t *data, int type)
{
    const H264Nal *found = nullptr;
    for (const auto &n : stream.nals) {
        if (n.type != type)
            continue;
        if (found && (found->size != n.size || std::memcmp(data + found->offset, data + n.offset, n.size) != 0))
            return nullptr;
        found = &n;
    }
    return found;
}

} // namespace mp4box
