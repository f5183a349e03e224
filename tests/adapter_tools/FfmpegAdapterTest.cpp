// The ffmpeg calls of the audio, video and re-encoding stages, run through the adapter as the
// command interpreter would start them.
#include "AdapterTestSupport.h"

#include "../PackedAmr.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>

using namespace adaptertest;

namespace {

const std::vector<std::string> fmtThenData{"fmt ", "data"};

void expectSamplesNear(long long actual, long long expected)
{
    EXPECT_NEAR(static_cast<double>(actual), static_cast<double>(expected), expected * 0.05);
}

} // namespace

TEST(FfmpegAdapter, PcmExtractionWritesWaveWithDataRightAfterFmt)
{
    ScratchDir dir;
    const std::string stereo = dir.file("extractedaudio.wav");
    RunResult r = runTool("ffmpeg", {"-i", mediaPath("avi_mpeg4_mp3.avi"), "-vn", "-acodec", "pcm_s16le", stereo});
    ASSERT_TRUE(exists(stereo)) << r.output;
    EXPECT_EQ(waveChunks(stereo), fmtThenData);
    EXPECT_EQ(waveFormatTag(stereo), 1);
    FormatInfo info = probe(stereo);
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].codec, "pcm_s16le");
    EXPECT_EQ(info.streams[0].channels, 2);
    expectSamplesNear(decodedSamples(stereo), 2 * 44100);

    // Six channels need the extensible format header; the downmix tool takes it.
    const std::string surround = dir.file("surround.wav");
    r = runTool("ffmpeg", {"-i", mediaPath("mkv_h264_multi.mkv"), "-vn", "-acodec", "pcm_s16le", surround});
    ASSERT_TRUE(exists(surround)) << r.output;
    EXPECT_EQ(waveChunks(surround), fmtThenData);
    EXPECT_EQ(waveFormatTag(surround), 0xFFFE);
    EXPECT_EQ(probe(surround).streams.at(0).channels, 6);
}

TEST(FfmpegAdapter, AudioCallsTakeTheFirstAudioStream)
{
    // The second track has more channels, which ffmpeg alone would prefer.
    ScratchDir dir;
    const std::string source = mediaPath("avi_mpeg4_2audio.avi");
    const std::string pcm = dir.file("extractedaudio.wav");
    RunResult r = runTool("ffmpeg", {"-i", source, "-vn", "-acodec", "pcm_s16le", pcm});
    ASSERT_TRUE(exists(pcm)) << r.output;
    EXPECT_EQ(probe(pcm).streams.at(0).channels, 2);

    const std::string mp3 = dir.file("extractedaudio.mp3");
    r = runTool("ffmpeg", {"-i", source, "-vn", "-acodec", "copy", mp3});
    ASSERT_TRUE(exists(mp3)) << r.output;
    EXPECT_EQ(probe(mp3).streams.at(0).codec, "mp3");
}

TEST(FfmpegAdapter, AudioCallsWithAMapTakeTheNamedStream)
{
    ScratchDir dir;
    const std::string source = mediaPath("avi_mpeg4_2audio.avi");
    const std::string pcm = dir.file("extractedaudio.wav");
    RunResult r = runTool("ffmpeg", {"-i", source, "-vn", "-acodec", "pcm_s16le", "-map", "0:a:1", pcm});
    ASSERT_TRUE(exists(pcm)) << r.output;
    EXPECT_GT(probe(pcm).streams.at(0).channels, 2);

    const std::string copy = dir.file("extractedaudio.ac3");
    r = runTool("ffmpeg", {"-i", source, "-vn", "-acodec", "copy", "-map", "0:a:1", copy});
    ASSERT_TRUE(exists(copy)) << r.output;
    EXPECT_EQ(probe(copy).streams.at(0).codec, "ac3");
}

TEST(FfmpegAdapter, AmrPackedManyFramesToASampleIsDecodedWhole)
{
    ScratchDir dir;
    const std::string amr = dir.file("sound.amr");
    const std::string plain = dir.file("plain.3gp");
    const std::string packed = dir.file("packed.3gp");
    ASSERT_TRUE(packedamr::writeAmrFile(amr, 150)); // 3 s
    RunResult r = runProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=176x144:rate=2:duration=3", "-i", amr, "-map", "0:v", "-map", "1:a", "-c:v", "mpeg4", "-c:a",
        "copy", plain});
    ASSERT_TRUE(exists(plain)) << r.output;
    ASSERT_EQ(packedamr::packAmrSamples(plain, packed, 10), 10);

    // Scratch space is taken in TMPDIR and given back.
    const std::string tmp = dir.file("tmp");
    ASSERT_EQ(runProgram({"/bin/mkdir", tmp}).exitCode, 0);
    for (const std::vector<std::string> &call :
        {std::vector<std::string>{"-i", packed, "-vn", "-acodec", "pcm_s16le", dir.file("a.wav")},
            std::vector<std::string>{"-i", packed, "-y", dir.file("b.wav")}}) {
        r = runTool("ffmpeg", call, {}, {"TMPDIR=" + tmp});
        ASSERT_TRUE(exists(call.back())) << r.output;
        expectSamplesNear(decodedSamples(call.back()), 3 * 8000);
    }
    EXPECT_EQ(runProgram({"/bin/rmdir", tmp}).exitCode, 0) << "scratch space left in TMPDIR";
}

