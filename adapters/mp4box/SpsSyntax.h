#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// An H.264 sequence parameter set read field by field and written back, with the rules and
// value ranges of ffmpeg's cbs_h264 (the layer under its h264_metadata filter), so that an
// SPS given a new level or sample aspect ratio comes out with the bytes that filter writes.
namespace mp4box {

struct H264Hrd {
    uint32_t cpbCntMinus1 = 0;
    uint32_t bitRateScale = 0;
    uint32_t cpbSizeScale = 0;
    uint32_t bitRateValueMinus1[32] = {};
    uint32_t cpbSizeValueMinus1[32] = {};
    bool cbr[32] = {};
    uint32_t initialCpbRemovalDelayLengthMinus1 = 0;
    uint32_t cpbRemovalDelayLengthMinus1 = 0;
    uint32_t dpbOutputDelayLengthMinus1 = 0;
    uint32_t timeOffsetLength = 0;
};

struct H264Vui {
    bool aspectRatioInfoPresent = false;
    uint32_t aspectRatioIdc = 0;
    uint32_t sarWidth = 0;
    uint32_t sarHeight = 0;
    bool overscanInfoPresent = false;
    bool overscanAppropriate = false;
    bool videoSignalTypePresent = false;
    uint32_t videoFormat = 5;
    bool videoFullRange = false;
    bool colourDescriptionPresent = false;
    uint32_t colourPrimaries = 2;
    uint32_t transferCharacteristics = 2;
    uint32_t matrixCoefficients = 2;
    bool chromaLocInfoPresent = false;
    uint32_t chromaSampleLocTop = 0;
    uint32_t chromaSampleLocBottom = 0;
    bool timingInfoPresent = false;
    uint32_t numUnitsInTick = 0;
    uint32_t timeScale = 0;
    bool fixedFrameRate = false;
    bool nalHrdPresent = false;
    H264Hrd nalHrd;
    bool vclHrdPresent = false;
    H264Hrd vclHrd;
    bool lowDelayHrd = false;
    bool picStructPresent = false;
    bool bitstreamRestriction = false;
    bool motionVectorsOverPicBoundaries = true;
    uint32_t maxBytesPerPicDenom = 2;
    uint32_t maxBitsPerMbDenom = 1;
    uint32_t log2MaxMvLengthHorizontal = 15;
    uint32_t log2MaxMvLengthVertical = 15;
    uint32_t maxNumReorderFrames = 16;
    uint32_t maxDecFrameBuffering = 16;
};

struct H264SpsSyntax {
    uint32_t nalRefIdc = 3;
    uint32_t profileIdc = 0;
    uint32_t constraintFlags = 0; // constraint_set0_flag in the top bit of six
    uint32_t levelIdc = 0;
    uint32_t id = 0;
    uint32_t chromaFormatIdc = 1;
    bool separateColourPlane = false;
    uint32_t bitDepthLumaMinus8 = 0;
    uint32_t bitDepthChromaMinus8 = 0;
    bool qpprimeYZeroTransformBypass = false;
    bool scalingMatrixPresent = false;
    bool scalingListPresent[12] = {};
    // delta_scale values as coded, up to the one that makes the next scale 0.
    std::vector<int32_t> deltaScale[12];
    uint32_t log2MaxFrameNumMinus4 = 0;
    uint32_t picOrderCntType = 0;
    uint32_t log2MaxPocLsbMinus4 = 0;
    bool deltaPicOrderAlwaysZero = false;
    int32_t offsetForNonRefPic = 0;
    int32_t offsetForTopToBottomField = 0;
    std::vector<int32_t> offsetForRefFrame;
    uint32_t maxNumRefFrames = 0;
    bool gapsInFrameNumAllowed = false;
    uint32_t picWidthInMbsMinus1 = 0;
    uint32_t picHeightInMapUnitsMinus1 = 0;
    bool frameMbsOnly = true;
    bool mbAdaptiveFrameField = false;
    bool direct8x8Inference = false;
    bool frameCropping = false;
    uint32_t crop[4] = {}; // left, right, top, bottom
    bool vuiPresent = false;
    H264Vui vui;
};

// Reads an SPS NAL unit (escaped, header byte first) the way cbs_h264 reads it: false when
// it would refuse it (a value out of its range, reserved bits set, a profile whose
// fields it reads differently from the standard, no trailing bits). Anything after the
// trailing bits is not kept, as there.
bool readSpsSyntax(const uint8_t *nal, size_t size, H264SpsSyntax *out);

// The SPS as cbs_h264 writes it: every field, the trailing bits, emulation prevention bytes.
// Empty when a field is out of range.
std::vector<uint8_t> writeSpsSyntax(const H264SpsSyntax &sps);

// What h264_metadata's level= and sample_aspect_ratio= do to an SPS: the ratio reduced to
// 16-bit terms, a Table E-1 entry when it is one and else Extended_SAR, the VUI switched on
// (with the values inferred for an SPS that had none). levelIdc 0 and sar 0:0 leave each
// alone; levels 1b and 1.1, which also touch a constraint flag, are not handled here.
void applyLevelAndAspect(H264SpsSyntax *sps, int levelIdc, int sarNum, int sarDen);

// applyLevelAndAspect on an SPS NAL unit, into out as escaped NAL bytes; false when the SPS
// cannot be read as above.
bool rewriteSps(const uint8_t *nal, size_t size, int levelIdc, int sarNum, int sarDen, std::vector<uint8_t> *out);

} // namespace mp4box
