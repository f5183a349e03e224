#include "CommandLine.h"
#include "Languages.h"
#include "MediaProbe.h"

#include <gtest/gtest.h>

#include <set>

using namespace mp4box;

namespace {

CommandLine parse(const std::vector<std::string> &args)
{
    CommandLine c;
    std::string error;
    EXPECT_TRUE(parseCommandLine(args, &c, &error)) << error;
    return c;
}

std::string parseError(const std::vector<std::string> &args)
{
    CommandLine c;
    std::string error;
    EXPECT_FALSE(parseCommandLine(args, &c, &error));
    return error;
}

TEST(CommandLine, ReadsEveryCallForm)
{
    CommandLine c = parse({ "-raw", "2", "/w/a b.mp4", "-out", "/w/extractedaudio.aac" });
    EXPECT_EQ(c.command, Command::Raw);
    EXPECT_EQ(c.trackId, 2);
    EXPECT_EQ(c.file, "/w/a b.mp4");
    EXPECT_EQ(c.out, "/w/extractedaudio.aac");

    c = parse({ "-aviraw", "video", "/s/x.avi", "-out", "/w/temp" });
    EXPECT_EQ(c.command, Command::AviRaw);
    EXPECT_EQ(c.aviStream, "video");
    EXPECT_EQ(c.out, "/w/temp");

    c = parse({ "-ttxt", "3", "/s/x.mp4", "-out", "/w/sub" });
    EXPECT_EQ(c.command, Command::TtxtTrack);
    EXPECT_EQ(c.trackId, 3);
    EXPECT_EQ(c.file, "/s/x.mp4");

    // A lone argument after -ttxt is the file, even when its name is a number.
    c = parse({ "-ttxt", "/w/sub_003.srt" });
    EXPECT_EQ(c.command, Command::TtxtFile);
    EXPECT_EQ(c.file, "/w/sub_003.srt");
    c = parse({ "-ttxt", "42" });
    EXPECT_EQ(c.command, Command::TtxtFile);
    EXPECT_EQ(c.file, "42");

    c = parse({ "-ipod", "-add", "/w/temp.h264:fps=23.976:level=3.1:delay=0", "-par", "1=237:200", "-add",
        "/w/temp.aac:delay=0", "/o/progressing.mp4" });
    EXPECT_EQ(c.command, Command::Mux);
    EXPECT_TRUE(c.ipod);
    EXPECT_EQ(c.adds.size(), 2u);
    ASSERT_EQ(c.pars.size(), 1u);
    EXPECT_EQ(c.pars[0].track, 1);
    EXPECT_EQ(c.pars[0].num, 237);
    EXPECT_EQ(c.pars[0].den, 200);
    EXPECT_EQ(c.file, "/o/progressing.mp4");
}

TEST(CommandLine, RefusesWhatItCannotDo)
{
    // With no video option the engine's delay lands on "-ipod": refused, not guessed.
    EXPECT_NE(parseError({ "-ipod:delay=0", "-add", "/w/a.aac", "/o/p.mp4" }).find("unknown option"),
        std::string::npos);
    EXPECT_NE(parseError({ "-raw", "x", "/s.mp4" }).find("track ID"), std::string::npos);
    EXPECT_NE(parseError({ "-aviraw", "subtitle", "/s.avi" }).find("-aviraw"), std::string::npos);
    EXPECT_NE(parseError({ "-par", "1=4", "-add", "/a", "/o" }).find("-par"), std::string::npos);
    EXPECT_NE(parseError({ "-add", "/a", "/o", "/p" }).find("more than one file"), std::string::npos);
    EXPECT_NE(parseError({ "-add", "/a" }).find("no destination"), std::string::npos);
    EXPECT_NE(
        parseError({ "-raw", "1", "/s.mp4", "-add", "/a" }).find("cannot be combined"), std::string::npos);
    EXPECT_NE(parseError({ "/o.mp4" }).find("nothing to do"), std::string::npos);
    EXPECT_NE(parseError({ "-out" }).find("-out"), std::string::npos);
}

TEST(CommandLine, SplitsTheFileFromItsOptionsWhereTheFileExists)
{
    const std::set<std::string> files { "/w/a:b.ttxt", "/w/x#1.h264", "/w/plain.aac", "/dir:with/colon.srt" };
    auto isFile = [&](const std::string &p) { return files.count(p) > 0; };

    AddSpec s = splitAddSpec("/w/a:b.ttxt:lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2:disable", isFile);
    EXPECT_EQ(s.path, "/w/a:b.ttxt");
    EXPECT_EQ(s.selector, "");
    ASSERT_EQ(s.options.size(), 5u);
    EXPECT_EQ(s.options[0], (std::pair<std::string, std::string> { "lang", "ko" }));
    EXPECT_EQ(s.options[1], (std::pair<std::string, std::string> { "layout", "0x60x0x-1" }));
    EXPECT_EQ(s.options[4], (std::pair<std::string, std::string> { "disable", "" }));

    s = splitAddSpec("/w/x#1.h264#video:level=3.1", isFile);
    EXPECT_EQ(s.path, "/w/x#1.h264");
    EXPECT_EQ(s.selector, "video");
    ASSERT_EQ(s.options.size(), 1u);

    s = splitAddSpec("/w/plain.aac", isFile);
    EXPECT_EQ(s.path, "/w/plain.aac");
    EXPECT_TRUE(s.options.empty());

    // A colon in a folder name is no separator.
    s = splitAddSpec("/dir:with/colon.srt:lang=en", isFile);
    EXPECT_EQ(s.path, "/dir:with/colon.srt");

    // A missing file keeps the name up to the first separator, for the error message.
    s = splitAddSpec("/w/gone.ttxt:lang=ko", isFile);
    EXPECT_EQ(s.path, "/w/gone.ttxt");
    EXPECT_EQ(s.options.size(), 1u);
}

TEST(CommandLine, TrackOptions)
{
    auto options = [](const std::string &arg, LevelForm form, std::vector<std::string> *warnings) {
        TrackOptions o;
        std::string error;
        EXPECT_TRUE(parseTrackOptions(
            splitAddSpec(arg, [](const std::string &) { return false; }), form, &o, warnings, &error))
            << error;
        return o;
    };
    std::vector<std::string> warnings;
    TrackOptions o = options("/w/t.h264:fps=23.976:level=3.1:delay=-40", LevelForm::Decimal, &warnings);
    ASSERT_TRUE(o.fps);
    EXPECT_EQ(o.fps->num, 24000);
    EXPECT_EQ(o.fps->den, 1001);
    EXPECT_EQ(o.levelIdc, 31);
    EXPECT_EQ(o.delayMs, -40);
    EXPECT_TRUE(warnings.empty());

    o = options(
        "/w/s.ttxt:lang=ja:layout=0x60x0x-1:hdlr=sbtl:group=2:disable", LevelForm::Decimal, &warnings);
    EXPECT_EQ(o.language, "jpn");
    ASSERT_TRUE(o.layout);
    EXPECT_EQ(o.layout->width, 0);
    EXPECT_EQ(o.layout->height, 60);
    EXPECT_EQ(o.layout->x, 0);
    EXPECT_EQ(o.layout->y, -1);
    EXPECT_EQ(o.handler, "sbtl");
    EXPECT_EQ(o.group, 2);
    EXPECT_TRUE(o.disable);

    // An empty frame rate (no rate in the media report) and an unknown language warn only.
    o = options("/w/t.h264:fps=:lang=xx1:name=foo", LevelForm::Decimal, &warnings);
    EXPECT_FALSE(o.fps);
    EXPECT_EQ(o.language, "und");
    EXPECT_EQ(warnings.size(), 3u);

    TrackOptions bad;
    std::string error;
    for (const std::string arg : { "/t:delay=soon", "/t:layout=60", "/t:hdlr=subtitle", "/t:group=-1" }) {
        std::vector<std::string> w;
        EXPECT_FALSE(parseTrackOptions(splitAddSpec(arg, [](const std::string &) { return false; }),
            LevelForm::Decimal, &bad, &w, &error))
            << arg;
    }
}

TEST(CommandLine, LevelFormsOfTheTwoBuilds)
{
    EXPECT_EQ(parseLevel("3.0", LevelForm::Decimal), 30); // not 3
    EXPECT_EQ(parseLevel("3.1", LevelForm::Decimal), 31);
    EXPECT_EQ(parseLevel("3", LevelForm::Decimal), 30);
    EXPECT_EQ(parseLevel("1b", LevelForm::Decimal), 9);
    EXPECT_EQ(parseLevel("31", LevelForm::Decimal), std::nullopt);
    EXPECT_EQ(parseLevel("30", LevelForm::Idc), 30);
    EXPECT_EQ(parseLevel("31", LevelForm::Idc), 31);
    EXPECT_EQ(parseLevel("3.1", LevelForm::Idc), std::nullopt);
    EXPECT_EQ(parseLevel("33", LevelForm::Idc), std::nullopt);
    EXPECT_EQ(parseLevel("", LevelForm::Idc), std::nullopt);
}

TEST(CommandLine, FrameRates)
{
    auto fps = [](const std::string &t) {
        Rational r;
        EXPECT_TRUE(parseFps(t, &r)) << t;
        return std::to_string(r.num) + "/" + std::to_string(r.den);
    };
    EXPECT_EQ(fps("23.976"), "24000/1001");
    EXPECT_EQ(fps("29.970"), "30000/1001");
    EXPECT_EQ(fps("59.94"), "60000/1001");
    EXPECT_EQ(fps("25.000"), "25/1");
    EXPECT_EQ(fps("30"), "30/1");
    EXPECT_EQ(fps("12.5"), "25/2");
    EXPECT_EQ(fps("48000/2002"), "24000/1001");
    Rational r;
    for (const std::string t : { "", "abc", "0", "-25", "25fps", "1/0" })
        EXPECT_FALSE(parseFps(t, &r)) << t;
}

TEST(CommandLine, ThreeLetterLanguages)
{
    EXPECT_EQ(languageCode3("ko"), "kor");
    EXPECT_EQ(languageCode3("en"), "eng");
    EXPECT_EQ(languageCode3("ja"), "jpn");
    EXPECT_EQ(languageCode3("de"), "ger");
    EXPECT_EQ(languageCode3("fr"), "fre");
    EXPECT_EQ(languageCode3("ru"), "rus");
    EXPECT_EQ(languageCode3("ZH"), "chi");
    EXPECT_EQ(languageCode3("kor"), "kor");
    EXPECT_EQ(languageCode3("zz"), "");
    EXPECT_EQ(languageCode3("k"), "");
    EXPECT_EQ(languageCode3("korean"), "");
}

TEST(MediaProbe, ReadsFfprobeFlatOutput)
{
    const ProbedMedia m = parseFlatProbe("streams.stream.0.index=0\n"
                                         "streams.stream.0.codec_name=\"h264\"\n"
                                         "streams.stream.0.codec_type=\"video\"\n"
                                         "streams.stream.0.width=160\n"
                                         "streams.stream.0.height=120\n"
                                         "streams.stream.0.id=\"0x1\"\n"
                                         "streams.stream.0.r_frame_rate=\"24000/1001\"\n"
                                         "streams.stream.0.start_time=\"0.500000\"\n"
                                         "streams.stream.1.index=1\n"
                                         "streams.stream.1.codec_type=\"audio\"\n"
                                         "streams.stream.1.id=\"0x2\"\n"
                                         "streams.stream.1.tags.language=\"kor\"\n"
                                         "format.format_name=\"mov,mp4,m4a,3gp,3g2,mj2\"\n"
                                         "format.duration=\"2.002000\"\n");
    ASSERT_EQ(m.streams.size(), 2u);
    EXPECT_EQ(m.streams[0].id, 1);
    EXPECT_EQ(m.streams[0].width, 160);
    EXPECT_EQ(m.streams[0].frameRate.num, 24000);
    EXPECT_DOUBLE_EQ(m.streams[0].startTime, 0.5);
    EXPECT_EQ(m.streams[1].id, 2);
    EXPECT_EQ(m.streams[1].language, "kor");
    EXPECT_TRUE(m.formatIs("mp4"));
    EXPECT_FALSE(m.formatIs("mp"));
    EXPECT_DOUBLE_EQ(m.duration, 2.002);
}

} // namespace
