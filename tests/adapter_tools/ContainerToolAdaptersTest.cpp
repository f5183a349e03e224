// mkvextract and OGMDemuxer as the audio, video and subtitle stages call them.
#include "AdapterTestSupport.h"
#include "mkvextract/MkvTracks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

using namespace adaptertest;

TEST(MkvextractAdapter, H264AndTextTracksByTrackNumber)
{
    // The video stage's call: the video and the SRT/ASS tracks, numbered as MediaInfo numbers them.
    ScratchDir dir;
    const std::string source = mediaPath("mkv_h264_multi.mkv");
    const std::string video = dir.file("temp.h264");
    const std::string srt = dir.file("sub_005.srt");
    const std::string ass = dir.file("sub_006.srt");
    const RunResult r = runTool("mkvextract", {"tracks", source, "1:" + video, "5:" + srt, "6:" + ass});
    ASSERT_EQ(r.exitCode, 0) << r.output;

    const std::string raw = readFile(video);
    ASSERT_GE(raw.size(), 4u);
    EXPECT_EQ(raw.substr(0, 4), std::string("\0\0\0\1", 4)); // Annex-B start code
    EXPECT_EQ(probe(video).streams.at(0).codec, "h264");
    EXPECT_EQ(frameHashes(video, "v:0"), frameHashes(source, "v:0")); // all 50 frames, in order

    const std::string srtText = readFile(srt);
    EXPECT_NE(srtText.find("Hello <i>world</i>"), std::string::npos) << srtText;
    EXPECT_NE(srtText.find("Second line"), std::string::npos);
    const std::string assText = readFile(ass); // ASS stays ASS under the ".srt" name
    EXPECT_NE(assText.find("[Events]"), std::string::npos) << assText;
    EXPECT_NE(assText.find("{\\b1}Bold{\\b0} text"), std::string::npos);
    EXPECT_EQ(dir.entries().size(), 3u);
}

TEST(MkvextractAdapter, AudioTrackNumbersPickTheNamedTrack)
{
    ScratchDir dir;
    const std::string source = mediaPath("mkv_h264_multi.mkv");
    struct Case {
        int number;
        std::string file, codec;
        int channels;
    };
    // Track 2 is AC-3 5.1, 3 AAC stereo, 4 PCM stereo: a 0-based reading would pick its neighbour.
    for (const Case &c : {Case{2, "extractedaudio.ac3", "ac3", 6}, Case{3, "extractedaudio.aac", "aac", 2},
             Case{4, "extractedaudio.wav", "pcm_s16le", 2}}) {
        SCOPED_TRACE(c.number);
        const std::string out = dir.file(c.file);
        const RunResult r = runTool("mkvextract", {"tracks", source, std::to_string(c.number) + ":" + out});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        const FormatInfo info = probe(out);
        ASSERT_EQ(info.streams.size(), 1u);
        EXPECT_EQ(info.streams[0].codec, c.codec);
        EXPECT_EQ(info.streams[0].channels, c.channels);
        EXPECT_EQ(frameHashes(out, "a:0"), frameHashes(source, "a:" + std::to_string(c.number - 2)));
        EXPECT_GT(decodedSamples(out), 90000);
    }
    // The PCM track comes out as a WAV the audio stage takes as it is.
    EXPECT_EQ(waveChunks(dir.file("extractedaudio.wav")), (std::vector<std::string>{"fmt ", "data"}));
    EXPECT_EQ(waveFormatTag(dir.file("extractedaudio.wav")), 1);
    EXPECT_EQ(readFile(dir.file("extractedaudio.aac")).substr(0, 1), "\xFF"); // ADTS sync word
}

TEST(MkvextractAdapter, Mpeg4PartTwoVideoBecomesAviAlongsideTheOtherTracks)
{
    ScratchDir dir;
    const std::string source = mediaPath("mkv_mpeg4_aac.mkv");
    const std::string avi = dir.file("temp.avi");
    const std::string srt = dir.file("sub_003.srt");
    const RunResult r = runTool("mkvextract", {"tracks", source, "1:" + avi, "3:" + srt});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const FormatInfo info = probe(avi);
    EXPECT_EQ(info.format, "avi");
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].codec, "mpeg4");
    EXPECT_EQ(info.streams[0].frames, 50);
    EXPECT_EQ(frameHashes(avi, "v:0"), frameHashes(source, "v:0"));
    EXPECT_NE(readFile(srt).find("Second line"), std::string::npos);
    // No intermediate file is left beside the outputs.
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"sub_003.srt", "temp.avi"}));
}

