#include "Muxer.h"

#include "AssExport.h"
#include "DirectMux.h"
#include "Extraction.h"
#include "Ffmpeg.h"
#include "FileUtil.h"
#include "H264Timing.h"
#include "MatroskaWrap.h"
#include "MediaProbe.h"
#include "Mp4File.h"
#include "ProgressLine.h"
#include "ScratchSpace.h"
#include "SrtImport.h"
#include "ToolProcess.h"
#include "TtxtFormat.h"
#include "common/Process.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <numeric>
#include <set>

namespace mp4box {
namespace {

    struct MuxInput {
        AddSpec spec;
        TrackOptions options;
        std::string path;
        bool timedText = false;
        TimedText text;
        std::string ffmpegInput; // what ffmpeg reads: the file itself, a Matroska wrap or an ASS script
        ProbedMedia media; // of ffmpegInput
        std::vector<ProbedStream> selected;
        std::optional<Rational> timedAt; // frame rate a wrapped video was timed at
        bool unpackMpeg4 = false;
        double seconds = 0;
        // A raw H.264 file read here: its bytes and pictures, timed without mkvmerge.
        std::shared_ptr<const MappedFile> rawBytes;
        std::shared_ptr<const H264Stream> rawStream;
        std::optional<H264Sps> sps; // the stream's one SPS, when it is known
    };

    struct MuxTrack {
        const MuxInput *input;
        ProbedStream stream;
    };

    void warn(const std::string &message) { std::fprintf(stderr, "Warning: %s\n", message.c_str()); }