TEST(FfmpegAdapter, PcmExtractionWithChannelCount)
{
    ScratchDir dir;
    const std::string out = dir.file("extractedaudio.wav");
    const RunResult r
        = runTool("ffmpeg", {"-i", mediaPath("avi_h264_ac3.avi"), "-vn", "-acodec", "pcm_s16le", "-ac", "2", out});
    ASSERT_TRUE(exists(out)) << r.output;
    EXPECT_EQ(waveChunks(out), fmtThenData);
    EXPECT_EQ(waveFormatTag(out), 1);
    EXPECT_EQ(probe(out).streams.at(0).channels, 2);
    expectSamplesNear(decodedSamples(out), 2 * 48000);
}

TEST(FfmpegAdapter, ForcedExtractionFromSilentSourceLeavesNoFile)
{
    ScratchDir dir;
    const std::string out = dir.file("extractedaudio.wav");
    runTool("ffmpeg", {"-i", mediaPath("avi_noaudio.avi"), "-vn", "-acodec", "pcm_s16le", out});
    EXPECT_FALSE(exists(out));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(FfmpegAdapter, AudioCopyKeepsTheStreamUnchanged)
{
    ScratchDir dir;
    struct Case {
        std::string source, output, codec;
        bool withVn;
        bool samePackets; // else: same decoded samples (ADTS adds headers, WAV cuts packets its own way)
    };
    const std::vector<Case> cases{
        {"avi_mpeg4_mp3.avi", "extractedaudio.mp3", "mp3", true, true},
        {"avi_h264_ac3.avi", "extractedaudio.ac3", "ac3", true, true},
        {"avi_h264_pcm.avi", "extractedaudio.wav", "pcm_s16le", true, false},
        {"flv_h264_aac.flv", "extractedaudio.aac", "aac", false, false}, // the Flash Video form has no -vn
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        const std::string out = dir.file(c.output);
        std::vector<std::string> args{"-i", mediaPath(c.source)};
        if (c.withVn)
            args.push_back("-vn");
        args.insert(args.end(), {"-acodec", "copy", out});
        const RunResult r = runTool("ffmpeg", args);
        ASSERT_TRUE(exists(out)) << r.output;
        const FormatInfo info = probe(out);
        ASSERT_EQ(info.streams.size(), 1u);
        EXPECT_EQ(info.streams[0].codec, c.codec);
        if (c.samePackets) {
            const auto copied = packetHashes(out, "a:0");
            EXPECT_GT(copied.size(), 10u);
            EXPECT_EQ(copied, packetHashes(mediaPath(c.source), "a:0"));
        } else {
            const std::string copied = decodedAudioHash(out);
            EXPECT_FALSE(copied.empty());
            EXPECT_EQ(copied, decodedAudioHash(mediaPath(c.source)));
        }
        if (c.codec == "pcm_s16le") {
            EXPECT_EQ(waveChunks(out), fmtThenData);
        }
    }
}

TEST(FfmpegAdapter, AudioCopyToNameWithoutExtensionStillWritesTheStream)
{
    // An audio format without a known extension is named "extractedaudio." by the engine.
    ScratchDir dir;
    const std::string out = dir.file("extractedaudio.");
    const RunResult r = runTool("ffmpeg", {"-i", mediaPath("avi_mpeg4_mp3.avi"), "-vn", "-acodec", "copy", out});
    ASSERT_TRUE(exists(out)) << r.output;
    const FormatInfo info = probe(out);
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].codec, "mp3");
    EXPECT_EQ(packetHashes(out, "a:0"), packetHashes(mediaPath("avi_mpeg4_mp3.avi"), "a:0"));
}

