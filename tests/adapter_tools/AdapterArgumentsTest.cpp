// The pure parts of the adapters: argument rewriting, track specs, JSON and WAV headers.
#include "AdapterTestSupport.h"
#include "common/JsonValue.h"
#include "common/WaveFile.h"
#include "ffmpeg/FfmpegArguments.h"
#include "mkvextract/MkvTracks.h"
#include "neroAacEnc/NeroArguments.h"

#include <gtest/gtest.h>

using adapt::JsonValue;
using Args = std::vector<std::string>;

TEST(FfmpegArguments, DesignedCallsPassUnchangedButForOutputOptions)
{
    auto a = adaptFfmpegArguments({"-i", "/w/a.avi", "-vn", "-acodec", "copy", "/w/extractedaudio.mp3"});
    EXPECT_EQ(a.args, (Args{"-i", "/w/a.avi", "-vn", "-acodec", "copy", "-map", "0:a:0", "/w/extractedaudio.mp3"}));
    EXPECT_EQ(a.output, "/w/extractedaudio.mp3");

    a = adaptFfmpegArguments({"-i", "/w/a.ac3", "-ac", "2", "-y", "/w/TEMP.WAV"});
    EXPECT_EQ(a.args,
        (Args{"-i", "/w/a.ac3", "-ac", "2", "-y", "-map", "0:a:0", "-fflags", "+bitexact", "/w/TEMP.WAV"}));

    a = adaptFfmpegArguments({"-i", "/w/a.avi", "-vn", "-acodec", "copy", "/w/extractedaudio."});
    EXPECT_EQ(a.args,
        (Args{"-i", "/w/a.avi", "-vn", "-acodec", "copy", "-map", "0:a:0", "-f", "matroska", "/w/extractedaudio."}));

    // The engine names the track when the source has several.
    a = adaptFfmpegArguments({"-i", "/w/a.avi", "-vn", "-acodec", "copy", "-map", "0:a:1", "/w/extractedaudio.ac3"});
    EXPECT_EQ(a.args, (Args{"-i", "/w/a.avi", "-vn", "-acodec", "copy", "-map", "0:a:1", "/w/extractedaudio.ac3"}));

    // Video outputs and calls that choose their own streams keep ffmpeg's choice.
    a = adaptFfmpegArguments({"-i", "/w/a.flv", "-vcodec", "copy", "-an", "/w/temp.mp4"});
    EXPECT_EQ(a.args, (Args{"-i", "/w/a.flv", "-vcodec", "copy", "-an", "/w/temp.mp4"}));
    a = adaptFfmpegArguments({"-i", "/w/a.avi", "-map", "0:2", "-vn", "/w/x.wav"});
    EXPECT_EQ(a.args, (Args{"-i", "/w/a.avi", "-map", "0:2", "-vn", "-fflags", "+bitexact", "/w/x.wav"}));

    // A format named for the output wins; one named for the input does not count.
    a = adaptFfmpegArguments({"-i", "x", "-f", "adts", "/w/noext"});
    EXPECT_EQ(a.args, (Args{"-i", "x", "-f", "adts", "/w/noext"}));
    a = adaptFfmpegArguments({"-f", "ac3", "-i", "x", "/w/noext"});
    EXPECT_EQ(a.args, (Args{"-f", "ac3", "-i", "x", "-f", "matroska", "/w/noext"}));

    // No output file: nothing to add, nothing to clean up.
    a = adaptFfmpegArguments({"-version"});
    EXPECT_EQ(a.args, (Args{"-version"}));
    EXPECT_TRUE(a.output.empty());
    a = adaptFfmpegArguments({"-i", "x.avi"});
    EXPECT_TRUE(a.output.empty());
}

TEST(FfmpegArguments, AudioDecodesNameTheirInputAndStream)
{
    // Decoding calls: the input and the stream are known, so an AMR stream can be taken apart first.
    auto a = adaptFfmpegArguments({"-i", "/m/p.3gp", "-vn", "-acodec", "pcm_s16le", "-map", "0:a:2", "/w/e.wav"});
    ASSERT_TRUE(a.decodesAudio);
    EXPECT_EQ(a.args[a.inputArg], "/m/p.3gp");
    EXPECT_EQ(a.args[a.mapArg], "0:a:2");
    EXPECT_EQ(a.audioStream, 2);
    a = adaptFfmpegArguments({"-i", "/w/extractedaudio.", "-y", "/w/temp.wav"});
    ASSERT_TRUE(a.decodesAudio);
    EXPECT_EQ(a.args[a.inputArg], "/w/extractedaudio.");
    EXPECT_EQ(a.args[a.mapArg], "0:a:0");
    EXPECT_EQ(a.audioStream, 0);
    // Stream copies, video outputs and streams picked otherwise are left alone.
    EXPECT_FALSE(adaptFfmpegArguments({"-i", "/m/a.avi", "-vn", "-acodec", "copy", "/w/e.mp3"}).decodesAudio);
    EXPECT_FALSE(adaptFfmpegArguments({"-i", "/m/a.flv", "-vcodec", "copy", "-an", "/w/temp.mp4"}).decodesAudio);
    EXPECT_FALSE(adaptFfmpegArguments({"-i", "/m/a.avi", "-map", "0:2", "-vn", "/w/x.wav"}).decodesAudio);
}

