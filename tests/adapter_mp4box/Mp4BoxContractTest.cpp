// Every MP4Box call the engine makes, run through the installed adapters, judged by
// the files they leave behind.
#include "Mp4File.h"
#include "TestTools.h"
#include "TimedText.h"
#include "Tx3g.h"
#include "common/Process.h"
#include "subtitles/TimedTextRewriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <set>
#include <thread>
#include <unistd.h>

extern char **environ;

using namespace mp4boxtest;
using mp4box::fourcc;
using mp4box::Mp4File;
using mp4box::Mp4Track;

namespace {

// A timed-text file in the form the engine's rewriter leaves it (CR LF after the
// header and each sample, CR LF line breaks, font size 36, colours as style records).
const char *kRestyledTtxt
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TextStream version=\"1.1\">\n"
      "<TextStreamHeader width=\"400\" height=\"60\" layer=\"0\" translation_x=\"0\" translation_y=\"0\">\n"
      "<TextSampleDescription horizontalJustification=\"center\" verticalJustification=\"bottom\" "
      "backColor=\"00 00 00 00\" verticalText=\"no\" fillTextRegion=\"no\" continuousKaraoke=\"no\" "
      "scroll=\"None\">\n"
      "<FontTable>\n<FontTableEntry fontName=\"Serif\" fontID=\"1\"/>\n</FontTable>\n"
      "<TextBox top=\"0\" left=\"0\" bottom=\"60\" right=\"400\"/>\n"
      "<Style styles=\"Normal\" fontID=\"1\" fontSize=\"36\" color=\"ff ff ff ff\"/>\n"
      "</TextSampleDescription>\n</TextStreamHeader>\r\n"
      "<TextSample sampleTime=\"00:00:00.000\" xml:space=\"preserve\"></TextSample>\r\n"
      "<TextSample sampleTime=\"00:00:00.500\" xml:space=\"preserve\">Bold &amp; &#54620;&#44544;\r\nred "
      "under"
      "<Style fromChar=\"0\" toChar=\"4\" styles=\"Bold\" fontID=\"1\" fontSize=\"36\" color=\"ff ff ff "
      "ff\"/>"
      "<Style fromChar=\"10\" toChar=\"13\" styles=\"Italic\" fontID=\"1\" fontSize=\"36\" color=\"ff 00 00 "
      "ff\"/>"
      "<Style fromChar=\"14\" toChar=\"19\" styles=\"Underlined\" fontID=\"1\" fontSize=\"36\" color=\"00 ff "
      "00 ff\"/>"
      "</TextSample>\r\n"
      "<TextSample sampleTime=\"00:00:01.500\" xml:space=\"preserve\"></TextSample>\r\n</TextStream>\r\n";

class Mp4BoxContract : public ::testing::Test {
protected:
    TempDir dir;

    RunResult mp4box(const std::vector<std::string> &args, bool nightly = false)
    {
        std::vector<std::string> argv { adapterPath(nightly) };
        argv.insert(argv.end(), args.begin(), args.end());
        return runTool(argv);
    }

    // Nothing but the expected files: no temporary folder left beside them.
    void expectNoLeftovers(const std::string &folder)
    {
        for (const auto &name : listDir(folder))
            EXPECT_EQ(name.find(".mp4box-"), std::string::npos) << name;
    }

    static std::vector<mp4box::TimedTextStyle> stylesOfSample(const Mp4File &f, const Mp4Track &t, size_t i)
    {
        std::vector<uint8_t> data;
        mp4box::TimedTextSample s;
        mp4box::TimedTextHeader h;
        EXPECT_TRUE(mp4box::parseTx3gSampleEntry(t.sampleEntry, &h));
        EXPECT_TRUE(f.readSample(t.samples.at(i), &data));
        EXPECT_TRUE(mp4box::parseTx3gSample(data, h.defaultStyle, &s));
        return s.styles;
    }
};

TEST_F(Mp4BoxContract, RawWritesTheTrackWithThatIdAsABareStream)
{
    const std::string src = testMedia("source.mp4");
    const std::string aac = dir / "extractedaudio.aac";
    RunResult r = mp4box({ "-raw", "2", src, "-out", aac });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Probe(aac).format("format_name"), "aac"); // ADTS, no container
    EXPECT_EQ(packetCount(aac, "a:0"), packetCount(src, "a:0"));

