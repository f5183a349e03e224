#include "DirectMux.h"

#include "AssExport.h"
#include "BigEndian.h"
#include "FileUtil.h"
#include "H264Timing.h"
#include "MatroskaWrap.h"
#include "MediaProbe.h"
#include "MovText.h"
#include "Mp4Writer.h"
#include "ProgressLine.h"
#include "SpsSyntax.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>

namespace mp4box {
namespace {

    constexpr uint32_t tag(const char (&s)[5])
    {
        return static_cast<uint32_t>(static_cast<unsigned char>(s[0])) << 24
            | static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 16
            | static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 8 | static_cast<unsigned char>(s[3]);
    }

    void append(std::vector<uint8_t> *b, const std::vector<uint8_t> &more) { b->insert(b->end(), more.begin(), more.end()); }

    std::vector<uint8_t> box(uint32_t type, const std::vector<uint8_t> &body)
    {
        std::vector<uint8_t> b;
        put32(&b, static_cast<uint32_t>(body.size() + 8));
        put32(&b, type);
        append(&b, body);
        return b;
    }

    // An MPEG-4 descriptor with the four-byte length form ffmpeg writes.
    std::vector<uint8_t> descriptor(uint8_t type, const std::vector<uint8_t> &body)
    {
        std::vector<uint8_t> d { type, 0x80, 0x80, 0x80, static_cast<uint8_t>(body.size() & 0x7f) };
        append(&d, body);
        return d;
    }

    // av_rescale_q with round-half-away: microseconds to ticks of the time scale.
    int64_t usToTicks(int64_t us, int64_t timescale)
    {
        const __int128 p = static_cast<__int128>(us) * timescale;
        const __int128 h = 500000;
        return static_cast<int64_t>(p >= 0 ? (p + h) / 1000000 : -((-p + h) / 1000000));
    }

    int64_t rescaleNear(int64_t a, int64_t b, int64_t c)
    {
        const __int128 p = static_cast<__int128>(a) * b;
        return static_cast<int64_t>((p + c / 2) / c);
    }

    struct Declined {
        std::string why;
    };

    // A video track planned from the raw stream: everything checked before anything is printed.
    struct VideoPlan {
        std::shared_ptr<const MappedFile> file;
        std::shared_ptr<H264Stream> stream;
        Rational fps;
        int reorder = 0;
        H264Sps sps;
        std::vector<uint8_t> spsOut; // the SPS as written (rewritten when the level or aspect ratio changes)
        bool rewritten = false;
        std::vector<uint8_t> pps;
    };

