// libFuzzer target for the MP4Box adapter's readers of outside data: timed-text XML (and the
// text samples made of it), SRT, tx3g samples and descriptions, MP4 box structures, raw H.264
// (and the SPS written again) and ADTS.
#include "AssExport.h"
#include "H264Timing.h"
#include "MediaProbe.h"
#include "MovText.h"
#include "Mp4File.h"
#include "SpsSyntax.h"
#include "SrtImport.h"
#include "TtxtFormat.h"
#include "Tx3g.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string body(reinterpret_cast<const char *>(data + 1), size - 1);
    using namespace mp4box;
    switch (data[0] % 6) {
    case 0: {
        TimedText tt;
        std::string error;
        if (parseTtxt(body, &tt, &error)) {
            timedTextToAss(tt);
            writeTtxt(tt);
            // Every sample the text encoder model takes holds its text length and fits it.
            if (const std::optional<MovTextDefaults> d = movTextDefaults(tt.header)) {
                for (const auto &e : timedTextEvents(tt)) {
                    const std::optional<std::string> sample = movTextSample(e.text, *d);
                    if (sample
                        && (sample->size() < 2
                            || (static_cast<unsigned char>((*sample)[0]) << 8 | static_cast<unsigned char>((*sample)[1]))
                                > static_cast<int>(sample->size()) - 2))
                        __builtin_trap();
                }
            }
        }
        break;
    }
    case 1: {
        const TimedText tt = srtToTimedText(parseSrt(decodeSubtitleBytes(body)));
        TimedText back;
        std::string error;
        if (!parseTtxt(writeTtxt(tt), &back, &error) || back.samples.size() != tt.samples.size())
            __builtin_trap(); // what the writer writes the reader must read
        timedTextToAss(tt);
        break;
    }
    case 2: {
        const std::vector<uint8_t> bytes(body.begin(), body.end());
        TimedTextHeader h;
        parseTx3gSampleEntry(bytes, &h);
        TimedTextSample s;
        if (parseTx3gSample(bytes, h.defaultStyle, &s)) {
            for (const auto &st : s.styles) {
                if (st.fromChar < 0 || st.toChar > static_cast<int>(s.text.size()))
                    __builtin_trap();
            }
        }
        break;
    }
    case 4: {
        H264Stream st;
        if (readH264Stream(reinterpret_cast<const uint8_t *>(body.data()), body.size(), &st)) {
            // Every picture holds NAL units of the stream, and presentation order is a permutation.
            std::vector<size_t> order = st.presentation;
            std::sort(order.begin(), order.end());
            for (size_t i = 0; i < order.size(); ++i) {
                if (order[i] != i || st.pictures[i].firstNal + st.pictures[i].nalCount > st.nals.size())
                    __builtin_trap();
            }
        }
        const auto *raw = reinterpret_cast<const uint8_t *>(body.data());
        for (const auto &n : splitAnnexB(raw, body.size())) {
            if (n.type == 6)
                seiHasRecoveryPoint(raw + n.offset, n.size);
            H264Sps before;
            H264Sps after;
            std::vector<uint8_t> rewritten;
            // A rewritten SPS still reads, as the same picture, and writing what was read
            // gives what reads back the same.
            if (n.type == 7 && parseSps(raw + n.offset, n.size, &before)
                && rewriteSps(raw + n.offset, n.size, 31, 4, 3, &rewritten)
                && (!parseSps(rewritten.data(), rewritten.size(), &after) || after.width != before.width
                    || after.levelIdc != 31 || after.sarNum != 4 || after.sarDen != 3))
                __builtin_trap();
            H264SpsSyntax once;
            H264SpsSyntax twice;
            if (n.type == 7 && readSpsSyntax(raw + n.offset, n.size, &once)) {
                const std::vector<uint8_t> written = writeSpsSyntax(once);
                if (written.empty() || !readSpsSyntax(written.data(), written.size(), &twice)
                    || writeSpsSyntax(twice) != written)
                    __builtin_trap();
            }
        }
        break;
    }
    case 5: {
        ProbedMedia m;
        probeAdts(body, &m);
        AdtsStream adts;
        if (readAdts(body, &adts)) {
            for (const auto &f : adts.frames) {
                if (f.offset + f.length > body.size() || f.length < f.headerLength)
                    __builtin_trap();
            }
        }
        break;
    }
    default: {
        char path[] = "/tmp/fuzz-mp4box-XXXXXX";
        const int fd = mkstemp(path);
        if (fd < 0)
            return 0;
        const bool written = write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
        close(fd);
        Mp4File f;
        std::string error;
        if (written && f.open(path, &error)) {
            std::vector<uint8_t> sample;
            for (const auto &t : f.tracks()) {
                for (size_t i = 0; i < t.samples.size() && i < 16; ++i)
                    f.readSample(t.samples[i], &sample);
                TimedText tt;
                readTextTrack(f, t, &tt, &error);
            }
        }
        unlink(path);
        break;
    }
    }
    return 0;
}