    const std::string h264 = dir / "video.h264";
    r = mp4box({ "-raw", "1", src, "-out", h264 });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Probe(h264).format("format_name"), "h264");
    const auto expected = frameHashes(src);
    EXPECT_EQ(expected.size(), 48u);
    EXPECT_EQ(frameHashes(h264), expected);
    EXPECT_NE(r.output.find("Writing"), std::string::npos);

    r = mp4box({ "-raw", "9", src, "-out", dir / "none.aac" });
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(fileExists(dir / "none.aac"));
    expectNoLeftovers(dir.path());
}

TEST_F(Mp4BoxContract, AviRawWritesAnnexBH264InOrderUnderTheFixedName)
{
    const std::string avi = testMedia("h264.avi");
    const RunResult r = mp4box({ "-aviraw", "video", avi, "-out", dir / "temp" });
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string out = dir / "temp_video.h264";
    ASSERT_TRUE(fileExists(out));
    EXPECT_EQ(readFile(out).substr(0, 4), std::string("\0\0\0\1", 4)); // Annex B start code
    const auto expected = frameHashes(avi);
    EXPECT_EQ(expected.size(), 48u);
    EXPECT_EQ(frameHashes(out), expected);

    EXPECT_NE(mp4box({ "-aviraw", "video", dir / "missing.avi", "-out", dir / "x" }).status, 0);
    EXPECT_FALSE(fileExists(dir / "x_video.h264"));
}

TEST_F(Mp4BoxContract, RawHevcFromMkvextractGetsTheHvc1EntryWithItsParameterSets)
{
    // The copy path of HEVC in Matroska: mkvextract writes the track as a raw stream, the mux
    // imports it as the engine names it.
    const std::string mkv = dir / "hevc.mkv";
    ASSERT_EQ(runTool({ "/usr/bin/ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                  "testsrc2=size=320x240:rate=25:duration=1", "-c:v", "libx265", "-preset", "ultrafast",
                  "-pix_fmt", "yuv420p10le", "-x265-params", "log-level=error", mkv })
                  .status,
        0);
    const std::string tools = adapterPath().substr(0, adapterPath().rfind('/'));
    const std::string raw = dir / "temp.h265";
    RunResult r = runTool({ tools + "/mkvextract", "tracks", mkv, "1:" + raw });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Probe(raw).format("format_name"), "hevc");
    EXPECT_EQ(readFile(raw).substr(0, 4), std::string("\0\0\0\1", 4)); // Annex B start code

    const std::string out = dir / "hevc.mp4";
    r = mp4box(splitCommandLine(" -ipod -add \"" + raw + "\":fps=25:delay=0 \"" + out + "\""));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(frameHashes(out), frameHashes(mkv));
    EXPECT_EQ(Probe(out).stream(0, "r_frame_rate"), "25/1");

    Mp4File f;
    std::string error;
    ASSERT_TRUE(f.open(out, &error)) << error;
    ASSERT_EQ(f.tracks().size(), 1u);
    const std::vector<uint8_t> &entry = f.tracks()[0].sampleEntry;
    ASSERT_GE(entry.size(), 8u);
    EXPECT_EQ(std::string(entry.begin() + 4, entry.begin() + 8), "hvc1");
    // hvcC: the video, sequence and picture parameter sets, each array marked complete.
    const std::string bytes(entry.begin(), entry.end());
    const size_t at = bytes.find("hvcC");
    ASSERT_NE(at, std::string::npos);
    size_t p = at + 4 + 22;
    ASSERT_LT(p, bytes.size());
    const int arrays = static_cast<uint8_t>(bytes[p++]);
    std::set<int> complete;
    for (int i = 0; i < arrays && p + 3 <= bytes.size(); ++i) {
        const uint8_t head = static_cast<uint8_t>(bytes[p]);
        const int count = static_cast<uint8_t>(bytes[p + 1]) << 8 | static_cast<uint8_t>(bytes[p + 2]);
        p += 3;
        for (int n = 0; n < count && p + 2 <= bytes.size(); ++n)
            p += 2 + (static_cast<uint8_t>(bytes[p]) << 8 | static_cast<uint8_t>(bytes[p + 1]));
        if ((head & 0x80) && count > 0)
            complete.insert(head & 0x3f);
    }
    for (int type : { 32, 33, 34 })
        EXPECT_EQ(complete.count(type), 1u) << "NAL unit type " << type;
}