TEST(MkvextractAdapter, MissingTrackNumberOrNonMatroskaSourceWritesOnlyWhatExists)
{
    ScratchDir dir;
    RunResult r = runTool("mkvextract",
        {"tracks", mediaPath("mkv_h264_multi.mkv"), "9:" + dir.file("sub_009.srt"), "5:" + dir.file("sub_005.srt")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"sub_005.srt"});

    r = runTool("mkvextract", {"tracks", mediaPath("avi_h264_pcm.avi"), "1:" + dir.file("temp.h264")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(exists(dir.file("temp.h264")));

    // The re-encoding stage's call with no subtitle spec extracts nothing and creates nothing.
    r = runTool("mkvextract", {"tracks", mediaPath("mkv_h264_multi.mkv")});
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"sub_005.srt"});
}

TEST(OgmDemuxerAdapter, VideoStreamsBecomeAviWithFramesInOrder)
{
    ScratchDir dir;
    for (const auto &[source, codec] : {std::pair<std::string, std::string>{"ogm_h264_mp3.ogm", "h264"},
             std::pair<std::string, std::string>{"ogm_mpeg4_vorbis.ogm", "mpeg4"}}) {
        SCOPED_TRACE(source);
        const std::string avi = dir.file("SOURCE~1.avi");
        const RunResult r = runTool("OGMDemuxer", {"tracks", mediaPath(source), "-p", "0:" + avi});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        const FormatInfo info = probe(avi);
        EXPECT_EQ(info.format, "avi");
        ASSERT_EQ(info.streams.size(), 1u);
        EXPECT_EQ(info.streams[0].codec, codec);
        EXPECT_EQ(info.streams[0].frames, 50);
        EXPECT_EQ(frameHashes(avi, "v:0"), frameHashes(mediaPath(source), "v:0"));
    }
}

TEST(OgmDemuxerAdapter, AudioStreamsAreCopiedByIndex)
{
    ScratchDir dir;
    const std::string mp3 = dir.file("extractedaudio.mp3");
    RunResult r = runTool("OGMDemuxer", {"tracks", mediaPath("ogm_h264_mp3.ogm"), "-p", "1:" + mp3});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(probe(mp3).streams.at(0).codec, "mp3");
    // The source's first packet is the encoder's "Info" frame, which an MP3 reader takes as the
    // file header, not as audio; every audio packet after it must come out unchanged.
    auto sourcePackets = packetHashes(mediaPath("ogm_h264_mp3.ogm"), "a:0");
    ASSERT_GT(sourcePackets.size(), 10u);
    sourcePackets.erase(sourcePackets.begin());
    EXPECT_EQ(packetHashes(mp3, "a:0"), sourcePackets);

    const std::string ogg = dir.file("extractedaudio.ogg");
    r = runTool("OGMDemuxer", {"tracks", mediaPath("ogm_mpeg4_vorbis.ogm"), "-p", "1:" + ogg});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const FormatInfo info = probe(ogg);
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].codec, "vorbis");
    EXPECT_NEAR(static_cast<double>(decodedSamples(ogg)), 2 * 44100.0, 44100 * 0.05);
}