    std::optional<Declined> planVideo(const DirectInput &in, const std::optional<Rational> &defaultFps,
        const std::optional<ParSpec> &par, VideoPlan *v)
    {
        v->file = std::make_shared<const MappedFile>(in.path);
        if (v->file->empty())
            return Declined { "cannot map " + in.path };
        const auto *data = reinterpret_cast<const uint8_t *>(v->file->bytes().data());
        v->stream = std::make_shared<H264Stream>();
        if (!readH264Stream(data, v->file->bytes().size(), v->stream.get()))
            return Declined { "the stream holds " + v->stream->unsupported };
        const H264Stream &st = *v->stream;
        const std::optional<Rational> fps = in.options.fps ? in.options.fps : defaultFps;
        if (!fps || fps->num <= 0 || fps->den <= 0)
            return Declined { "no frame rate" };
        v->fps = *fps;
        const H264Nal *spsNal = onlyNalOfType(st, data, 7);
        const H264Nal *ppsNal = onlyNalOfType(st, data, 8);
        if (!spsNal || !ppsNal || spsNal->size < 4 || st.sps.size() != 1)
            return Declined { "not one SPS and one PPS" };
        v->sps = st.sps.begin()->second;
        // ffmpeg's decoder takes its reorder depth from the SPS; without it, it guesses.
        if (!v->sps.vuiRead || !v->sps.bitstreamRestriction || v->sps.maxNumReorderFrames > 16)
            return Declined { "no stated reorder depth" };
        v->reorder = v->sps.maxNumReorderFrames;
        if (st.presentation.empty() || st.presentation[0] != 0)
            return Declined { "the first picture is not shown first" };
        for (size_t i = 0; i < st.pictures.size(); ++i) {
            const H264Picture &p = st.pictures[i];
            if (p.field)
                return Declined { "field pictures" };
            if (st.presentation[i] + static_cast<size_t>(v->reorder) < i)
                return Declined { "pictures reordered deeper than the SPS says" };
            if (!p.idr && !p.intraOnly) {
                for (size_t k = p.firstNal; k < p.firstNal + p.nalCount; ++k) {
                    const H264Nal &n = st.nals[k];
                    if (n.type == 6 && seiHasRecoveryPoint(data + n.offset, n.size))
                        return Declined { "recovery points on predicted pictures" };
                }
            }
        }
        // The level and pixel shape as ffmpeg's h264_metadata would set them; it is not run
        // when the SPS already says what it would write.
        const TrackOptions &o = in.options;
        const bool setLevel = o.levelIdc && !(v->sps.levelIdc == *o.levelIdc && *o.levelIdc != 11);
        if (setLevel && (*o.levelIdc == 9 || *o.levelIdc == 11))
            return Declined { "level 1b or 1.1" };
        bool setSar = false;
        if (par) {
            if (par->num <= 0 || par->den <= 0)
                return Declined { "no pixel aspect ratio" };
            setSar = !(v->sps.sarNum > 0 && v->sps.sarDen > 0
                && int64_t { par->num } * v->sps.sarDen == int64_t { v->sps.sarNum } * par->den);
        }
        v->spsOut.assign(data + spsNal->offset, data + spsNal->offset + spsNal->size);
        v->pps.assign(data + ppsNal->offset, data + ppsNal->offset + ppsNal->size);
        if (setLevel || setSar) {
            if (!rewriteSps(data + spsNal->offset, spsNal->size, setLevel ? *o.levelIdc : 0, setSar ? par->num : 0,
                    setSar ? par->den : 0, &v->spsOut))
                return Declined { "an SPS ffmpeg's h264_metadata would not read" };
            v->rewritten = true;
        }
        return std::nullopt;
    }

    struct AudioPlan {
        std::shared_ptr<const MappedFile> file;
        std::shared_ptr<AdtsStream> adts;
    };

    std::optional<Declined> planAudio(const DirectInput &in, AudioPlan *a)
    {
        a->file = std::make_shared<const MappedFile>(in.path);
        a->adts = std::make_shared<AdtsStream>();
        if (a->file->empty() || !readAdts(a->file->bytes(), a->adts.get()))
            return Declined { in.path + " is not a clean ADTS stream" };
        if (!a->adts->plain || a->adts->channelConfig == 0)
            return Declined { "ADTS frames with CRCs, several blocks or a program config element" };
        if (in.options.levelIdc || !in.options.handler.empty())
            return Declined { "options ffmpeg warns about" };
        return std::nullopt;
    }

    // A text track as ffmpeg's path writes it: the ASS events the script would hold, each
    // encoded as mov_text encodes it.
    struct TextPlan {
        MovTextDefaults defaults;
        std::vector<AssEvent> events;
        std::vector<std::string> samples;
    };

    std::optional<Declined> planText(const DirectInput &in, TextPlan *t)
    {
        const TrackOptions &o = in.options;
        if (o.delayMs || o.levelIdc || o.fps || (!o.handler.empty() && o.handler.size() != 4))
            return Declined { "options on a text track" };
        const std::optional<MovTextDefaults> d = movTextDefaults(in.timedText.header);
        if (!d)
            return Declined { "a default text style the script would change" };
        t->defaults = *d;
        t->events = timedTextEvents(in.timedText);
        if (t->events.empty())
            return Declined { "no text to show" };
        for (const auto &e : t->events) {
            std::optional<std::string> sample = movTextSample(e.text, t->defaults);
            if (!sample)
                return Declined { "a text sample the encoder might write otherwise" };
            t->samples.push_back(std::move(*sample));
        }
        return std::nullopt;
    }