TEST_F(Mp4BoxContract, TtxtOfAnMp4TrackWritesTimedTextXml)
{
    const std::string src = testMedia("source.mp4");
    const RunResult r = mp4box({ "-ttxt", "3", src, "-out", dir / "sub" });
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string xml = readFile(dir / "sub_3_text.ttxt");
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(xml.find("<TextStreamHeader"), std::string::npos);
    EXPECT_NE(
        xml.find("horizontalJustification=\"center\" verticalJustification=\"bottom\""), std::string::npos);
    EXPECT_NE(xml.find("<Style styles=\"Normal\" fontID=\"1\" fontSize=\"24\" color=\"ff ff ff ff\"/>"),
        std::string::npos);
    EXPECT_NE(
        xml.find("<TextSample sampleTime=\"00:00:00.500\" xml:space=\"preserve\">Bold plain red"
                 "<Style fromChar=\"0\" toChar=\"4\" styles=\"Bold\" fontID=\"1\" fontSize=\"24\" "
                 "color=\"ff ff ff ff\"/><Style fromChar=\"11\" toChar=\"14\" styles=\"Italic\" fontID=\"1\" "
                 "fontSize=\"24\" color=\"ff 00 00 ff\"/></TextSample>"),
        std::string::npos)
        << xml;
    // A line break, then two Hangul syllables as references, underlined.
    EXPECT_NE(xml.find("xml:space=\"preserve\">\n&#54620;&#44544;<Style fromChar=\"1\" toChar=\"3\" "
                       "styles=\"Underlined\""),
        std::string::npos)
        << xml;
    // The end of the last sample is marked by an empty one.
    EXPECT_NE(
        xml.find(
            "<TextSample sampleTime=\"00:00:01.600\" xml:space=\"preserve\"></TextSample>\n</TextStream>"),
        std::string::npos)
        << xml;

    EXPECT_NE(mp4box({ "-ttxt", "1", src, "-out", dir / "vid" }).status, 0); // a video track is no text track
    EXPECT_FALSE(fileExists(dir / "vid_1_text.ttxt"));
}