TEST(FfmpegArguments, TwoPassLineGetsYadifAndTheRegisteredStatsName)
{
    const Args in{"-i", "/s.avi", "-deinterlace", "-s", "640x480", "-an", "-pass", "1", "-vcodec", "libx264", "-vpre",
        "slow_firstpass", "-b", "2400k", "-r", "29.970", "/w/convh264.mp4"};
    const auto a = adaptFfmpegArguments(in);
    EXPECT_EQ(a.args,
        (Args{"-i", "/s.avi", "-s", "640x480", "-an", "-pass", "1", "-vcodec", "libx264", "-vpre", "slow_firstpass",
            "-b", "2400k", "-r", "29.970", "-vf", "yadif", "-x264-params", "stats=x264_2pass.log", "-pix_fmt",
            "yuv420p", "/w/convh264.mp4"}));
    EXPECT_TRUE(a.usesPresets);

    // Existing filters and x264 parameters are extended, not replaced.
    const auto b = adaptFfmpegArguments({"-i", "s", "-deinterlace", "-vf", "scale=2:2", "-pass", "2", "-c:v", "libx264",
        "-x264-params", "ref=1", "o.mp4"});
    EXPECT_EQ(b.args,
        (Args{"-i", "s", "-vf", "yadif,scale=2:2", "-pass", "2", "-c:v", "libx264", "-x264-params",
            "ref=1:stats=x264_2pass.log", "-pix_fmt", "yuv420p", "o.mp4"}));

    // A pixel format asked for is kept.
    const auto d = adaptFfmpegArguments({"-i", "s", "-c:v", "libx264", "-pix_fmt", "yuv422p", "o.mp4"});
    EXPECT_EQ(d.args, (Args{"-i", "s", "-c:v", "libx264", "-pix_fmt", "yuv422p", "o.mp4"}));

    // Only libx264 passes write x264's statistics.
    const auto c = adaptFfmpegArguments({"-i", "s", "-pass", "1", "-vcodec", "mpeg4", "o.mp4"});
    EXPECT_EQ(c.args, (Args{"-i", "s", "-pass", "1", "-vcodec", "mpeg4", "o.mp4"}));
    EXPECT_FALSE(c.usesPresets);
}

TEST(NeroArguments, DesignedLineAndRefusals)
{
    auto n = parseNeroArguments({"-lc", "-br", "136000", "-if", "/w/temp wav.wav", "-of", "/w/temp.aac"});
    EXPECT_TRUE(n.error.empty()) << n.error;
    EXPECT_EQ(n.bitRate, 136000);
    EXPECT_EQ(n.input, "/w/temp wav.wav");
    EXPECT_EQ(n.output, "/w/temp.aac");

    EXPECT_FALSE(parseNeroArguments({"-he", "-br", "64000", "-if", "a", "-of", "b"}).error.empty());
    EXPECT_FALSE(parseNeroArguments({"-lc", "-br", "136k", "-if", "a", "-of", "b"}).error.empty());
    EXPECT_FALSE(parseNeroArguments({"-lc", "-br", "136000", "-if", "a"}).error.empty());
    EXPECT_FALSE(parseNeroArguments({"-lc", "-br"}).error.empty());
    EXPECT_FALSE(parseNeroArguments({"-lc", "-bogus", "-if", "a", "-of", "b"}).error.empty());
}