TEST(OgmDemuxerAdapter, UnknownStreamIndexWritesNothing)
{
    ScratchDir dir;
    const RunResult r
        = runTool("OGMDemuxer", {"tracks", mediaPath("ogm_h264_mp3.ogm"), "-p", "7:" + dir.file("SOURCE~1.avi")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(dir.entries().empty());
}

namespace {

std::string ebml(std::uint32_t id, const std::string &body, bool unknownSize = false)
{
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (id >> shift || !out.empty() || shift == 0)
            out += static_cast<char>(id >> shift & 0xFF);
    }
    if (unknownSize)
        return out + '\x01' + std::string(7, '\xFF');
    out += '\x01'; // eight-byte size
    for (int shift = 48; shift >= 0; shift -= 8)
        out += static_cast<char>(body.size() >> shift & 0xFF);
    return out + body;
}

std::string ebmlUint(std::uint32_t id, unsigned value) { return ebml(id, std::string(1, static_cast<char>(value))); }

std::vector<MkvTrack> mkvmergeTracks(const std::string &path)
{
    std::vector<MkvTrack> tracks;
    EXPECT_TRUE(readMkvTracks(runProgram({"/usr/bin/mkvmerge", "-J", path}, {}, {}, true).output, &tracks));
    return tracks;
}

bool sameTracks(const std::vector<MkvTrack> &a, const std::vector<MkvTrack> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const MkvTrack &x, const MkvTrack &y) {
        return x.id == y.id && x.number == y.number && x.type == y.type && x.codecId == y.codecId;
    });
}

} // namespace

TEST(MkvTrackList, ReadInProcessAsMkvmergeReportsItOrLeftToMkvmerge)
{
    ScratchDir dir;
    // ffmpeg's files, the same remuxed by mkvmerge (other element order, Cues and Tags), a WebM.
    const std::string remuxed = dir.file("remuxed.mkv");
    ASSERT_LT(runProgram({"/usr/bin/mkvmerge", "-q", "-o", remuxed, mediaPath("mkv_h264_multi.mkv")}).exitCode, 2);
    const std::string webm = dir.file("clip.webm");
    ASSERT_EQ(runProgram({"/usr/bin/ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=duration=0.2", "-c:a",
                  "libopus", webm})
                  .exitCode,
        0);
    for (const std::string &file : {mediaPath("mkv_h264_multi.mkv"), mediaPath("mkv_mpeg4_aac.mkv"), remuxed, webm}) {
        std::vector<MkvTrack> tracks;
        ASSERT_TRUE(readMkvTrackList(file, &tracks)) << file;
        EXPECT_TRUE(sameTracks(tracks, mkvmergeTracks(file))) << file;
    }

    // Tracks after the first cluster, found through the SeekHead.
    const std::string header = ebml(0x1A45DFA3, ebml(0x4282, "matroska"));
    const std::string entry = ebml(0xAE, ebmlUint(0xD7, 4) + ebmlUint(0x83, 0x11) + ebml(0x86, "S_TEXT/UTF8"));
    const std::string cluster = ebml(0x1F43B675, ebmlUint(0xE7, 0));
    std::string seekHead = ebml(0x114D9B74, ebml(0x4DBB, ebml(0x53AB, "\x16\x54\xAE\x6B") + ebml(0x53AC, std::string(8, '\0'))));
    const std::string late = seekHead.substr(0, seekHead.size() - 1) + static_cast<char>(seekHead.size() + cluster.size());
    writeFile(dir.file("late.mkv"), header + ebml(0x18538067, "", true) + late + cluster + ebml(0x1654AE6B, entry));
    std::vector<MkvTrack> tracks;
    ASSERT_TRUE(readMkvTrackList(dir.file("late.mkv"), &tracks));
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_TRUE(sameTracks(tracks, {MkvTrack{0, 4, "subtitles", "S_TEXT/UTF8"}}));

    // Not Matroska, or a track kind mkvmerge names otherwise: the caller asks mkvmerge.
    EXPECT_FALSE(readMkvTrackList(mediaPath("avi_h264_pcm.avi"), &tracks));
    const std::string buttons = ebml(0xAE, ebmlUint(0xD7, 1) + ebmlUint(0x83, 0x12) + ebml(0x86, "B_VOBBTN"));
    writeFile(dir.file("buttons.mkv"), header + ebml(0x18538067, ebml(0x1654AE6B, buttons)));
    EXPECT_FALSE(readMkvTrackList(dir.file("buttons.mkv"), &tracks));
    EXPECT_FALSE(readMkvTrackList(dir.file("missing.mkv"), &tracks));
}