    std::vector<uint8_t> avcConfiguration(const VideoPlan &v)
    {
        const std::vector<uint8_t> &sps = v.spsOut;
        std::vector<uint8_t> c { 1, sps[1], sps[2], sps[3], 0xff, 0xe1 };
        put16(&c, static_cast<uint32_t>(sps.size()));
        append(&c, sps);
        put8(&c, 1);
        put16(&c, static_cast<uint32_t>(v.pps.size()));
        append(&c, v.pps);
        // Rewritten parameter sets reach the muxer as Annex B, and the avcC it builds from them
        // carries the extension of the high profiles.
        const int profile = sps[1];
        if (v.rewritten && profile != 66 && profile != 77 && profile != 88) {
            put8(&c, 0xfc | static_cast<uint32_t>(v.sps.chromaFormatIdc));
            put8(&c, 0xf8 | static_cast<uint32_t>(v.sps.bitDepthLuma - 8));
            put8(&c, 0xf8 | static_cast<uint32_t>(v.sps.bitDepthChroma - 8));
            put8(&c, 0);
        }
        return box(tag("avcC"), c);
    }

    Mp4OutTrack videoTrack(const DirectInput &in, const VideoPlan &v, const std::optional<ParSpec> &par)
    {
        const H264Stream &st = *v.stream;
        Mp4OutTrack t;
        t.handler = tag("vide");
        t.handlerName = "VideoHandler";
        t.timescale = static_cast<uint32_t>(timescaleFor(v.fps));
        const int64_t ts = t.timescale;
        const int w = v.sps.width;
        const int h = v.sps.height;

        // The shape ffmpeg gives the track: from -aspect (a display ratio cut to 255ths) when
        // a pixel aspect ratio is given, else from the Matroska display size.
        int64_t sarNum = 0;
        int64_t sarDen = 0;
        if (par) {
            const int64_t dw = int64_t { w } * par->num;
            const int64_t dh = int64_t { h } * par->den;
            const int64_t g = std::gcd(dw, dh);
            int64_t an = 0;
            int64_t ad = 0;
            reduceRatio(dw / g, dh / g, 255, &an, &ad);
            reduceRatio(an * h, ad * w, INT_MAX, &sarNum, &sarDen);
        } else {
            int dw = 0;
            int dh = 0;
            displaySize(w, h, v.sps.sarNum, v.sps.sarDen, &dw, &dh);
            reduceRatio(int64_t { h } * dw, int64_t { w } * dh, INT_MAX, &sarNum, &sarDen);
        }
        int64_t width1616 = sarNum > 0 && sarDen > 0 ? rescaleNear(sarNum, int64_t { w } * 0x10000, sarDen) : 0;
        if (width1616 <= 0 || width1616 > UINT32_MAX)
            width1616 = int64_t { w } * 0x10000;
        t.width = static_cast<uint32_t>(width1616);
        t.height = static_cast<uint32_t>(h) << 16;

        std::vector<uint8_t> e(6, 0);
        put16(&e, 1); // data reference index
        e.resize(e.size() + 16, 0);
        put16(&e, static_cast<uint32_t>(w));
        put16(&e, static_cast<uint32_t>(h));
        put32(&e, 0x480000);
        put32(&e, 0x480000);
        put32(&e, 0);
        put16(&e, 1); // frame count
        e.resize(e.size() + 32, 0); // compressor name
        put16(&e, 0x18);
        put16(&e, 0xffff);
        append(&e, avcConfiguration(v));
        // The iPod's own box.
        append(&e, box(tag("uuid"), { 0x6b, 0x68, 0x40, 0xf2, 0x5f, 0x24, 0x4f, 0xc5, 0xba, 0x39, 0xa5, 0x1b, 0xcf, 0x03,
                                       0x23, 0xf3, 0, 0, 0, 0 }));
        if (sarNum > 0 && sarDen > 0) {
            std::vector<uint8_t> p;
            put32(&p, static_cast<uint32_t>(par ? par->num : sarNum));
            put32(&p, static_cast<uint32_t>(par ? par->den : sarDen));
            append(&e, box(tag("pasp"), p));
        }
        t.sampleEntry = box(tag("avc1"), e);

        // Timestamps as ffmpeg has them after reading the Matroska wrap: microsecond presentation
        // times, decoding times the presentation times `reorder` pictures back (the first ones
        // a frame duration apart before zero), then moved by the delay and put on the tick.
        const auto frameNs = static_cast<int64_t>(static_cast<__int128>(1000000000) * v.fps.den / v.fps.num);
        const int64_t frameUs = frameNs / 1000;
        const int64_t delayUs = in.options.delayMs ? *in.options.delayMs * 1000 : 0;
        const auto duration = static_cast<uint32_t>(usToTicks(frameUs, ts));
        const auto d = static_cast<size_t>(v.reorder);
        t.samples.resize(st.pictures.size());
        for (size_t i = 0; i < st.pictures.size(); ++i) {
            const H264Picture &p = st.pictures[i];
            Mp4OutSample &s = t.samples[i];
            s.pts = usToTicks(presentationMicroseconds(st.presentation[i], v.fps) + delayUs, ts);
            s.dts = i >= d ? usToTicks(presentationMicroseconds(i - d, v.fps) + delayUs, ts)
                           : usToTicks(delayUs - static_cast<int64_t>(d - i) * frameUs, ts);
            s.duration = duration;
            s.key = p.idr || p.intraOnly;
            uint64_t size = 0;
            for (size_t k = p.firstNal; k < p.firstNal + p.nalCount; ++k) {
                const H264Nal &n = st.nals[k];
                if (n.type != 9 && n.type != 12)
                    size += 4 + (n.type == 7 ? v.spsOut.size() : n.size);
            }
            s.size = static_cast<uint32_t>(size);
        }
        t.data = [file = v.file, stream = v.stream, sps = v.spsOut](size_t i, std::string *out) {
            const auto *bytes = file->bytes().data();
            const H264Picture &p = stream->pictures[i];
            for (size_t k = p.firstNal; k < p.firstNal + p.nalCount; ++k) {
                const H264Nal &n = stream->nals[k];
                if (n.type == 9 || n.type == 12)
                    continue; // access unit delimiters and filler stay out, as in the Matroska wrap
                const size_t size = n.type == 7 ? sps.size() : n.size;
                const char len[4] = { static_cast<char>(size >> 24), static_cast<char>(size >> 16 & 0xff),
                    static_cast<char>(size >> 8 & 0xff), static_cast<char>(size & 0xff) };
                out->append(len, 4);
                if (n.type == 7)
                    out->append(reinterpret_cast<const char *>(sps.data()), sps.size());
                else
                    out->append(bytes + n.offset, n.size);
            }
        };
        return t;
    }

