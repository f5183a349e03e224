#include "MatroskaWrap.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace mp4box {
namespace {

    void putId(std::string *out, uint32_t id)
    {
        bool started = false;
        for (int shift = 24; shift >= 0; shift -= 8) {
            const auto b = static_cast<uint8_t>(id >> shift & 0xff);
            if (b || started || shift == 0) {
                out->push_back(static_cast<char>(b));
                started = true;
            }
        }
    }

    // A data size in as few bytes as it needs (or exactly eight).
    void putSize(std::string *out, uint64_t size, bool eightBytes = false)
    {
        int len = 1;
        while (!eightBytes && len < 8 && size >= (uint64_t { 1 } << (7 * len)) - 1)
            ++len;
        if (eightBytes)
            len = 8;
        const uint64_t marked = size | uint64_t { 1 } << (7 * len);
        for (int i = len - 1; i >= 0; --i)
            out->push_back(static_cast<char>(marked >> (8 * i) & 0xff));
    }

    std::string element(uint32_t id, const std::string &body)
    {
        std::string out;
        putId(&out, id);
        putSize(&out, body.size());
        return out + body;
    }

    std::string uintElement(uint32_t id, uint64_t v)
    {
        std::string body;
        int len = 1;
        while (len < 8 && v >> (8 * len))
            ++len;
        for (int i = len - 1; i >= 0; --i)
            body.push_back(static_cast<char>(v >> (8 * i) & 0xff));
        return element(id, body);
    }

    std::string floatElement(uint32_t id, double v)
    {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        std::string body;
        for (int i = 7; i >= 0; --i)
            body.push_back(static_cast<char>(bits >> (8 * i) & 0xff));
        return element(id, body);
    }

    bool isAnnexBOnly(int type) { return type == 9 || type == 12; } // access unit delimiter, filler

} // namespace

int64_t presentationMicroseconds(size_t rank, const Rational &fps)
{
    const __int128 num = static_cast<__int128>(rank) * 1000000 * fps.den * 2 + fps.num;
    return static_cast<int64_t>(num / (static_cast<__int128>(fps.num) * 2));
}

void displaySize(int width, int height, int sarNum, int sarDen, int *displayWidth, int *displayHeight)
{
    *displayWidth = width;
    *displayHeight = height;
    if (sarNum <= 0 || sarDen <= 0 || sarNum == sarDen)
        return;
    if (sarNum > sarDen)
        *displayWidth = static_cast<int>(std::llround(static_cast<double>(width) * sarNum / sarDen));
    else
        *displayHeight = static_cast<int>(std::llround(static_cast<double>(height) * sarDen / sarNum));
}