TEST_F(Mp4BoxContract, TtxtOfAnSrtWritesTheRewritersInputBesideIt)
{
    const std::string srt = dir / "sub_003.srt";
    writeFile(srt,
        "\xEF\xBB\xBF"
        "1\r\n00:00:01,000 --> 00:00:02,500\r\n<b>Bold</b> <i>it</i> <U>un</U>\r\nline 2\r\n\r\n"
        "2\r\n00:00:02,500 --> 00:00:03,000\r\n<font color=\"#FF0000\">\xED\x95\x9C</font> & \"q\"\r\n\r\n"
        "3\r\n00:00:04,000 --> 00:00:05,250\r\nlast\r\n");
    const RunResult r = mp4box({ "-ttxt", srt });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(readFile(dir / "sub_003.ttxt"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
        "<TextStream version=\"1.1\">\n"
        "<TextStreamHeader width=\"400\" height=\"60\" layer=\"0\" translation_x=\"0\" translation_y=\"0\">\n"
        "<TextSampleDescription horizontalJustification=\"center\" verticalJustification=\"bottom\" "
        "backColor=\"00 00 00 00\" verticalText=\"no\" fillTextRegion=\"no\" continuousKaraoke=\"no\" "
        "scroll=\"None\">\n"
        "<FontTable>\n<FontTableEntry fontName=\"Serif\" fontID=\"1\"/>\n</FontTable>\n"
        "<TextBox top=\"0\" left=\"0\" bottom=\"60\" right=\"400\"/>\n"
        "<Style styles=\"Normal\" fontID=\"1\" fontSize=\"18\" color=\"ff ff ff ff\"/>\n"
        "</TextSampleDescription>\n</TextStreamHeader>\n"
        "<TextSample sampleTime=\"00:00:00.000\" xml:space=\"preserve\"></TextSample>\n"
        "<TextSample sampleTime=\"00:00:01.000\" xml:space=\"preserve\">Bold it un\nline 2"
        "<Style fromChar=\"0\" toChar=\"4\" styles=\"Bold\" fontID=\"1\" fontSize=\"18\" color=\"ff ff ff "
        "ff\"/>"
        "<Style fromChar=\"5\" toChar=\"7\" styles=\"Italic\" fontID=\"1\" fontSize=\"18\" color=\"ff ff ff "
        "ff\"/>"
        "<Style fromChar=\"8\" toChar=\"10\" styles=\"Underlined\" fontID=\"1\" fontSize=\"18\" "
        "color=\"ff ff ff ff\"/></TextSample>\n"
        "<TextSample sampleTime=\"00:00:02.500\" xml:space=\"preserve\">"
        "&lt;font color=&quot;#FF0000&quot;&gt;&#54620;&lt;/font&gt; &amp; &quot;q&quot;</TextSample>\n"
        "<TextSample sampleTime=\"00:00:03.000\" xml:space=\"preserve\"></TextSample>\n"
        "<TextSample sampleTime=\"00:00:04.000\" xml:space=\"preserve\">last</TextSample>\n"
        "<TextSample sampleTime=\"00:00:05.250\" xml:space=\"preserve\"></TextSample>\n"
        "</TextStream>\n");
    EXPECT_NE(r.output.find("Importing"), std::string::npos);

    // A file without a single cue gives no timed text, so no empty track is muxed.
    writeFile(dir / "empty.srt", "not a subtitle\n");
    EXPECT_NE(mp4box({ "-ttxt", dir / "empty.srt" }).status, 0);
    EXPECT_FALSE(fileExists(dir / "empty.ttxt"));
    expectNoLeftovers(dir.path());
}

TEST_F(Mp4BoxContract, EnginesExampleMuxStringWritesItsTracks)
{
    // The example argument string of the mux, with a work folder holding a blank.
    const std::string work = dir / "work dir";
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    const std::string video = work + "/temp.h264";
    const std::string audio = work + "/temp.aac";
    const std::string sub = work + "/sub_003.ttxt";
    writeFile(video, readFile(testMedia("bframes.h264")));
    writeFile(audio, readFile(testMedia("tone.aac")));
    writeFile(sub, kRestyledTtxt);
    const std::string line = " -ipod -add \"" + video + "\":fps=23.976:level=3.1:delay=0 -par 1=1:1 -add \""
        + audio + "\":delay=0 -add \"" + sub + "\":lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2 \"" + dir.path()
        + "/progressing.mp4\"";
    const RunResult r = mp4box(splitCommandLine(line));
    const std::string out = dir / "progressing.mp4";
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_TRUE(fileExists(out));
    EXPECT_NE(r.output.find("Importing AVC-H264"), std::string::npos);
    EXPECT_NE(r.output.find("ISO File Writing: |====================| (100/100)"), std::string::npos);

    // Video: every frame, in order, at 24000/1001, level 3.1, square pixels.
    EXPECT_EQ(frameHashes(out), frameHashes(video));
    const Probe probe(out);
    EXPECT_EQ(probe.stream(0, "r_frame_rate"), "24000/1001");
    EXPECT_EQ(probe.stream(0, "level"), "31");
    EXPECT_EQ(probe.stream(0, "sample_aspect_ratio"), "1:1");
    EXPECT_EQ(probe.stream(2, "tags.language"), "kor");

    Mp4File f;
    std::string error;
    ASSERT_TRUE(f.open(out, &error)) << error;
    ASSERT_EQ(f.tracks().size(), 3u);
    const Mp4Track &v = f.tracks()[0];
    const Mp4Track &a = f.tracks()[1];
    const Mp4Track &s = f.tracks()[2];
    EXPECT_EQ(v.handler, fourcc("vide"));
    EXPECT_EQ(a.handler, fourcc("soun"));
    EXPECT_EQ(s.handler, fourcc("sbtl"));
    ASSERT_GE(v.sampleEntry.size(), 4u);
    // No delay: no empty edit anywhere.
    for (const auto &t : f.tracks()) {
        for (const auto &e : t.edits)
            EXPECT_NE(e.mediaTime, -1) << "track " << t.id;
    }
    // The subtitle sits at the bottom of the 160x120 picture, 60 high, in group 2.
    EXPECT_EQ(s.alternateGroup, 2);
    EXPECT_EQ(s.width, 160);
    EXPECT_EQ(s.height, 60);
    EXPECT_EQ(s.matrix[7], 60 << 16);
    EXPECT_EQ(s.tkhdFlags & 1, 1u);
}

TEST_F(Mp4BoxContract, MuxSetsDelaysAspectLanguagesAndEnabledFlagsAndKeepsTextStyles)
{
    const std::string video = testMedia("bframes.h264");
    const std::string audio = testMedia("tone.aac");
    const std::string ko = dir / "ko.ttxt";
    const std::string en = dir / "en.ttxt";
    writeFile(ko, kRestyledTtxt);
    writeFile(en, kRestyledTtxt);
    const std::string out = dir / "progressing.mp4";
    // The first ":disable" has been taken out by the engine: the first subtitle is the enabled one.
    const RunResult r = mp4box({ "-ipod", "-add", video + ":fps=23.976:level=3.0:delay=500", "-par", "1=4:3",
        "-add", audio + ":delay=200", "-add", ko + ":lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2", "-add",
        en + ":lang=en:layout=0x60x0x-1:hdlr=sbtl:group=2:disable", out });
    ASSERT_EQ(r.status, 0) << r.output;

    EXPECT_EQ(frameHashes(out), frameHashes(video));
    const Probe probe(out);
    EXPECT_EQ(probe.stream(0, "level"), "30");
    EXPECT_EQ(probe.stream(0, "sample_aspect_ratio"), "4:3");
    EXPECT_EQ(probe.stream(0, "display_aspect_ratio"), "16:9");
    EXPECT_EQ(probe.stream(0, "start_time"), "0.500000");
    EXPECT_EQ(probe.stream(1, "start_time"), "0.200000");
    EXPECT_EQ(probe.stream(2, "tags.language"), "kor");
    EXPECT_EQ(probe.stream(3, "tags.language"), "eng");
    // ffmpeg reads "default" from the track header's enabled flag.
    EXPECT_EQ(probe.stream(0, "disposition.default"), "1");
    EXPECT_EQ(probe.stream(1, "disposition.default"), "1");
    EXPECT_EQ(probe.stream(2, "disposition.default"), "1");
    EXPECT_EQ(probe.stream(3, "disposition.default"), "0");

    Mp4File f;
    std::string error;
    ASSERT_TRUE(f.open(out, &error)) << error;
    ASSERT_EQ(f.tracks().size(), 4u);
    const Mp4Track &v = f.tracks()[0];
    const Mp4Track &a = f.tracks()[1];
    // The delays are empty edits at the start of the edit lists (movie time scale, ms here).
    ASSERT_GE(v.edits.size(), 2u);
    EXPECT_EQ(v.edits[0].mediaTime, -1);
    EXPECT_EQ(v.edits[0].duration * 1000 / f.movieTimescale(), 500);
    ASSERT_GE(a.edits.size(), 2u);
    EXPECT_EQ(a.edits[0].mediaTime, -1);
    EXPECT_EQ(a.edits[0].duration * 1000 / f.movieTimescale(), 200);
    // avcC carries the new level as well as the SPS.
    ASSERT_GT(v.sampleEntry.size(), 100u);
    const std::string entry(v.sampleEntry.begin(), v.sampleEntry.end());
    const size_t avcc = entry.find("avcC");
    ASSERT_NE(avcc, std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(entry[avcc + 7]), 30);

    for (int i : { 2, 3 }) {
        const Mp4Track &s = f.tracks()[static_cast<size_t>(i)];
        EXPECT_EQ(s.handler, fourcc("sbtl"));
        EXPECT_EQ(s.alternateGroup, 2);
        EXPECT_EQ(s.tkhdFlags & 1, i == 2 ? 1u : 0u);
        mp4box::TimedTextHeader h;
        ASSERT_TRUE(mp4box::parseTx3gSampleEntry(s.sampleEntry, &h));
        EXPECT_EQ(h.defaultStyle.fontSize, 36);
        EXPECT_EQ(h.backRgba & 0xff, 0u); // transparent
        EXPECT_EQ(h.horizontalJustification, 1);
        EXPECT_EQ(h.verticalJustification, -1);
    }

    // The styled sample: bold, red italic, green underlined, at their characters.
    const Mp4Track &s = f.tracks()[2];
    size_t styled = 0;
    while (styled < s.samples.size() && s.samples[styled].size <= 2)
        ++styled;
    ASSERT_LT(styled, s.samples.size());
    EXPECT_EQ(s.samples[styled].dts * 1000 / s.timescale, 500);
    const auto styles = stylesOfSample(f, s, styled);
    ASSERT_EQ(styles.size(), 3u);
    EXPECT_EQ(styles[0].fromChar, 0);
    EXPECT_EQ(styles[0].toChar, 4);
    EXPECT_TRUE(styles[0].bold);
    EXPECT_FALSE(styles[0].italic);
    EXPECT_EQ(styles[1].fromChar, 10);
    EXPECT_EQ(styles[1].toChar, 13);
    EXPECT_TRUE(styles[1].italic);
    EXPECT_EQ(styles[1].rgba, 0xff0000ffu);
    EXPECT_EQ(styles[2].fromChar, 14);
    EXPECT_EQ(styles[2].toChar, 19);
    EXPECT_TRUE(styles[2].underlined);
    EXPECT_EQ(styles[2].rgba, 0x00ff00ffu);

    // ffmpeg's own reading of the track agrees.
    const RunResult ass = runTool(
        { adapt::systemTool("ffmpeg"), "-v", "error", "-i", out, "-map", "0:s:0", "-f", "ass", "-" });
    EXPECT_NE(ass.output.find("Dialogue: 0,0:00:00.50,0:00:01.50,Default,,0,0,0,,{\\b1}Bold{\\r} & "
                              "\xED\x95\x9C\xEA\xB8\x80\\N{\\i1}{\\1c&HFF&}red"),
        std::string::npos)
        << ass.output;
    expectNoLeftovers(dir.path());
}

TEST_F(Mp4BoxContract, SubtitleThroughTheEnginesRewriterKeepsColourStyleAndSize)
{
    // The engine's subtitle road: SRT -> "-ttxt" -> Restyle in place -> mux.
    const std::string srt = dir / "SUB.srt";
    writeFile(srt,
        "\xEF\xBB\xBF"
        "1\r\n00:00:00,400 --> 00:00:01,400\r\n<font color=\"#FF0000\">Red</font> <b>bold</b>\r\n"
        "\xED\x95\x9C<font color=lime>\xEA\xB8\x80</font>\r\n");
    ASSERT_EQ(mp4box({ "-ttxt", srt }).status, 0);
    const std::string ttxt = dir / "SUB.ttxt";
    ASSERT_EQ(TimedTextRewriter().Restyle(QString::fromStdString(ttxt), QString(), 36), 1);
    const std::string out = dir / "progressing.mp4";
    const RunResult r = mp4box({ "-ipod", "-add", testMedia("bframes.h264") + ":fps=23.976:level=3.1:delay=0",
        "-par", "1=1:1", "-add", ttxt + ":lang=ko:hdlr=sbtl:group=2", out });
    ASSERT_EQ(r.status, 0) << r.output;

    Mp4File f;
    std::string error;
    ASSERT_TRUE(f.open(out, &error)) << error;
    ASSERT_EQ(f.tracks().size(), 2u);
    const Mp4Track &s = f.tracks()[1];
    mp4box::TimedTextHeader h;
    ASSERT_TRUE(mp4box::parseTx3gSampleEntry(s.sampleEntry, &h));
    EXPECT_EQ(h.defaultStyle.fontSize, 36);
    // Without a layout the track takes the header's size: 400 x 60.
    EXPECT_EQ(s.width, 400);
    EXPECT_EQ(s.height, 60);
    size_t shown = 0;
    while (shown < s.samples.size() && s.samples[shown].size <= 2)
        ++shown;
    ASSERT_LT(shown, s.samples.size());
    EXPECT_EQ(s.samples[shown].dts * 1000 / s.timescale, 400);
    EXPECT_EQ(s.samples[shown].duration * 1000 / s.timescale, 1000);
    std::vector<uint8_t> data;
    ASSERT_TRUE(f.readSample(s.samples[shown], &data));
    mp4box::TimedTextSample sample;
    ASSERT_TRUE(mp4box::parseTx3gSample(data, h.defaultStyle, &sample));
    EXPECT_EQ(sample.text, u"Red bold\n\uD55C\uAE00");
    ASSERT_EQ(sample.styles.size(), 3u);
    EXPECT_EQ(sample.styles[0].toChar, 3);
    EXPECT_EQ(sample.styles[0].rgba, 0xff0000ffu);
    EXPECT_FALSE(sample.styles[0].bold);
    EXPECT_EQ(sample.styles[1].fromChar, 4);
    EXPECT_EQ(sample.styles[1].toChar, 8);
    EXPECT_TRUE(sample.styles[1].bold);
    EXPECT_EQ(sample.styles[1].rgba, 0xffffffffu);
    EXPECT_EQ(sample.styles[2].fromChar, 10);
    EXPECT_EQ(sample.styles[2].toChar, 11);
    EXPECT_EQ(sample.styles[2].rgba, 0x00ff00ffu);
}

TEST_F(Mp4BoxContract, NightlyBuildTakesTheLevelWithoutTheDot)
{
    const std::string src = testMedia("source.mp4");
    const std::string before = Probe(src).stream(0, "level");
    ASSERT_TRUE(before != "30" && before != "31") << before;
    RunResult r
        = mp4box({ "-ipod", "-add", src + "#video:level=30:delay=0", "-par", "1=1:1", dir / "n.mp4" }, true);
    ASSERT_EQ(r.status, 0) << r.output;
    const Probe probe(dir / "n.mp4");
    EXPECT_EQ(probe.stream(0, "level"), "30");
    EXPECT_EQ(probe.streamCount(), 1); // #video takes the video only

    // Each build takes only its own form; the other leaves the level as it was.
    r = mp4box({ "-add", src + "#video:level=3.1", dir / "n2.mp4" }, true);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("level \"3.1\" not understood"), std::string::npos);
    EXPECT_EQ(Probe(dir / "n2.mp4").stream(0, "level"), before);
    r = mp4box({ "-add", src + "#video:level=31", dir / "n3.mp4" });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Probe(dir / "n3.mp4").stream(0, "level"), before);
    r = mp4box({ "-add", src + "#video:level=3.1", dir / "n4.mp4" });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Probe(dir / "n4.mp4").stream(0, "level"), "31");
}