    std::string lower(std::string s)
    {
        std::transform(s.begin(), s.end(), s.begin(),
            [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    }

    std::string extensionOf(const std::string &path)
    {
        const std::string name = fileName(path);
        const size_t dot = name.rfind('.');
        return dot == std::string::npos ? std::string() : lower(name.substr(dot));
    }

    bool looksLikeTimedText(const std::string &path)
    {
        const std::string ext = extensionOf(path);
        if (ext == ".ttxt")
            return true;
        FILE *f = std::fopen(path.c_str(), "rb");
        if (!f)
            return false;
        char buf[1024];
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        std::fclose(f);
        return std::string(buf, n).find("<TextStream") != std::string::npos;
    }

    std::string rateText(const Rational &r) { return std::to_string(r.num) + "/" + std::to_string(r.den); }

    const char *importLabel(const std::string &codec)
    {
        if (codec == "h264")
            return "Importing AVC-H264";
        if (codec == "hevc")
            return "Importing HEVC";
        if (codec == "mpeg4")
            return "Importing MPEG-4 Visual";
        return "Importing ISO File";
    }

    // Picks the streams a selector names: "video", "audio", "text" take the first of that
    // kind, "trackID=N" or "N" the stream with that container ID, nothing every stream.
    bool selectStreams(
        const ProbedMedia &m, const std::string &selector, std::vector<ProbedStream> *out, std::string *error)
    {
        out->clear();
        auto firstOf = [&](const std::string &type) {
            for (const auto &s : m.streams) {
                if (s.type == type) {
                    out->push_back(s);
                    return true;
                }
            }
            *error = "no " + type + " track";
            return false;
        };
        if (selector.empty()) {
            for (const auto &s : m.streams) {
                if (s.type == "video" || s.type == "audio" || s.type == "subtitle")
                    out->push_back(s);
            }
            if (out->empty())
                *error = "no video, audio or subtitle track";
            return !out->empty();
        }
        if (selector == "video" || selector == "audio")
            return firstOf(selector);
        if (selector == "text" || selector == "subtitle")
            return firstOf("subtitle");
        std::string id = selector;
        if (id.rfind("trackID=", 0) == 0)
            id = id.substr(8);
        char *end = nullptr;
        const long long n = std::strtoll(id.c_str(), &end, 10);
        if (id.empty() || *end != '\0') {
            *error = "unknown track selector #" + selector;
            return false;
        }
        for (const auto &s : m.streams) {
            if (s.id == n) {
                out->push_back(s);
                return true;
            }
        }
        *error = "no track with ID " + id;
        return false;
    }

    // mkvmerge gives raw and AVI video exact timestamps (B-frames keep their order,
    // packed MPEG-4 bitstreams are unpacked), which ffmpeg cannot when it copies them.
    bool wrapWithMkvmerge(MuxInput *in, const std::vector<std::string> &options, const std::string &mkv,
        const std::string &label)
    {
        std::vector<std::string> argv { adapt::systemTool("mkvmerge"), "--gui-mode", "-o", mkv,
            "--timestamp-scale", "1000" };
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(in->path);
        ProgressLine progress(label);
        std::string messages;
        const int rc = runReadingLines(argv, [&](std::string_view line) {
            if (line.rfind("#GUI#progress ", 0) == 0)
                progress.update(std::atoi(std::string(line.substr(14)).c_str()));
            else if (line.rfind("#GUI#error", 0) == 0 || line.rfind("Error:", 0) == 0)
                messages += std::string(line) + "\n";
        });
        if ((rc != 0 && rc != 1) || !isRegularFile(mkv)) {
            std::fputs(messages.c_str(), stderr);
            return false;
        }
        progress.finish();
        return true;
    }

    // Re-finds the selected streams in the wrapped file, by kind and rank.
    bool reselect(MuxInput *in, const ProbedMedia &wrapped, std::string *error)
    {
        std::vector<ProbedStream> chosen;
        for (const auto &s : in->selected) {
            int rank = 0;
            for (const auto &o : in->media.streams) {
                if (o.index == s.index)
                    break;
                if (o.type == s.type)
                    ++rank;
            }
            bool found = false;
            for (const auto &w : wrapped.streams) {
                if (w.type == s.type && rank-- == 0) {
                    chosen.push_back(w);
                    found = true;
                    break;
                }
            }
            if (!found) {
                *error = "the " + s.type + " of " + in->path + " was lost when it was rewrapped";
                return false;
            }
        }
        in->selected = chosen;
        in->media = wrapped;
        return true;
    }

    struct ProbeOutcome {
        bool ok = false;
        ProbedMedia media;
        std::string error;
    };

    bool selectorTakes(const MuxInput &in, const std::string &kind)
    {
        return in.spec.selector.empty() || in.spec.selector == kind;
    }

    // Raw H.264 and ADTS AAC, the engine's own intermediates, are read here: ffprobe would
    // cost more to start than the reading does.
    bool readsInProcess(const MuxInput &in)
    {
        const std::string ext = extensionOf(in.path);
        return ((ext == ".h264" || ext == ".264") && selectorTakes(in, "video"))
            || (ext == ".aac" && selectorTakes(in, "audio"));
    }

    // What ffprobe says of such a file, without it; false leaves the file to ffprobe.
    bool probeInProcess(MuxInput *in, ProbeOutcome *out)
    {
        auto file = std::make_shared<const MappedFile>(in->path);
        if (file->empty())
            return false;
        const std::string_view bytes = file->bytes();
        if (extensionOf(in->path) == ".aac") {
            out->ok = probeAdts(bytes, &out->media);
            return out->ok;
        }
        auto stream = std::make_shared<H264Stream>();
        if (!readH264Stream(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), stream.get()))
            return false;
        ProbedMedia &m = out->media;
        m.format = "h264";
        ProbedStream v;
        v.type = "video";
        v.codec = "h264";
        const auto *data = reinterpret_cast<const uint8_t *>(bytes.data());
        if (onlyNalOfType(*stream, data, 7) && stream->sps.size() == 1) {
            const H264Sps &sps = stream->sps.begin()->second;
            v.width = sps.width;
            v.height = sps.height;
            in->sps = sps;
        }
        m.streams.push_back(v);
        in->rawStream = std::move(stream);
        in->rawBytes = std::move(file);
        out->ok = true;
        return true;
    }

    // The raw H.264 file timed here into a Matroska file, as mkvmerge would have wrapped it.
    // False when the reader cannot time this stream (mkvmerge then does).
    bool wrapInProcess(MuxInput *in, const std::optional<Rational> &fps, const std::string &mkv, std::string *error)
    {
        if (!in->rawStream || !fps)
            return false;
        for (const auto &p : in->rawStream->pictures) {
            if (p.field)
                return false; // field pairs are left to mkvmerge
        }
        ProgressLine progress(importLabel("h264"));
        if (!writeTimedH264Matroska(in->path, *in->rawStream, in->rawBytes->bytes(), *fps, mkv, error)) {
            std::remove(mkv.c_str());
            error->clear();
            return false;
        }
        const H264Sps &sps = in->rawStream->sps.begin()->second;
        ProbedMedia wrapped;
        wrapped.format = "matroska,webm";
        wrapped.duration
            = static_cast<double>(presentationMicroseconds(in->rawStream->pictures.size(), *fps)) / 1e6;
        ProbedStream v;
        v.type = "video";
        v.codec = "h264";
        v.width = sps.width;
        v.height = sps.height;
        v.frameRate = *fps;
        wrapped.streams.push_back(v);
        in->media = wrapped;
        in->selected = wrapped.streams;
        in->ffmpegInput = mkv;
        in->timedAt = fps;
        in->seconds = wrapped.duration;
        in->rawBytes.reset();
        progress.finish();
        return true;
    }

    // The sources' probes do not depend on each other, and each is mostly ffprobe
    // starting up: run them side by side. The imports that follow stay in order.
    std::vector<std::future<ProbeOutcome>> probeSources(const std::vector<MuxInput> &inputs)
    {
        std::vector<std::future<ProbeOutcome>> probes;
        for (const auto &in : inputs) {
            if (in.timedText || readsInProcess(in)) {
                probes.emplace_back();
                continue;
            }
            probes.push_back(std::async(std::launch::async, [path = in.path] {
                ProbeOutcome o;
                o.ok = probeMedia(path, &o.media, &o.error);
                return o;
            }));
        }
        return probes;
    }

    bool prepareMedia(MuxInput *in, const CommandLine &cmd, ScratchSpace *scratch, int n, ProbeOutcome probed,
        std::string *error)
    {
        if (!probed.ok) {
            *error = probed.error;
            return false;
        }
        in->media = std::move(probed.media);
        if (!selectStreams(in->media, in->spec.selector, &in->selected, error)) {
            *error += " in " + in->path;
            return false;
        }
        in->ffmpegInput = in->path;
        in->seconds = in->media.duration;
        const bool raw
            = in->media.formatIs("h264") || in->media.formatIs("hevc") || in->media.formatIs("m4v");
        const bool avi = in->media.formatIs("avi");
        const bool takesVideo = std::any_of(in->selected.begin(), in->selected.end(),
            [](const ProbedStream &s) { return s.type == "video"; });
        if (!(raw || (avi && takesVideo))) {
            ProgressLine(importLabel(in->selected.front().codec)).finish();
            return true;
        }
        const std::string mkv = scratch->file("wrap" + std::to_string(n) + ".mkv");
        if (raw && wrapInProcess(in, in->options.fps ? in->options.fps : cmd.defaultFps, mkv, error))
            return true;
        in->rawBytes.reset();
        std::vector<std::string> options;
        if (raw) {
            std::optional<Rational> fps = in->options.fps ? in->options.fps : cmd.defaultFps;
            if (fps) {
                options = { "--default-duration", "0:" + rateText(*fps) + "fps" };
                in->timedAt = fps;
            }
        } else {
            options = { "--engage", "native_mpeg4", "-S", "-B", "-T", "-M", "--no-chapters" };
            if (std::none_of(in->selected.begin(), in->selected.end(),
                    [](const ProbedStream &s) { return s.type == "audio"; }))
                options.push_back("-A");
        }
        const std::string label = raw ? importLabel(in->selected.front().codec) : "Importing AVI";
        ProbedMedia wrapped;
        if (wrapWithMkvmerge(in, options, mkv, label) && probeMedia(mkv, &wrapped, error)) {
            if (!reselect(in, wrapped, error))
                return false;
            in->ffmpegInput = mkv;
            if (!in->timedAt) {
                for (const auto &s : in->selected) {
                    if (s.type == "video" && s.frameRate.num > 0)
                        in->timedAt = s.frameRate;
                }
            }
            if (in->media.duration > 0)
                in->seconds = in->media.duration;
            return true;
        }
        if (raw) {
            *error = "mkvmerge could not read " + in->path;
            return false;
        }
        // An AVI mkvmerge cannot read is copied by ffmpeg as it stands.
        warn("mkvmerge could not read " + in->path + "; its video is copied without retiming");
        in->unpackMpeg4 = true;
        return true;
    }

    bool prepareText(MuxInput *in, ScratchSpace *scratch, int n, std::string *error)
    {
        std::string bytes;
        if (!readWholeFile(in->path, &bytes, error))
            return false;
        const bool srt = extensionOf(in->path) == ".srt";
        ProgressLine progress(srt ? "Importing SRT" : "Importing TTXT");
        if (srt) {
            std::vector<SrtCue> cues = parseSrt(decodeSubtitleBytes(bytes));
            if (cues.empty()) {
                *error = "no subtitle found in " + in->path;
                return false;
            }
            in->text = srtToTimedText(std::move(cues));
        } else if (!parseTtxt(bytes, &in->text, error)) {
            *error += ": " + in->path;
            return false;
        }
        in->ffmpegInput = scratch->file("text" + std::to_string(n) + ".ass");
        if (!writeWholeFile(in->ffmpegInput, timedTextToAss(in->text), error))
            return false;
        ProbedStream s;
        s.type = "subtitle";
        s.codec = "mov_text";
        in->selected = { s };
        in->seconds = timedTextEndMs(in->text) / 1000.0;
        progress.finish();
        return true;
    }

    std::string secondsText(int64_t ms)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%lld.%03lld", ms < 0 ? "-" : "", std::llabs(ms) / 1000LL,
            std::llabs(ms) % 1000LL);
        return buf;
    }

