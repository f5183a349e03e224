#include "Extraction.h"

#include "Ffmpeg.h"
#include "FileUtil.h"
#include "MediaProbe.h"
#include "Mp4File.h"
#include "ProgressLine.h"
#include "ScratchSpace.h"
#include "SrtImport.h"
#include "TtxtFormat.h"
#include "Tx3g.h"

#include <cstdio>

namespace mp4box {
namespace {

    struct RawFormat {
        const char *muxer;
        const char *extension;
    };

    // The bare-stream form of a codec; false when it has none here.
    bool rawFormatFor(const std::string &codec, RawFormat *f)
    {
        static const struct {
            const char *codec;
            RawFormat format;
        } table[] = {
            { "aac", { "adts", "aac" } },
            { "mp3", { "mp3", "mp3" } },
            { "ac3", { "ac3", "ac3" } },
            { "eac3", { "eac3", "ec3" } },
            { "dts", { "dts", "dts" } },
            { "mp2", { "mp2", "mp2" } },
            { "vorbis", { "ogg", "ogg" } },
            { "opus", { "opus", "opus" } },
            { "flac", { "flac", "flac" } },
            // Phones' 3GP sound; the raw form holds one frame per packet again.
            { "amr_nb", { "amr", "amr" } },
            { "amr_wb", { "amr", "awb" } },
            { "h264", { "h264", "h264" } },
            { "hevc", { "hevc", "hevc" } },
            { "mpeg4", { "m4v", "m4v" } },
            { "mpeg1video", { "mpeg1video", "m1v" } },
            { "mpeg2video", { "mpeg2video", "m2v" } },
        };
        for (const auto &row : table) {
            if (codec == row.codec) {
                *f = row.format;
                return true;
            }
        }
        if (codec.rfind("pcm_", 0) == 0) {
            *f = { "wav", "wav" };
            return true;
        }
        return false;
    }

    // Copies one stream of src into out as a bare stream, through a temporary file.
    int writeBareStream(const std::string &src, const ProbedMedia &media, const ProbedStream &stream,
        const std::string &out, const std::string &label)
    {
        RawFormat format;
        if (!rawFormatFor(stream.codec, &format))
            return fail("a " + stream.codec + " stream cannot be written as a bare stream");
        if (sameFile(src, out))
            return fail("the output would overwrite the source " + src);
        ScratchSpace scratch;
        std::string error;
        if (!scratch.create(out, &error))
            return fail(error);
        const std::string tmp = scratch.file(std::string("stream.") + format.extension);
        std::vector<std::string> args { "-i", ffmpegPath(src), "-map", "0:" + std::to_string(stream.index),
            "-c", "copy" };
        // Without bitexact ffmpeg puts a LIST chunk between "fmt " and "data".
        if (std::string(format.muxer) == "wav")
            args.insert(args.end(), { "-fflags", "+bitexact" });
        args.insert(args.end(), { "-f", format.muxer, ffmpegPath(tmp) });
        ProgressLine progress(label);
        if (!runFfmpeg(args, media.duration, &progress) || !isRegularFile(tmp))
            return fail("ffmpeg could not write the stream of " + src);
        progress.finish();
        if (!moveInto(tmp, out, &error))
            return fail(error);
        return 0;
    }

    bool writeTextAtomically(const std::string &out, const std::string &text, std::string *error)
    {
        ScratchSpace scratch;
        if (!scratch.create(out, error))
            return false;
        const std::string tmp = scratch.file("text.ttxt");
        return writeWholeFile(tmp, text, error) && moveInto(tmp, out, error);
    }

} // namespace

int fail(const std::string &message)
{
    std::fprintf(stderr, "Error: %s\n", message.c_str());
    return 1;
}

int extractRawTrack(const CommandLine &cmd)
{
    const std::string src = absolutePath(cmd.file);
    if (!isRegularFile(src))
        return fail("cannot open " + src);
    ProbedMedia media;
    std::string error;
    if (!probeMedia(src, &media, &error))
        return fail(error);
    for (const auto &s : media.streams) {
        if (s.id != cmd.trackId)
            continue;
        RawFormat format;
        std::string out = cmd.out;
        if (out.empty()) {
            const std::string ext = rawFormatFor(s.codec, &format) ? format.extension : "raw";
            out = withoutExtension(src) + "_track" + std::to_string(cmd.trackId) + "." + ext;
        }
        return writeBareStream(src, media, s, absolutePath(out), "Writing raw stream");
    }
    return fail("no track with ID " + std::to_string(cmd.trackId) + " in " + src);
}

int extractAviStream(const CommandLine &cmd)
{
    const std::string src = absolutePath(cmd.file);
    if (!isRegularFile(src))
        return fail("cannot open " + src);
    ProbedMedia media;
    std::string error;
    if (!probeMedia(src, &media, &error))
        return fail(error);
    const std::string base = absolutePath(cmd.out.empty() ? withoutExtension(src) : cmd.out);
    for (const auto &s : media.streams) {
        if (s.type != cmd.aviStream)
            continue;
        RawFormat format;
        if (!rawFormatFor(s.codec, &format))
            return fail("the " + cmd.aviStream + " of " + src + " (" + s.codec
                + ") cannot be written as a bare stream");
        const std::string out = base + "_" + cmd.aviStream + "." + format.extension;
        return writeBareStream(src, media, s, out, "Writing AVI " + cmd.aviStream);
    }
    return fail("no " + cmd.aviStream + " stream in " + src);
}

int dumpTextTrack(const CommandLine &cmd)
{
    const std::string src = absolutePath(cmd.file);
    Mp4File file;
    std::string error;
    if (!file.open(src, &error))
        return fail(error);
    const Mp4Track *track = file.track(static_cast<uint32_t>(cmd.trackId));
    if (!track)
        return fail("no track with ID " + std::to_string(cmd.trackId) + " in " + src);
    TimedText tt;
    if (!readTextTrack(file, *track, &tt, &error))
        return fail(error);
    const std::string out = absolutePath(cmd.out.empty() ? withoutExtension(src) : cmd.out) + "_"
        + std::to_string(cmd.trackId) + "_text.ttxt";
    ProgressLine progress("Writing TTXT");
    if (!writeTextAtomically(out, writeTtxt(tt), &error))
        return fail(error);
    progress.finish();
    return 0;
}

int convertSrt(const CommandLine &cmd)
{
    const std::string src = absolutePath(cmd.file);
    std::string bytes;
    std::string error;
    if (!readWholeFile(src, &bytes, &error))
        return fail(error);
    ProgressLine progress("Importing SRT");
    std::vector<SrtCue> cues = parseSrt(decodeSubtitleBytes(bytes));
    if (cues.empty())
        return fail("no subtitle found in " + src);
    const std::string out = absolutePath(cmd.out.empty() ? withoutExtension(src) + ".ttxt" : cmd.out);
    if (!writeTextAtomically(out, writeTtxt(srtToTimedText(std::move(cues))), &error))
        return fail(error);
    progress.finish();
    return 0;
}

} // namespace mp4box