TEST(FfmpegAdapter, ConversionToWaveOverwritesAndDownmixesOnRequest)
{
    ScratchDir dir;
    const std::string out = dir.file("temp.wav");
    writeFile(out, "an old file from an earlier step");
    RunResult r = runTool("ffmpeg", {"-i", mediaPath("audio_51.ac3"), "-y", out});
    ASSERT_TRUE(exists(out)) << r.output;
    EXPECT_EQ(waveChunks(out), fmtThenData);
    EXPECT_EQ(probe(out).streams.at(0).channels, 6);
    expectSamplesNear(decodedSamples(out), 2 * 48000);

    r = runTool("ffmpeg", {"-i", mediaPath("audio_51.ac3"), "-ac", "2", "-y", out});
    ASSERT_TRUE(exists(out)) << r.output;
    EXPECT_EQ(waveChunks(out), fmtThenData);
    EXPECT_EQ(waveFormatTag(out), 1);
    EXPECT_EQ(probe(out).streams.at(0).channels, 2);
}

TEST(FfmpegAdapter, VideoCopyFromFlashVideoToMp4)
{
    ScratchDir dir;
    const std::string out = dir.file("temp.mp4");
    const RunResult r = runTool("ffmpeg", {"-i", mediaPath("flv_h264_aac.flv"), "-vcodec", "copy", "-an", out});
    ASSERT_TRUE(exists(out)) << r.output;
    const FormatInfo info = probe(out);
    EXPECT_NE(info.format.find("mp4"), std::string::npos);
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].codec, "h264");
    EXPECT_EQ(info.streams[0].frames, 50);
    EXPECT_EQ(frameHashes(out, "v:0"), frameHashes(mediaPath("flv_h264_aac.flv"), "v:0"));
}

TEST(FfmpegAdapter, TransportStreamVideoCopyKeepsEveryPictureAndLeavesTheRestBehind)
{
    // The copy out of a transport stream whose clock starts 10 s in, with sound beside the
    // video: only the video arrives, timed from the stream's start.
    ScratchDir dir;
    const std::string ts = dir.file("capture.ts");
    ASSERT_EQ(runProgram({"/usr/bin/ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                  "testsrc2=size=320x240:rate=25:duration=2", "-f", "lavfi", "-i", "sine=duration=2", "-c:v",
                  "libx264", "-preset", "ultrafast", "-c:a", "ac3", "-output_ts_offset", "10", ts})
                  .exitCode,
        0);
    const std::string out = dir.file("temp.mp4");
    const RunResult r = runTool("ffmpeg", {"-i", ts, "-map", "0:v:0", "-vcodec", "copy", "-an", "-sn", "-dn", out});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const FormatInfo info = probe(out);
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].codec, "h264");
    EXPECT_EQ(info.streams[0].frames, 50);
    EXPECT_EQ(frameHashes(out, "v:0"), frameHashes(ts, "v:0"));
    const std::string start = runProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
        "stream=start_time", "-of", "csv=p=0", out}).output;
    EXPECT_LT(std::stod(start), 0.5) << start;
}

TEST(FfmpegAdapter, FailedRunLeavesNoOutputButNeverRemovesAnOldFileItKept)
{
    ScratchDir dir;
    // ADTS takes only AAC: ffmpeg creates the file, fails on the header and leaves 0 bytes.
    const std::string aac = dir.file("extractedaudio.aac");
    const RunResult r = runTool("ffmpeg", {"-i", mediaPath("flv_flv1_mp3.flv"), "-vn", "-acodec", "copy", aac});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(exists(aac));

    // Without -y ffmpeg refuses to overwrite; the file it did not write stays as it was.
    const std::string kept = dir.file("kept.wav");
    writeFile(kept, "keep me");
    runTool("ffmpeg", {"-i", mediaPath("avi_h264_pcm.avi"), "-vn", "-acodec", "pcm_s16le", kept});
    EXPECT_EQ(readFile(kept), "keep me");

    // With -y a failure must not leave the old file looking like a result.
    writeFile(kept, "stale");
    runTool("ffmpeg", {"-i", dir.file("missing.ac3"), "-y", kept});
    EXPECT_FALSE(exists(kept));
}