    Mp4OutTrack audioTrack(const DirectInput &in, const AudioPlan &a, uint32_t trackId)
    {
        const AdtsStream &adts = *a.adts;
        Mp4OutTrack t;
        t.handler = tag("soun");
        t.handlerName = "SoundHandler";
        t.timescale = static_cast<uint32_t>(adts.sampleRate);
        t.alternateGroup = 1;
        t.volume = 0x100;
        t.rollGroup = true;
        // ffmpeg moves the first frame by the delay rounded to the sample, and counts on from there.
        const int64_t start = in.options.delayMs
            ? static_cast<int64_t>(rescaleNear(*in.options.delayMs, adts.sampleRate, 1000))
            : 0;
        uint64_t bytes = 0;
        t.samples.resize(adts.frames.size());
        for (size_t k = 0; k < adts.frames.size(); ++k) {
            Mp4OutSample &s = t.samples[k];
            s.size = adts.frames[k].length - adts.frames[k].headerLength;
            s.dts = s.pts = start + static_cast<int64_t>(k) * 1024;
            s.duration = 1024;
            bytes += s.size;
        }
        // Bit rates as ffmpeg's esds has them: the average over the track, and the larger of
        // that and the parser's running mean of the first 50 frames' rates.
        const uint64_t trackDuration = uint64_t { 1024 } * adts.frames.size();
        const auto average = static_cast<uint32_t>(bytes * 8 * t.timescale / trackDuration);
        int64_t mean = 0;
        for (size_t k = 0; k < adts.frames.size() && k < 50; ++k) {
            const int64_t rate = int64_t { adts.frames[k].length } * 8 * adts.sampleRate / 1024;
            mean += (rate - mean) / static_cast<int64_t>(k + 1);
        }
        const auto peak = static_cast<uint32_t>(std::max<int64_t>(mean, average));

        const uint32_t asc = static_cast<uint32_t>(adts.objectType) << 11 | static_cast<uint32_t>(adts.rateIndex) << 7
            | static_cast<uint32_t>(adts.channelConfig) << 3;
        std::vector<uint8_t> dsi;
        put16(&dsi, asc);
        std::vector<uint8_t> dcd { 0x40, 0x15, 0, 0, 0 };
        put32(&dcd, peak);
        put32(&dcd, average);
        append(&dcd, descriptor(0x05, dsi));
        std::vector<uint8_t> es;
        put16(&es, trackId);
        put8(&es, 0);
        append(&es, descriptor(0x04, dcd));
        append(&es, descriptor(0x06, { 0x02 }));
        std::vector<uint8_t> esds(4, 0);
        append(&esds, descriptor(0x03, es));

        std::vector<uint8_t> e(6, 0);
        put16(&e, 1);
        e.resize(e.size() + 8, 0);
        put16(&e, 2); // channel count: fixed in MP4
        put16(&e, 16);
        put16(&e, 0);
        put16(&e, 0);
        put16(&e, adts.sampleRate <= 65535 ? static_cast<uint32_t>(adts.sampleRate) : 0);
        put16(&e, 0);
        append(&e, box(tag("esds"), esds));
        t.sampleEntry = box(tag("mp4a"), e);

        t.data = [file = a.file, adts = a.adts](size_t k, std::string *out) {
            const AdtsFrame &f = adts->frames[k];
            out->append(file->bytes().data() + f.offset + f.headerLength, f.length - f.headerLength);
        };
        return t;
    }