bool writeTimedH264Matroska(const std::string &rawPath, const H264Stream &stream, std::string_view bytes,
    const Rational &fps, const std::string &mkvPath, std::string *error)
{
    if (fps.num <= 0 || fps.den <= 0) {
        *error = "no frame rate for " + rawPath;
        return false;
    }
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.data());
    // The codec private data holds the one SPS and PPS the stream uses.
    const H264Nal *spsNal = onlyNalOfType(stream, data, 7);
    const H264Nal *ppsNal = onlyNalOfType(stream, data, 8);
    if (!spsNal || !ppsNal || spsNal->size < 4 || stream.sps.size() != 1) {
        *error = rawPath + " does not hold one SPS and one PPS";
        return false;
    }
    const H264Sps &sps = stream.sps.begin()->second;
    std::string avcc { 1, static_cast<char>(data[spsNal->offset + 1]), static_cast<char>(data[spsNal->offset + 2]),
        static_cast<char>(data[spsNal->offset + 3]), static_cast<char>(0xff), static_cast<char>(0xe1) };
    avcc.push_back(static_cast<char>(spsNal->size >> 8));
    avcc.push_back(static_cast<char>(spsNal->size & 0xff));
    avcc.append(bytes, spsNal->offset, spsNal->size);
    avcc.push_back(1);
    avcc.push_back(static_cast<char>(ppsNal->size >> 8));
    avcc.push_back(static_cast<char>(ppsNal->size & 0xff));
    avcc.append(bytes, ppsNal->offset, ppsNal->size);

    int displayWidth = 0;
    int displayHeight = 0;
    displaySize(sps.width, sps.height, sps.sarNum, sps.sarDen, &displayWidth, &displayHeight);
    const auto frameNs = static_cast<uint64_t>(static_cast<__int128>(1000000000) * fps.den / fps.num);
    const int64_t lastEnd = presentationMicroseconds(stream.pictures.size(), fps);

    std::string head;
    {
        std::string ebml = uintElement(0x4286, 1) + uintElement(0x42F7, 1) + uintElement(0x42F2, 4)
            + uintElement(0x42F3, 8) + element(0x4282, "matroska") + uintElement(0x4287, 4)
            + uintElement(0x4285, 2);
        head = element(0x1A45DFA3, ebml);
    }
    const std::string info = element(0x1549A966,
        uintElement(0x2AD7B1, 1000) + floatElement(0x4489, static_cast<double>(lastEnd))
            + element(0x4D80, "Marbleway MP4Box") + element(0x5741, "Marbleway MP4Box"));
    const std::string video = element(0xE0,
        uintElement(0xB0, static_cast<uint64_t>(sps.width)) + uintElement(0xBA, static_cast<uint64_t>(sps.height))
            + uintElement(0x54B0, static_cast<uint64_t>(displayWidth))
            + uintElement(0x54BA, static_cast<uint64_t>(displayHeight)));
    const std::string tracks = element(0x1654AE6B,
        element(0xAE,
            uintElement(0xD7, 1) + uintElement(0x73C5, 1) + uintElement(0x83, 1) + uintElement(0x9C, 0)
                + element(0x22B59C, "und") + element(0x86, "V_MPEG4/ISO/AVC") + uintElement(0x23E383, frameNs)
                + video + element(0x63A2, avcc)));

    // One cluster per picture: block timestamps are relative to their cluster in 16 bits,
    // too narrow in microseconds for pictures out of order.
    std::vector<std::string> clusterHeads(stream.pictures.size());
    uint64_t clustersSize = 0;
    for (size_t i = 0; i < stream.pictures.size(); ++i) {
        const H264Picture &p = stream.pictures[i];
        uint64_t frame = 0;
        for (size_t k = p.firstNal; k < p.firstNal + p.nalCount; ++k) {
            if (!isAnnexBOnly(stream.nals[k].type))
                frame += 4 + stream.nals[k].size;
        }
        std::string block;
        putId(&block, 0xA3);
        putSize(&block, frame + 4);
        const uint8_t flags = static_cast<uint8_t>((p.idr || p.intraOnly ? 0x80 : 0) | (p.reference ? 0 : 0x01));
        block += std::string { static_cast<char>(0x81), 0, 0, static_cast<char>(flags) };
        const std::string timestamp
            = uintElement(0xE7, static_cast<uint64_t>(presentationMicroseconds(stream.presentation[i], fps)));
        std::string cluster;
        putId(&cluster, 0x1F43B675);
        putSize(&cluster, timestamp.size() + block.size() + frame);
        cluster += timestamp + block;
        clusterHeads[i] = cluster;
        clustersSize += cluster.size() + frame;
    }
    std::string segment;
    putId(&segment, 0x18538067);
    putSize(&segment, info.size() + tracks.size() + clustersSize, true);
    head += segment + info + tracks;

    FILE *f = std::fopen(mkvPath.c_str(), "wb");
    if (!f) {
        *error = "cannot write " + mkvPath;
        return false;
    }
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    for (size_t i = 0; ok && i < stream.pictures.size(); ++i) {
        const H264Picture &p = stream.pictures[i];
        ok = std::fwrite(clusterHeads[i].data(), 1, clusterHeads[i].size(), f) == clusterHeads[i].size();
        for (size_t k = p.firstNal; ok && k < p.firstNal + p.nalCount; ++k) {
            const H264Nal &n = stream.nals[k];
            if (isAnnexBOnly(n.type))
                continue;
            const uint8_t len[4] = { static_cast<uint8_t>(n.size >> 24), static_cast<uint8_t>(n.size >> 16 & 0xff),
                static_cast<uint8_t>(n.size >> 8 & 0xff), static_cast<uint8_t>(n.size & 0xff) };
            ok = std::fwrite(len, 1, 4, f) == 4 && std::fwrite(data + n.offset, 1, n.size, f) == n.size;
        }
    }
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok)
        *error = "cannot write " + mkvPath;
    return ok;
}

} // namespace mp4box