namespace {

// The two passes as the re-encoding step's script runs them: in the work folder, with the
// presets folder in FFMPEG_DATADIR, the output deleted before each pass.
void runTwoPass(const ScratchDir &dir, const std::string &preset, bool deinterlace,
    const std::string &source = "avi_noaudio.avi")
{
    const std::string out = dir.file("convh264.mp4");
    const std::vector<std::string> env{"FFMPEG_DATADIR=" + toolPath("presets")};
    for (int pass = 1; pass <= 2; ++pass) {
        std::remove(out.c_str());
        std::vector<std::string> args{"-i", mediaPath(source)};
        if (deinterlace)
            args.push_back("-deinterlace");
        args.insert(args.end(), {"-s", "320x240", "-an", "-pass", std::to_string(pass), "-vcodec", "libx264", "-vpre",
                                    preset + (pass == 1 ? "_firstpass" : ""), "-b", "400k", "-r", "25", out});
        const RunResult r = runTool("ffmpeg", args, dir.path(), env);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
}

} // namespace

TEST(FfmpegAdapter, TwoPassEncodeLeavesOnlyTheRegisteredFiles)
{
    const std::set<std::string> registered{"convh264.mp4", "ffmpeg2pass-0.log", "x264_2pass.log",
        "x264_2pass.log.mbtree", "x264_2pass.log.temp", "x264_2pass.log.mbtree.temp"};
    for (const bool deinterlace : {true, false}) {
        SCOPED_TRACE(deinterlace ? "with -deinterlace" : "without -deinterlace");
        ScratchDir dir;
        runTwoPass(dir, deinterlace ? "slow" : "veryfast", deinterlace);
        const FormatInfo info = probe(dir.file("convh264.mp4"));
        ASSERT_EQ(info.streams.size(), 1u);
        EXPECT_EQ(info.streams[0].codec, "h264");
        EXPECT_EQ(info.streams[0].width, 320);
        EXPECT_EQ(info.streams[0].height, 240);
        EXPECT_EQ(info.streams[0].frames, 50);
        const auto left = dir.entries();
        for (const auto &name : left)
            EXPECT_TRUE(registered.count(name)) << "unregistered file left behind: " << name;
        // Pass 2 found the statistics of pass 1 under the name the engine cleans up.
        EXPECT_TRUE(std::find(left.begin(), left.end(), "x264_2pass.log") != left.end());
    }
}

TEST(FfmpegAdapter, TwoPassEncodeOfA444SourceGivesMainProfile420)
{
    // The Theora test medium is 4:4:4; Main profile (what the presets ask for) holds 4:2:0 only.
    ScratchDir dir;
    runTwoPass(dir, "slow", false, "ogg_theora_vorbis.ogg");
    const FormatInfo info = probe(dir.file("convh264.mp4"));
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].codec, "h264");
    EXPECT_EQ(info.streams[0].profile, "Main");
    EXPECT_EQ(info.streams[0].width, 320);
}

TEST(FfmpegAdapter, EveryProfilePresetReachesTheEncoder)
{
    // x264 records its settings in the stream; subme differs between the speed presets.
    const std::vector<std::pair<std::string, std::string>> presets{{"slow", "subme=8"}, {"fast", "subme=6"},
        {"veryfast", "subme=2"}, {"superfast", "subme=1"}, {"ultrafast", "subme=0"}};
    ScratchDir dir;
    std::vector<std::string> args{"-i", mediaPath("avi_noaudio.avi")};
    struct Expected
    {
        std::string out, setting, profile;
    };
    std::vector<Expected> expected;
    for (const auto &[name, setting] : presets) {
        // The "_high" variants (today's devices) let x264 write High profile; the others stop at
        // Main. Ultra Fast uses no High or Main tool at all.
        for (const std::string suffix : {"", "_firstpass", "_high", "_high_firstpass"}) {
            const std::string out = dir.file(name + suffix + ".mp4");
            args.insert(args.end(), {"-an", "-frames:v", "2", "-vcodec", "libx264", "-vpre", name + suffix, out});
            const std::string profile = name == "ultrafast" ? "Constrained Baseline"
                : suffix.rfind("_high", 0) == 0              ? "High"
                                                             : "Main";
            expected.push_back({out, setting, profile});
        }
    }
    const RunResult r = runTool("ffmpeg", args, dir.path(), {"FFMPEG_DATADIR=" + toolPath("presets")});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    for (const Expected &e : expected) {
        SCOPED_TRACE(e.out);
        EXPECT_NE(readFile(e.out).find(" " + e.setting + " "), std::string::npos);
        const FormatInfo info = probe(e.out);
        ASSERT_EQ(info.streams.size(), 1u);
        EXPECT_EQ(info.streams[0].profile, e.profile);
    }
}

TEST(FfmpegAdapter, PresetsAreFoundBesideTheAdapterWithoutDataDir)
{
    ScratchDir dir;
    const std::string out = dir.file("out.mp4");
    const RunResult r = runTool(
        "ffmpeg", {"-i", mediaPath("avi_noaudio.avi"), "-an", "-frames:v", "2", "-vcodec", "libx264", "-vpre", "fast", out},
        dir.path(), {"FFMPEG_DATADIR="});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(readFile(out).find(" subme=6 "), std::string::npos);
}
