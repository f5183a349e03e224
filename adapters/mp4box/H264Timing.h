#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A raw (Annex B) H.264 stream read far enough to time it: the parameter sets, the pictures
// in decoding order, and each picture's place in presentation order worked out from the
// slice headers' picture order counts (types 0, 1 and 2, memory_management_control_operation
// 5, field pairs).
namespace mp4box {

struct H264Sps {
    int id = 0;
    int profileIdc = 0;
    int constraintFlags = 0;
    int levelIdc = 0;
    int chromaFormatIdc = 1;
    bool separateColourPlane = false;
    int log2MaxFrameNum = 4;
    int pocType = 0;
    int log2MaxPocLsb = 4;
    bool deltaPicOrderAlwaysZero = false;
    int offsetForNonRefPic = 0;
    int offsetForTopToBottomField = 0;
    std::vector<int> offsetForRefFrame;
    bool frameMbsOnly = true;
    int width = 0; // after cropping
    int height = 0;
    int sarNum = 0; // 0:0 when the stream does not state it
    int sarDen = 0;
    int bitDepthLuma = 8;
    int bitDepthChroma = 8;
    bool vuiRead = false; // the whole VUI was read (the fields below are known)
    bool bitstreamRestriction = false;
    int maxNumReorderFrames = 0;

    int chromaArrayType() const { return separateColourPlane ? 0 : chromaFormatIdc; }
};

struct H264Pps {
    int id = 0;
    int spsId = 0;
    bool bottomFieldPicOrderInFramePresent = false;
    int numSliceGroups = 1;
    int numRefIdxL0 = 1;
    int numRefIdxL1 = 1;
    bool weightedPred = false;
    int weightedBipredIdc = 0;
    bool redundantPicCntPresent = false;
};

// The slice header fields that time a picture.
struct H264SliceHeader {
    int nalType = 0;
    int nalRefIdc = 0;
    int sliceType = 0; // 0 P, 1 B, 2 I, 3 SP, 4 SI
    int ppsId = 0;
    int frameNum = 0;
    bool fieldPic = false;
    bool bottomField = false;
    int idrPicId = 0;
    int pocLsb = 0;
    int deltaPocBottom = 0;
    int deltaPoc[2] = { 0, 0 };
    int redundantPicCnt = 0;
    bool mmco5 = false;

    bool idr() const { return nalType == 5; }
};

// One NAL unit of the stream: where its bytes are (start code and trailing zero bytes left out).
struct H264Nal {
    size_t offset = 0;
    size_t size = 0;
    int type = 0;
};

// A coded frame, or a complementary field pair, with the NAL units that belong to it.
struct H264Picture {
    size_t firstNal = 0;
    size_t nalCount = 0;
    bool idr = false;
    bool reference = false; // nal_ref_idc of its slices is not zero
    bool intraOnly = true; // every slice is I or SI
    bool field = false; // coded as field(s)
    int segment = 0; // counts IDR pictures and resets by memory_management_control_operation 5
    int64_t poc = 0; // PicOrderCnt within the segment
};

struct H264Stream {
    std::vector<H264Nal> nals;
    std::map<int, H264Sps> sps;
    std::map<int, H264Pps> pps;
    std::vector<H264Picture> pictures; // decoding order
    std::vector<size_t> presentation; // per picture, its index in presentation order
    std::string unsupported; // why the stream cannot be timed here; empty when it can
};

// Splits an Annex B stream into NAL units.
std::vector<H264Nal> splitAnnexB(const uint8_t *data, size_t size);

// The NAL unit's payload without emulation prevention bytes (header byte included).
std::vector<uint8_t> unescapeNal(const uint8_t *nal, size_t size);

bool parseSps(const uint8_t *nal, size_t size, H264Sps *out);
bool parsePps(const uint8_t *nal, size_t size, const std::map<int, H264Sps> &sps, H264Pps *out);
bool parseSliceHeader(const uint8_t *nal, size_t size, const std::map<int, H264Sps> &sps,
    const std::map<int, H264Pps> &pps, H264SliceHeader *out);

// Reads the whole stream. False (with unsupported set) when it holds something the reader
// does not time: no picture, a slice without its parameter sets, data partitions, SVC/MVC
// NAL units, redundant pictures, or a broken header.
bool readH264Stream(const uint8_t *data, size_t size, H264Stream *out);

// Escapes an unescaped NAL unit (emulation prevention bytes after two zeros).
std::vector<uint8_t> escapeNal(const std::vector<uint8_t> &rbsp);

// Whether an SEI NAL unit holds a recovery point message (payload type 6).
bool seiHasRecoveryPoint(const uint8_t *nal, size_t size);

// The NAL unit of that type when every one of them in the stream holds the same bytes (one
// SPS repeated, say); nullptr when there is none or they differ.
const H264Nal *onlyNalOfType(const H264Stream &stream, const uint8_t *data, int type);

} // namespace mp4box