TEST(MkvTracks, ReadsNumbersAndSpotsRefusedCodecs)
{
    const std::string json = R"({"container":{"recognized":true,"supported":true},
      "tracks":[
        {"codec":"MPEG-4p2","id":0,"type":"video","properties":{"codec_id":"V_MPEG4/ISO/ASP","number":1}},
        {"codec":"AAC","id":1,"type":"audio","properties":{"codec_id":"A_AAC","number":7}},
        {"codec":"SubRip","id":2,"type":"subtitles","properties":{"codec_id":"S_TEXT/UTF8","number":3,
          "track_name":"caf\u00e9 \"x\""}}]})";
    std::vector<MkvTrack> tracks;
    ASSERT_TRUE(readMkvTracks(json, &tracks));
    ASSERT_EQ(tracks.size(), 3u);
    ASSERT_NE(trackByNumber(tracks, 7), nullptr);
    EXPECT_EQ(trackByNumber(tracks, 7)->id, 1);
    EXPECT_EQ(trackByNumber(tracks, 2), nullptr);
    EXPECT_TRUE(mkvextractRefuses(tracks[0]));
    EXPECT_FALSE(mkvextractRefuses(tracks[1]));
    EXPECT_FALSE(mkvextractRefuses(MkvTrack{0, 1, "video", "V_MPEG4/ISO/AVC"}));
    EXPECT_FALSE(mkvextractRefuses(MkvTrack{0, 1, "video", "V_MS/VFW/FOURCC"}));

    EXPECT_FALSE(readMkvTracks(R"({"container":{"recognized":false},"tracks":[]})", &tracks));
    EXPECT_FALSE(readMkvTracks("Error: not a file", &tracks));

    long long number = 0;
    std::string file;
    ASSERT_TRUE(parseTrackSpec("12:/w/a:b.srt", &number, &file));
    EXPECT_EQ(number, 12);
    EXPECT_EQ(file, "/w/a:b.srt");
    EXPECT_FALSE(parseTrackSpec("--raw", &number, &file));
    EXPECT_FALSE(parseTrackSpec("1:", &number, &file));
    EXPECT_FALSE(parseTrackSpec("x1:a", &number, &file));
}

TEST(JsonValue, ParsesValuesAndRejectsBrokenText)
{
    JsonValue v;
    ASSERT_TRUE(JsonValue::parse(R"( {"a":[1,-2.5e1,true,null,"\u00e9\ud83d\ude00\n"],"b":{}} )", &v));
    const auto &a = v["a"].items();
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(a[0].toNumber(), 1);
    EXPECT_EQ(a[1].toNumber(), -25);
    EXPECT_TRUE(a[2].toBool());
    EXPECT_TRUE(a[3].isNull());
    EXPECT_EQ(a[4].toString(), "\xC3\xA9\xF0\x9F\x98\x80\n");
    EXPECT_EQ(v["b"].type(), JsonValue::Type::Object);
    EXPECT_TRUE(v["missing"]["deeper"].isNull());

    for (const char *bad : {"", "{", "[1,]", "{\"a\"}", "\"\\ud800\"", "01x", "[1] 2", "\"a\nb\"", "-"})
        EXPECT_FALSE(JsonValue::parse(bad, &v)) << bad;
    EXPECT_FALSE(JsonValue::parse(std::string(100000, '['), &v));
}

namespace {

std::string le32(unsigned v)
{
    return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
}

std::string chunk(const std::string &id, const std::string &payload)
{
    return id + le32(static_cast<unsigned>(payload.size())) + payload + (payload.size() % 2 ? std::string(1, '\0') : "");
}

} // namespace

TEST(WaveFile, CanonicalFormDropsChunksBeforeData)
{
    adaptertest::ScratchDir dir;
    const std::string fmt = std::string("\x01\x00\x02\x00", 4) + le32(48000) + le32(192000) + std::string("\x04\x00\x10\x00", 4);
    const std::string samples = "0123456789abcdef";
    const std::string body = "WAVE" + chunk("JUNK", std::string(28, '\0')) + chunk("fmt ", fmt)
        + chunk("LIST", "INFOISFT") + chunk("data", samples);
    const std::string path = dir.file("pcm.wav");
    adaptertest::writeFile(path, "RIFF" + le32(static_cast<unsigned>(body.size())) + body);

    ASSERT_TRUE(adapt::makeWaveCanonical(path));
    const std::string expected
        = "RIFF" + le32(4 + 24 + 8 + 16) + "WAVE" + chunk("fmt ", fmt) + chunk("data", samples);
    EXPECT_EQ(adaptertest::readFile(path), expected);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"pcm.wav"});

    // A data size of 0 (a stream that was never finished) takes the samples to the end.
    const std::string unfinished = "WAVE" + chunk("LIST", "ab") + chunk("fmt ", fmt) + "data" + le32(0) + samples;
    adaptertest::writeFile(path, "RIFF" + le32(0) + unfinished);
    ASSERT_TRUE(adapt::makeWaveCanonical(path));
    EXPECT_EQ(adaptertest::readFile(path), expected);

    // Files that are no WAV, or have no data chunk, are left alone.
    adaptertest::writeFile(path, "RIFF" + le32(4) + "AVI ");
    EXPECT_FALSE(adapt::makeWaveCanonical(path));
    EXPECT_EQ(adaptertest::readFile(path), "RIFF" + le32(4) + "AVI ");
    adaptertest::writeFile(path, "RIFF" + le32(30) + "WAVE" + chunk("fmt ", fmt));
    EXPECT_FALSE(adapt::makeWaveCanonical(path));
}