    // The text samples of the ASS events, in microseconds; the empty samples ffmpeg's muxer
    // adds are placed by placeTextEnds.
    Mp4OutTrack textTrack(const DirectInput &in, const TextPlan &p, uint32_t visualWidth, uint32_t visualHeight)
    {
        Mp4OutTrack t;
        t.text = true;
        const std::string &h = in.options.handler;
        t.handler = h.empty() ? tag("sbtl")
                              : static_cast<uint32_t>(static_cast<unsigned char>(h[0])) << 24
                | static_cast<uint32_t>(static_cast<unsigned char>(h[1])) << 16
                | static_cast<uint32_t>(static_cast<unsigned char>(h[2])) << 8 | static_cast<unsigned char>(h[3]);
        t.handlerName = "SubtitleHandler";
        t.timescale = 1000000;
        t.alternateGroup = 3; // ffmpeg's group for subtitle tracks
        // Size and place of the text area: the layout option (0: the video's size, y -1: at
        // its bottom), else the header's.
        const TimedTextHeader &hd = in.timedText.header;
        const int vw = static_cast<int>(std::lround(visualWidth / 65536.0));
        const int vh = static_cast<int>(std::lround(visualHeight / 65536.0));
        int w = hd.width, ht = hd.height, x = hd.translationX, y = hd.translationY;
        if (const auto &l = in.options.layout) {
            w = l->width ? l->width : vw;
            ht = l->height ? l->height : vh;
            x = l->x;
            y = l->y == -1 ? std::max(0, vh - ht) : l->y;
        }
        t.width = static_cast<uint32_t>(std::max(0, w)) << 16;
        t.height = static_cast<uint32_t>(std::max(0, ht)) << 16;
        t.translationX = x;
        t.translationY = y;
        t.sampleEntry = movTextSampleEntry(hd, p.defaults);
        for (size_t i = 0; i < p.events.size(); ++i) {
            Mp4OutSample s;
            s.dts = s.pts = p.events[i].startCs * 10000;
            s.duration = static_cast<uint32_t>((p.events[i].endCs - p.events[i].startCs) * 10000);
            s.size = static_cast<uint32_t>(p.samples[i].size());
            t.samples.push_back(s);
        }
        return t;
    }

