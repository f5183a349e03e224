// mkvextract and OGMDemuxer as the audio, video and subtitle stages call them.
#include "AdapterTestSupport.h"

#include <gtest/gtest.h>

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