TEST_F(Mp4BoxContract, ContainerSourcesKeepFrameOrderAndDelaysAreNotCountedTwice)
{
    // An MPEG-4 Part 2 AVI with B-frames, added as the engine adds it ("#video").
    const std::string avi = testMedia("mpeg4.avi");
    RunResult r = mp4box({ "-ipod", "-add", avi + "#video:delay=0", "-par", "1=9:10", dir / "avi.mp4" });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(frameHashes(dir / "avi.mp4"), frameHashes(avi));
    EXPECT_EQ(Probe(dir / "avi.mp4").stream(0, "sample_aspect_ratio"), "9:10");

    // Whole files: every track, subtitles of any kind as 3GPP text.
    r = mp4box(
        { "-ipod", "-add", testMedia("source.mp4"), "-add", testMedia("subtitled.mkv"), dir / "all.mp4" });
    ASSERT_EQ(r.status, 0) << r.output;
    Mp4File all;
    std::string error;
    ASSERT_TRUE(all.open(dir / "all.mp4", &error)) << error;
    std::vector<std::string> handlers;
    for (const auto &t : all.tracks())
        handlers.push_back(mp4box::fourccText(t.handler));
    EXPECT_EQ(handlers, (std::vector<std::string> { "vide", "soun", "sbtl", "vide", "sbtl" }));
    const Probe probeAll(dir / "all.mp4");
    EXPECT_EQ(probeAll.stream(4, "codec_name"), "mov_text");

    // A source that starts 300 ms late, added with ":delay=300", starts 300 ms late.
    r = mp4box({ "-add", testMedia("bframes.h264") + ":fps=23.976:delay=300", dir / "late.mp4" });
    ASSERT_EQ(r.status, 0) << r.output;
    r = mp4box({ "-add", (dir / "late.mp4") + "#video:delay=300", dir / "again.mp4" });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Probe(dir / "again.mp4").stream(0, "start_time"), "0.300000");
    // Without ":delay=" the track keeps the start it has in its source.
    r = mp4box({ "-add", (dir / "late.mp4") + "#video", dir / "kept.mp4" });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Probe(dir / "kept.mp4").stream(0, "start_time"), "0.300000");
}