    // ffmpeg's muxer gives a text track an empty sample (two zero bytes) wherever it shows
    // nothing: when a packet of any track comes with a decoding time past the end of the
    // last text sample (compared as raw numbers, each in its own time scale), at that end,
    // unless an empty sample is already the last; and one more at the end of the file. The
    // empty samples join the tracks and the order of the media data.
    std::vector<std::pair<uint32_t, uint32_t>> placeTextEnds(
        std::vector<Mp4OutTrack> *tracks, std::vector<std::vector<std::string>> *bytes)
    {
        const std::vector<std::pair<uint32_t, uint32_t>> packets = interleaveOrder(*tracks);
        struct State {
            std::vector<Mp4OutSample> samples;
            std::vector<std::string> bytes;
            int64_t end = 0;
            bool lastEmpty = false;
        };
        std::vector<State> st(tracks->size());
        std::vector<std::pair<uint32_t, uint32_t>> order;
        auto addEmpty = [&](uint32_t k) {
            Mp4OutSample e;
            e.dts = e.pts = st[k].end;
            e.size = 2;
            e.duration = 0;
            order.emplace_back(k, static_cast<uint32_t>(st[k].samples.size()));
            st[k].samples.push_back(e);
            st[k].bytes.emplace_back(2, '\0');
            st[k].lastEmpty = true;
        };
        for (const auto &[t, i] : packets) {
            const Mp4OutSample &s = (*tracks)[t].samples[i];
            for (uint32_t k = 0; k < tracks->size(); ++k) {
                if ((*tracks)[k].text && st[k].end < s.dts && (st[k].samples.empty() || !st[k].lastEmpty))
                    addEmpty(k);
            }
            if (!(*tracks)[t].text) {
                order.emplace_back(t, i);
                continue;
            }
            order.emplace_back(t, static_cast<uint32_t>(st[t].samples.size()));
            st[t].samples.push_back(s);
            st[t].bytes.push_back((*bytes)[t][i]);
            st[t].end = s.dts + s.duration;
            st[t].lastEmpty = false;
        }
        for (uint32_t k = 0; k < tracks->size(); ++k) {
            if ((*tracks)[k].text && !st[k].lastEmpty)
                addEmpty(k);
        }
        for (uint32_t k = 0; k < tracks->size(); ++k) {
            if ((*tracks)[k].text) {
                (*tracks)[k].samples = std::move(st[k].samples);
                (*bytes)[k] = std::move(st[k].bytes);
            }
        }
        return order;
    }

} // namespace

int64_t timescaleFor(const Rational &r)
{
    if (r.den == 1001)
        return r.num;
    const int64_t ts = r.num * (1000 / std::gcd<int64_t>(1000, r.den));
    return ts > 0 && ts < 2000000000 ? ts : 90000;
}

void reduceRatio(int64_t num, int64_t den, int64_t max, int64_t *outNum, int64_t *outDen)
{
    int64_t a0n = 0, a0d = 1, a1n = 1, a1d = 0;
    const bool negative = (num < 0) != (den < 0);
    num = num < 0 ? -num : num;
    den = den < 0 ? -den : den;
    const int64_t g = std::gcd(num, den);
    if (g) {
        num /= g;
        den /= g;
    }
    if (num <= max && den <= max) {
        a1n = num;
        a1d = den;
        den = 0;
    }
    while (den) {
        const int64_t x = num / den;
        const int64_t nextDen = num - den * x;
        const int64_t a2n = x * a1n + a0n;
        const int64_t a2d = x * a1d + a0d;
        if (a2n > max || a2d > max) {
            int64_t y = x;
            if (a1n)
                y = (max - a0n) / a1n;
            if (a1d)
                y = std::min(y, (max - a0d) / a1d);
            if (den * (2 * y * a1d + a0d) > num * a1d) {
                a1n = y * a1n + a0n;
                a1d = y * a1d + a0d;
            }
            break;
        }
        a0n = a1n;
        a0d = a1d;
        a1n = a2n;
        a1d = a2d;
        num = den;
        den = nextDen;
    }
    *outNum = negative ? -a1n : a1n;
    *outDen = a1d;
}

DirectOutcome muxDirectly(const std::vector<DirectInput> &inputs, const std::optional<Rational> &defaultFps,
    const std::optional<ParSpec> &par, const std::string &tmpPath, std::string *message)
{
    // Everything is checked before the first line is printed: a declined mux goes to ffmpeg
    // as if nothing had been tried.
    std::vector<VideoPlan> videos(inputs.size());
    std::vector<AudioPlan> audios(inputs.size());
    std::vector<TextPlan> texts(inputs.size());
    Mp4OutMovie movie;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const DirectInput &in = inputs[i];
        if (in.options.delayMs && *in.options.delayMs < 0) {
            *message = "a negative delay";
            return DirectOutcome::Declined;
        }
        uint16_t language = 0;
        if (!packLanguage(in.options.language, &language)) {
            *message = "language " + in.options.language;
            return DirectOutcome::Declined;
        }
        const std::optional<Declined> no = in.video ? planVideo(in, defaultFps, par, &videos[i])
            : in.text                                ? planText(in, &texts[i])
                                                     : planAudio(in, &audios[i]);
        if (no) {
            *message = no->why;
            return DirectOutcome::Declined;
        }
    }
    movie.tracks.resize(inputs.size());
    uint32_t visualWidth = 0;
    uint32_t visualHeight = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const DirectInput &in = inputs[i];
        if (in.text) {
            ProgressLine(in.srt ? "Importing SRT" : "Importing TTXT").finish();
            continue;
        }
        ProgressLine(in.video ? "Importing AVC-H264" : "Importing ISO File").finish();
        movie.tracks[i] = in.video ? videoTrack(in, videos[i], par) : audioTrack(in, audios[i], static_cast<uint32_t>(i + 1));
        if (in.video) {
            visualWidth = std::max(visualWidth, movie.tracks[i].width);
            visualHeight = std::max(visualHeight, movie.tracks[i].height);
        }
    }
    std::vector<std::vector<std::string>> textBytes(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        const DirectInput &in = inputs[i];
        if (in.text) {
            movie.tracks[i] = textTrack(in, texts[i], visualWidth, visualHeight);
            textBytes[i] = texts[i].samples;
        }
        Mp4OutTrack &t = movie.tracks[i];
        packLanguage(in.options.language, &t.language);
        t.enabled = !in.options.disable;
        if (in.options.group)
            t.alternateGroup = *in.options.group;
    }
    movie.order = placeTextEnds(&movie.tracks, &textBytes);
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (inputs[i].text) {
            movie.tracks[i].data = [bytes = std::make_shared<std::vector<std::string>>(std::move(textBytes[i]))](
                                       size_t k, std::string *out) { out->append((*bytes)[k]); };
        }
    }
    movie.majorBrand = tag("M4V ");
    movie.minorVersion = 0x200;
    movie.compatibleBrands = { tag("M4V "), tag("isom"), tag("iso2"), tag("avc1") };
    movie.encoder = "Marbleway MP4Box";
    ProgressLine progress("ISO File Writing");
    if (!writeMp4(tmpPath, movie, &progress, message)) {
        std::remove(tmpPath.c_str());
        return DirectOutcome::Failed;
    }
    progress.finish();
    return DirectOutcome::Written;
}

} // namespace mp4box