    std::vector<uint8_t> be16(int v)
    {
        return { static_cast<uint8_t>(v >> 8 & 0xff), static_cast<uint8_t>(v & 0xff) };
    }

    std::vector<uint8_t> be32(uint32_t v)
    {
        return { static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16 & 0xff),
            static_cast<uint8_t>(v >> 8 & 0xff), static_cast<uint8_t>(v & 0xff) };
    }

    // Sets the track header fields of the finished file that ffmpeg leaves at its own values.
    // File offset of the pixel-aspect box ('pasp') inside a visual sample entry, 0 when
    // it has none. A visual entry holds 78 bytes of its own before its child boxes.
    uint64_t paspOffset(const Mp4Track &t)
    {
        const std::vector<uint8_t> &e = t.sampleEntry;
        for (size_t at = 86; at + 16 <= e.size();) {
            const uint32_t size = uint32_t(e[at]) << 24 | uint32_t(e[at + 1]) << 16 | uint32_t(e[at + 2]) << 8 | e[at + 3];
            if (size < 8 || size > e.size() - at)
                return 0;
            if (size == 16 && std::equal(e.begin() + at + 4, e.begin() + at + 8, "pasp"))
                return t.sampleEntryPos + at + 8;
            at += size;
        }
        return 0;
    }

    bool patchTracks(const std::string &path, const std::vector<MuxTrack> &tracks,
        const std::vector<std::optional<ParSpec>> &pars, std::string *error)
    {
        Mp4File file;
        if (!file.open(path, error))
            return false;
        if (file.tracks().size() != tracks.size()) {
            *error = "ffmpeg wrote " + std::to_string(file.tracks().size()) + " tracks instead of "
                + std::to_string(tracks.size());
            return false;
        }
        double visualWidth = 0;
        double visualHeight = 0;
        for (const auto &t : file.tracks()) {
            if (t.handler == fourcc("vide")) {
                visualWidth = std::max(visualWidth, t.width);
                visualHeight = std::max(visualHeight, t.height);
            }
        }
        for (size_t i = 0; i < tracks.size(); ++i) {
            const Mp4Track &t = file.tracks()[i];
            const MuxInput &in = *tracks[i].input;
            const TrackOptions &o = in.options;
            const uint32_t flags = (t.tkhdFlags & ~1u) | (o.disable ? 0u : 1u);
            bool ok = Mp4File::writeAt(path, t.flagsOffset(),
                { static_cast<uint8_t>(flags >> 16), static_cast<uint8_t>(flags >> 8 & 0xff),
                    static_cast<uint8_t>(flags & 0xff) },
                error);
            if (ok && o.group)
                ok = Mp4File::writeAt(path, t.alternateGroupOffset(), be16(*o.group), error);
            if (ok && !o.handler.empty()) {
                if (in.timedText) {
                    ok = Mp4File::writeAt(path, t.handlerTypeOffset(),
                        std::vector<uint8_t>(o.handler.begin(), o.handler.end()), error);
                } else {
                    warn("handler " + o.handler + " is set only on text tracks; track "
                        + std::to_string(i + 1) + " keeps " + fourccText(t.handler));
                }
            }
            // ffmpeg takes the pixel shape from a display ratio it cuts to 255ths, so
            // 1:1 on an 854x480 picture came out as 32767:32766: the exact one is set here.
            if (const uint64_t pasp = ok && pars[i] ? paspOffset(t) : 0) {
                std::vector<uint8_t> ratio = be32(static_cast<uint32_t>(pars[i]->num));
                const auto den = be32(static_cast<uint32_t>(pars[i]->den));
                ratio.insert(ratio.end(), den.begin(), den.end());
                ok = Mp4File::writeAt(path, pasp, ratio, error);
            }
            if (ok && in.timedText) {
                // Size and place of the text area: the layout option, else the header's.
                const TimedTextHeader &h = in.text.header;
                int w = h.width, ht = h.height, x = h.translationX, y = h.translationY;
                if (o.layout) {
                    w = o.layout->width ? o.layout->width : static_cast<int>(std::lround(visualWidth));
                    ht = o.layout->height ? o.layout->height : static_cast<int>(std::lround(visualHeight));
                    x = o.layout->x;
                    y = o.layout->y == -1 ? std::max(0, static_cast<int>(std::lround(visualHeight)) - ht)
                                          : o.layout->y;
                }
                std::vector<uint8_t> txy = be32(static_cast<uint32_t>(x) << 16);
                const auto ty = be32(static_cast<uint32_t>(y) << 16);
                txy.insert(txy.end(), ty.begin(), ty.end());
                std::vector<uint8_t> size = be32(static_cast<uint32_t>(std::max(0, w)) << 16);
                const auto hs = be32(static_cast<uint32_t>(std::max(0, ht)) << 16);
                size.insert(size.end(), hs.begin(), hs.end());
                ok = Mp4File::writeAt(path, t.matrixOffset() + 24, txy, error)
                    && Mp4File::writeAt(path, t.sizeOffset(), size, error);
                if (ok && t.sampleEntry.size() >= 34 && t.sampleEntry[4] == 't' && t.sampleEntry[7] == 'g') {
                    std::vector<uint8_t> box;
                    for (int v : { h.boxTop, h.boxLeft, h.boxBottom, h.boxRight }) {
                        const auto b = be16(v);
                        box.insert(box.end(), b.begin(), b.end());
                    }
                    ok = Mp4File::writeAt(path, t.sampleEntryPos + 26, box, error);
                }
            }
            if (!ok)
                return false;
        }
        return true;
    }

    // The engine's common copy (raw H.264, ADTS AAC, timed text) is written here without
    // ffmpeg; nullopt leaves the mux to ffmpeg.
    std::optional<int> muxWithoutFfmpeg(
        const CommandLine &cmd, const std::vector<MuxInput> &inputs, ScratchSpace *scratch, const std::string &out)
    {
        if (!cmd.ipod)
            return std::nullopt;
        std::vector<DirectInput> direct;
        int videoTrack = 0;
        int audios = 0;
        for (const auto &in : inputs) {
            const std::string ext = extensionOf(in.path);
            DirectInput d;
            d.path = in.path;
            d.options = in.options;
            if (in.timedText) {
                // A file the ffmpeg path would refuse is left to it, to say so.
                std::string bytes;
                std::string error;
                d.text = true;
                d.srt = ext == ".srt";
                if (!in.spec.selector.empty() || !readWholeFile(in.path, &bytes, &error))
                    return std::nullopt;
                if (d.srt) {
                    std::vector<SrtCue> cues = parseSrt(decodeSubtitleBytes(bytes));
                    if (cues.empty())
                        return std::nullopt;
                    d.timedText = srtToTimedText(std::move(cues));
                } else if (!parseTtxt(bytes, &d.timedText, &error)) {
                    return std::nullopt;
                }
                direct.push_back(std::move(d));
                continue;
            }
            if (!in.options.handler.empty())
                return std::nullopt;
            if ((ext == ".h264" || ext == ".264") && selectorTakes(in, "video")) {
                if (videoTrack)
                    return std::nullopt;
                d.video = true;
                videoTrack = static_cast<int>(direct.size()) + 1;
            } else if (!(ext == ".aac" && selectorTakes(in, "audio") && ++audios == 1)) {
                return std::nullopt;
            }
            direct.push_back(std::move(d));
        }
        if (!videoTrack)
            return std::nullopt;
        std::optional<ParSpec> par;
        for (const auto &p : cmd.pars) {
            if (p.track != videoTrack)
                return std::nullopt;
            par = p;
        }
        const std::string tmp = scratch->file("mux.mp4");
        std::string message;
        switch (muxDirectly(direct, cmd.defaultFps, par, tmp, &message)) {
        case DirectOutcome::Declined:
            return std::nullopt;
        case DirectOutcome::Failed:
            return fail(message);
        case DirectOutcome::Written:
            break;
        }
        if (!moveInto(tmp, out, &message))
            return fail(message);
        return 0;
    }

    bool ipodTakes(const std::string &codec)
    {
        static const std::set<std::string> codecs { "h264", "mpeg4", "aac", "alac", "ac3", "mov_text" };
        return codecs.count(codec) > 0;
    }

} // namespace