TEST_F(Mp4BoxContract, RawH264AndAdtsAreTimedInProcessAndOtherStreamsStillGoThroughMkvmerge)
{
    // With mkvmerge and ffprobe unusable, the engine's raw H.264 + ADTS mux still works.
    const std::vector<std::string> noHelpers { "/usr/bin/env", "MARBLEWAY_SYSTEM_MKVMERGE=/bin/false",
        "MARBLEWAY_SYSTEM_FFPROBE=/bin/false", adapterPath() };
    const std::string video = testMedia("bframes.h264");
    const std::string out = dir / "raw.mp4";
    std::vector<std::string> argv = noHelpers;
    argv.insert(argv.end(),
        { "-ipod", "-add", video + ":fps=23.976:level=3.1:delay=0", "-par", "1=1:1", "-add",
            testMedia("tone.aac") + ":delay=0", out });
    RunResult r = runTool(argv);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(frameHashes(out), frameHashes(video));
    // Every frame on its own tick of 1001 at 24000/1001, in presentation order.
    const RunResult pts = runTool({ "/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
        "packet=pts", "-of", "csv=p=0", out });
    std::vector<long long> times;
    for (size_t pos = 0; pos < pts.output.size();) {
        const size_t end = pts.output.find('\n', pos);
        times.push_back(std::stoll(pts.output.substr(pos, end - pos)));
        pos = end == std::string::npos ? pts.output.size() : end + 1;
    }
    std::sort(times.begin(), times.end());
    ASSERT_EQ(times.size(), 48u);
    for (size_t k = 0; k < times.size(); ++k)
        EXPECT_EQ(times[k] - times[0], static_cast<long long>(k) * 1001) << k;
    const Probe probe(out);
    EXPECT_EQ(probe.stream(0, "level"), "31");
    EXPECT_EQ(probe.stream(1, "codec_name"), "aac");

    // Two different SPSs in one stream are beyond the in-process timing: mkvmerge wraps it.
    const std::string other = dir / "other.h264";
    ASSERT_EQ(runTool({ "/usr/bin/ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                  "testsrc=size=160x120:rate=24000/1001:duration=1", "-c:v", "libx264", "-preset", "ultrafast",
                  "-profile:v", "baseline", "-pix_fmt", "yuv420p", "-f", "h264", other })
                  .status,
        0);
    const std::string joined = dir / "joined.h264";
    writeFile(joined, readFile(video) + readFile(other));
    argv = noHelpers;
    argv.insert(argv.end(), { "-add", joined + ":fps=23.976", dir / "joined-without.mp4" });
    EXPECT_NE(runTool(argv).status, 0);
    r = mp4box({ "-add", joined + ":fps=23.976", dir / "joined.mp4" });
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(frameHashes(dir / "joined.mp4"), frameHashes(joined));
}

TEST_F(Mp4BoxContract, FailedMuxLeavesNoFile)
{
    const std::string video = testMedia("bframes.h264");
    const std::string out = dir / "progressing.mp4";
    // A subtitle option naming a file that was never made.
    RunResult r
        = mp4box({ "-ipod", "-add", video + ":fps=25", "-add", (dir / "sub_004.ttxt") + ":lang=ko", out });
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("sub_004.ttxt"), std::string::npos);
    EXPECT_FALSE(fileExists(out));
    // A timed-text file that is not one.
    writeFile(dir / "bad.ttxt", "<TextStream><TextSample>no time</TextSample></TextStream>");
    r = mp4box({ "-add", video, "-add", dir / "bad.ttxt", out });
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(fileExists(out));
    // A video file that is not one.
    writeFile(dir / "junk.h264", std::string(1000, 'x'));
    r = mp4box({ "-add", (dir / "junk.h264") + ":fps=25", out });
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(fileExists(out));
    // An option the tool does not know ends the call before anything is written.
    r = mp4box({ "-ipod:delay=0", "-add", video, out });
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(fileExists(out));
    expectNoLeftovers(dir.path());
}

TEST_F(Mp4BoxContract, CancelledAndKilledRunsLeaveNothingBehind)
{
    // A run killed outright leaves its folder; the next run writing there removes it,
    // but never the folder of a run still going.
    const std::string abandoned = dir / ".mp4box-999999999-AbCdEf";
    const std::string live = dir / (".mp4box-" + std::to_string(getpid()) + "-GhIjKl");
    ASSERT_EQ(mkdir(abandoned.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(live.c_str(), 0700), 0);
    writeFile(abandoned + "/mux.mp4", "partial");
    writeFile(dir / "a.srt", "1\n00:00:01,000 --> 00:00:02,000\nx\n");
    ASSERT_EQ(mp4box({ "-ttxt", dir / "a.srt" }).status, 0);
    EXPECT_FALSE(fileExists(abandoned));
    EXPECT_TRUE(fileExists(live));
    rmdir(live.c_str());

    // SIGTERM (the engine's cancel) in the middle of a mux. The run's folder goes in TMPDIR
    // (the engine's work folder), which is on the output's file system here.
    const std::string scratch = dir / "work";
    ASSERT_EQ(mkdir(scratch.c_str(), 0700), 0);
    std::vector<std::string> env { "TMPDIR=" + scratch };
    for (char **e = environ; *e; ++e) {
        if (std::strncmp(*e, "TMPDIR=", 7) != 0)
            env.emplace_back(*e);
    }
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string out = dir / "progressing.mp4";
    // Without -ipod the mux stays on ffmpeg, which takes long enough to be caught in the middle:
    // with it the mux is written in-process within milliseconds.
    std::vector<std::string> args { adapterPath(), "-add", testMedia("bframes.h264") + ":fps=23.976",
        "-add", testMedia("tone.aac"), "-add", dir / "a.srt", out };
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Wait until a tool is writing into the run's temporary folder.
    const std::string mine = ".mp4box-" + std::to_string(pid) + "-";
    bool started = false;
    for (int i = 0; i < 2000 && !started; ++i) {
        for (const auto &name : listDir(scratch)) {
            if (name.rfind(mine, 0) == 0)
                started = !listDir(scratch + "/" + name).empty();
        }
        if (!started)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(started);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(fileExists(out));
    expectNoLeftovers(dir.path());
    EXPECT_TRUE(listDir(scratch).empty());
}

} // namespace