int runMux(const CommandLine &cmd, LevelForm form)
{
    const std::string out = absolutePath(cmd.file);
    ScratchSpace scratch;
    std::string error;
    if (!scratch.create(out, &error))
        return fail(error);

    std::vector<MuxInput> inputs;
    for (const auto &arg : cmd.adds) {
        MuxInput in;
        in.spec = splitAddSpec(arg, isRegularFile);
        std::vector<std::string> warnings;
        if (!parseTrackOptions(in.spec, form, &in.options, &warnings, &error))
            return fail(error + " (in \"" + arg + "\")");
        for (const auto &w : warnings)
            warn(w + " (in \"" + arg + "\")");
        in.path = absolutePath(in.spec.path);
        if (!isRegularFile(in.path))
            return fail("cannot open " + in.path);
        if (sameFile(in.path, out))
            return fail("the destination " + out + " is also a source");
        inputs.push_back(std::move(in));
    }
    for (auto &in : inputs)
        in.timedText = extensionOf(in.path) == ".srt" || looksLikeTimedText(in.path);
    if (const std::optional<int> rc = muxWithoutFfmpeg(cmd, inputs, &scratch, out))
        return *rc;
    std::vector<std::future<ProbeOutcome>> probes = probeSources(inputs);
    for (size_t i = 0; i < inputs.size(); ++i) {
        MuxInput &in = inputs[i];
        bool ok = false;
        if (in.timedText) {
            ok = prepareText(&in, &scratch, static_cast<int>(i), &error);
        } else {
            ProbeOutcome probed;
            if (probes[i].valid())
                probed = probes[i].get();
            else if (!probeInProcess(&in, &probed))
                probed.ok = probeMedia(in.path, &probed.media, &probed.error);
            ok = prepareMedia(&in, cmd, &scratch, static_cast<int>(i), std::move(probed), &error);
        }
        if (!ok)
            return fail(error);
    }

    std::vector<MuxTrack> tracks;
    for (const auto &in : inputs) {
        for (const auto &s : in.selected)
            tracks.push_back({ &in, s });
    }
    std::vector<std::optional<ParSpec>> pars(tracks.size());
    for (const auto &p : cmd.pars) {
        if (p.track > static_cast<int>(tracks.size())
            || tracks[static_cast<size_t>(p.track - 1)].stream.type != "video") {
            warn("-par " + std::to_string(p.track) + "=...: track " + std::to_string(p.track)
                + " is not a video track, the pixel aspect ratio is not set");
            continue;
        }
        pars[static_cast<size_t>(p.track - 1)] = p;
    }

    std::vector<std::string> args;
    double seconds = 0;
    for (const auto &in : inputs) {
        // ffmpeg starts each input file at zero. A track starts where ":delay=" says, else
        // where it starts in its source (a source that starts late is not delayed twice).
        double start = 0;
        double fileStart = 0;
        if (!in.timedText && !in.selected.empty()) {
            start = in.selected.front().startTime;
            for (const auto &s : in.selected)
                start = std::min(start, s.startTime);
            fileStart = in.media.startTime;
        }
        const double target = in.options.delayMs ? static_cast<double>(*in.options.delayMs) / 1000.0 : start;
        const int64_t shift = std::llround((target - (start - fileStart)) * 1000.0);
        if (shift != 0)
            args.insert(args.end(), { "-itsoffset", secondsText(shift) });
        seconds = std::max(seconds, in.seconds + std::max(0.0, target));
        args.insert(args.end(), { "-i", ffmpegPath(in.ffmpegInput) });
    }
    bool ipod = cmd.ipod;
    std::optional<Rational> videoRate;
    for (size_t o = 0; o < tracks.size(); ++o) {
        const MuxTrack &t = tracks[o];
        const TrackOptions &opt = t.input->options;
        const std::string os = std::to_string(o);
        const int inputIndex = static_cast<int>(t.input - inputs.data());
        args.insert(
            args.end(), { "-map", std::to_string(inputIndex) + ":" + std::to_string(t.stream.index) });
        // Subtitles of other kinds (SRT, ASS in a Matroska file) become 3GPP text as well.
        const bool toText
            = t.input->timedText || (t.stream.type == "subtitle" && t.stream.codec != "mov_text");
        args.insert(args.end(), { "-c:" + os, toText ? "mov_text" : "copy" });
        const std::string codec = toText ? "mov_text" : t.stream.codec;
        if (ipod && !ipodTakes(codec)) {
            warn("an iPod file cannot hold " + codec + "; a plain MP4 is written");
            ipod = false;
        }
        const bool video = t.stream.type == "video";
        // Apple's players take HEVC only under the 'hvc1' sample entry, whose parameter sets
        // all sit in the entry; ffmpeg would write 'hev1'.
        if (video && t.stream.codec == "hevc")
            args.insert(args.end(), { "-tag:" + os, "hvc1" });
        std::vector<std::string> h264;
        // The bitstream filter is a pass over every packet: left out when the stream's one SPS
        // already says what it would write.
        const std::optional<H264Sps> &sps = t.input->sps;
        if (opt.levelIdc) {
            if (video && t.stream.codec == "h264") {
                if (!(sps && sps->levelIdc == *opt.levelIdc && *opt.levelIdc != 11))
                    h264.push_back("level=" + std::to_string(*opt.levelIdc));
            } else {
                warn("the level is set only on H.264 video; track " + std::to_string(o + 1) + " is "
                    + t.stream.codec);
            }
        }
        if (const auto &p = pars[o]) {
            const bool stated = sps && p->num > 0 && p->den > 0 && sps->sarNum > 0 && sps->sarDen > 0
                && int64_t { p->num } * sps->sarDen == int64_t { sps->sarNum } * p->den;
            if (t.stream.codec == "h264" && !stated)
                h264.push_back(
                    "sample_aspect_ratio=" + std::to_string(p->num) + "/" + std::to_string(p->den));
            if (t.stream.width > 0 && t.stream.height > 0) {
                int64_t dw = static_cast<int64_t>(t.stream.width) * p->num;
                int64_t dh = static_cast<int64_t>(t.stream.height) * p->den;
                const int64_t g = std::gcd(dw, dh);
                args.insert(
                    args.end(), { "-aspect:" + os, std::to_string(dw / g) + ":" + std::to_string(dh / g) });
            }
        }
        std::string bsf;
        if (!h264.empty()) {
            bsf = "h264_metadata=";
            for (size_t k = 0; k < h264.size(); ++k)
                bsf += (k ? ":" : "") + h264[k];
        }
        if (t.input->unpackMpeg4 && t.stream.codec == "mpeg4")
            bsf = "mpeg4_unpack_bframes";
        if (!bsf.empty())
            args.insert(args.end(), { "-bsf:" + os, bsf });
        if (!opt.language.empty())
            args.insert(args.end(), { "-metadata:s:" + os, "language=" + opt.language });
        args.insert(args.end(), { "-disposition:" + os, opt.disable ? "0" : "default" });
        if (video && t.input->timedAt && !videoRate)
            videoRate = t.input->timedAt;
    }
    if (videoRate)
        args.insert(args.end(), { "-video_track_timescale", std::to_string(timescaleFor(*videoRate)) });
    const std::string tmp = scratch.file("mux.mp4");
    args.insert(args.end(),
        { "-map_metadata:g", "-1", "-map_chapters", "-1", "-movflags", "+faststart", "-f",
            ipod ? "ipod" : "mp4", ffmpegPath(tmp) });

    ProgressLine progress("ISO File Writing");
    if (!runFfmpeg(args, seconds, &progress) || !isRegularFile(tmp))
        return fail("ffmpeg could not write " + out);
    if (!patchTracks(tmp, tracks, pars, &error))
        return fail(error);
    if (!moveInto(tmp, out, &error))
        return fail(error);
    progress.finish();
    return 0;
}

} // namespace mp4box
