#include "AssExport.h"
#include "MovText.h"
#include "SrtImport.h"
#include "TtxtFormat.h"

#include <gtest/gtest.h>

using namespace mp4box;

namespace {

TimedText fromSrt(const std::string &bytes) { return srtToTimedText(parseSrt(decodeSubtitleBytes(bytes))); }

std::string events(const std::string &ass) { return ass.substr(ass.find("[Events]")); }

TEST(SrtImport, ReadsLooseFiles)
{
    // No BOM, LF only, a missing blank line, '.' before the milliseconds, one fraction
    // digit, a cue with its end before its start (dropped), a position suffix.
    // The reader is the one the SRT rewriter uses: trailing blanks after the times,
    // CR-only line ends and ASS override blocks in the text are no trouble either.
    const auto cues = parseSrt(decodeSubtitleBytes("1\n00:00:01.5 --> 00:00:02,000 X1:10 X2:20\nfirst\n"
                                                   "2\n00:00:03,000 --> 00:00:04,000\nsecond\n\n"
                                                   "3\n00:00:06,000 --> 00:00:05,000\nbackwards\n\n"
                                                   "4\r00:00:07,000 --> 00:00:08,000  \r{\\an8}top\r"));
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[0].startMs, 1500);
    EXPECT_EQ(cues[0].endMs, 2000);
    EXPECT_EQ(cues[0].text, u"first");
    EXPECT_EQ(cues[1].text, u"second");
    EXPECT_EQ(cues[2].startMs, 7000);
    EXPECT_EQ(cues[2].text, u"top");
}

TEST(SrtImport, DecodesByByteOrderMarkThenUtf8ThenLatin1)
{
    EXPECT_EQ(decodeSubtitleBytes("\xEF\xBB\xBF\xED\x95\x9C"), u"\uD55C");
    EXPECT_EQ(decodeSubtitleBytes(std::string("\xFF\xFE\x5C\xD5", 4)), u"\uD55C");
    EXPECT_EQ(decodeSubtitleBytes(std::string("\xFE\xFF\xD5\x5C", 4)), u"\uD55C");
    EXPECT_EQ(decodeSubtitleBytes("\xED\x95\x9C"), u"\uD55C");
    EXPECT_EQ(decodeSubtitleBytes("caf\xE9"), u"caf\u00E9");
}

TEST(SrtImport, SamplesFillGapsAndNeverOverlap)
{
    const TimedText tt = fromSrt("1\r\n00:00:02,000 --> 00:00:05,000\r\nB\r\n\r\n"
                                 "2\r\n00:00:00,000 --> 00:00:01,000\r\nA\r\n\r\n"
                                 "3\r\n00:00:04,000 --> 00:00:06,000\r\nC\r\n\r\n"
                                 "4\r\n00:00:04,000 --> 00:00:07,000\r\nD\r\n");
    ASSERT_EQ(tt.samples.size(), 5u);
    EXPECT_EQ(tt.samples[0].timeMs, 0);
    EXPECT_EQ(tt.samples[0].text, u"A");
    EXPECT_EQ(tt.samples[1].timeMs, 1000); // gap
    EXPECT_TRUE(tt.samples[1].text.empty());
    EXPECT_EQ(tt.samples[2].timeMs, 2000); // B is cut where C starts
    EXPECT_EQ(tt.samples[3].timeMs, 4000); // C and D start together: one sample
    EXPECT_EQ(tt.samples[3].text, u"C\nD");
    EXPECT_EQ(tt.samples[4].timeMs, 7000);
    EXPECT_TRUE(tt.samples[4].text.empty());
}

TEST(SrtImport, BasicTagsBecomeStylesOtherTagsStay)
{
    const TimedText tt = fromSrt("1\n00:00:01,000 --> 00:00:02,000\n"
                                 "<b>a<i>b</b>c</i> <font color=red>r</font> <B>unclosed\n");
    const TimedTextSample &s = tt.samples.at(1);
    EXPECT_EQ(s.text, u"abc <font color=red>r</font> unclosed");
    ASSERT_EQ(s.styles.size(), 4u);
    EXPECT_TRUE(s.styles[0].bold && !s.styles[0].italic); // a
    EXPECT_EQ(s.styles[0].toChar, 1);
    EXPECT_TRUE(s.styles[1].bold && s.styles[1].italic); // b
    EXPECT_TRUE(!s.styles[2].bold && s.styles[2].italic); // c
    EXPECT_EQ(s.styles[3].fromChar, 29); // bold to the end of the cue
    EXPECT_EQ(s.styles[3].toChar, 37);
}

TEST(TtxtFormat, WriteThenReadGivesTheSameText)
{
    TimedText tt;
    tt.header.defaultStyle.fontSize = 24;
    TimedTextSample s;
    s.timeMs = 3723456;
    s.text = u"<a> & \"b\" 'c'\n\uD55C \U0001F600";
    TimedTextStyle st;
    st.fromChar = 2;
    st.toChar = 5;
    st.italic = true;
    st.rgba = 0x11223344;
    s.styles.push_back(st);
    tt.samples = { s, TimedTextSample { 3724000, {}, {} } };
    const std::string xml = writeTtxt(tt);
    // Every unit above 127 as a reference; a character outside the BMP as two.
    EXPECT_NE(xml.find("&#54620; &#55357;&#56832;"), std::string::npos);
    EXPECT_NE(xml.find("sampleTime=\"01:02:03.456\""), std::string::npos);

    TimedText back;
    std::string error;
    ASSERT_TRUE(parseTtxt(xml, &back, &error)) << error;
    ASSERT_EQ(back.samples.size(), 2u);
    EXPECT_EQ(back.samples[0].text, s.text);
    EXPECT_EQ(back.samples[0].timeMs, 3723456);
    ASSERT_EQ(back.samples[0].styles.size(), 1u);
    EXPECT_EQ(back.samples[0].styles[0].fromChar, 2);
    EXPECT_TRUE(back.samples[0].styles[0].italic);
    EXPECT_EQ(back.samples[0].styles[0].rgba, 0x11223344u);
    EXPECT_EQ(back.header.defaultStyle.fontSize, 24);
}

TEST(TtxtFormat, ReadsTheRewrittenForm)
{
    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TextStream version=\"1.1\">\n"
                            "<TextStreamHeader width=\"320\" height=\"50\" layer=\"0\" translation_x=\"0\" "
                            "translation_y=\"190\">\n"
                            "<TextSampleDescription horizontalJustification=\"left\" "
                            "verticalJustification=\"top\" backColor=\"0 0 0 ff\">\n"
                            "<FontTable>\n<FontTableEntry fontName=\"Gulim\" fontID=\"1\"/>\n</FontTable>\n"
                            "<TextBox top=\"1\" left=\"2\" bottom=\"3\" right=\"4\"/>\n"
                            "<Style styles=\"Normal\" fontID=\"1\" fontSize=\"48\" color=\"ff ff ff ff\"/>\n"
                            "</TextSampleDescription>\n</TextStreamHeader>\r\n"
                            "<TextSample sampleTime=\"00:00:05.000\" xml:space=\"preserve\">a\r\nb&#13;c"
                            "<Style fromChar=\"2\" toChar=\"3\" styles=\"Normal\" fontID=\"1\" "
                            "fontSize=\"48\" color=\"FF 00 00 ff\"/>"
                            "</TextSample>\r\n</TextStream>\r\n";
    TimedText tt;
    std::string error;
    ASSERT_TRUE(parseTtxt(xml, &tt, &error)) << error;
    EXPECT_EQ(tt.header.width, 320);
    EXPECT_EQ(tt.header.translationY, 190);
    EXPECT_EQ(tt.header.horizontalJustification, 0);
    EXPECT_EQ(tt.header.verticalJustification, 0);
    EXPECT_EQ(tt.header.backRgba, 0x000000ffu);
    EXPECT_EQ(tt.header.fonts.at(0).name, "Gulim");
    EXPECT_EQ(tt.header.boxRight, 4);
    EXPECT_EQ(tt.header.defaultStyle.fontSize, 48);
    ASSERT_EQ(tt.samples.size(), 1u);
    // CR LF is one line break, as the rewriter counts it.
    EXPECT_EQ(tt.samples[0].text, u"a\nb\nc");
    ASSERT_EQ(tt.samples[0].styles.size(), 1u);
    EXPECT_EQ(tt.samples[0].styles[0].rgba, 0xff0000ffu);
    EXPECT_FALSE(tt.samples[0].styles[0].bold);
}

TEST(TtxtFormat, RejectsWhatIsNotTimedText)
{
    TimedText tt;
    std::string error;
    EXPECT_FALSE(parseTtxt("<html><body/></html>", &tt, &error));
    EXPECT_FALSE(parseTtxt("</>", &tt, &error)); // an empty closing tag once read past its end
    EXPECT_TRUE(parseTtxt("<TextStream></></TextStream>", &tt, &error));
    EXPECT_FALSE(parseTtxt("<TextStream><TextSample sampleTime=\"soon\"/></TextStream>", &tt, &error));
    EXPECT_FALSE(parseTtxt("<TextStream><TextSample sampleTime=\"00:00:01.000\"", &tt, &error));
    uint32_t rgba;
    EXPECT_FALSE(parseColour("ff ff ff", &rgba));
    EXPECT_FALSE(parseColour("gg ff ff ff", &rgba));
    EXPECT_TRUE(parseColour("ffffff80", &rgba));
    EXPECT_EQ(rgba, 0xffffff80u);
    int64_t ms;
    EXPECT_TRUE(parseSampleTime("1:02.5", &ms));
    EXPECT_EQ(ms, 62500);
    EXPECT_EQ(formatSampleTime(360000000), "99:59:59.999");
}

TEST(AssExport, StylesBecomeOverrideCodesTheEncoderKeeps)
{
    TimedText tt;
    tt.header.defaultStyle.fontSize = 36;
    TimedTextSample s;
    s.timeMs = 1234;
    s.text = u"Bold red\nunder";
    TimedTextStyle bold;
    bold.fromChar = 0;
    bold.toChar = 4;
    bold.bold = true;
    bold.fontSize = 36;
    TimedTextStyle red = bold;
    red.fromChar = 5;
    red.toChar = 8;
    red.bold = false;
    red.italic = true;
    red.rgba = 0xff000080;
    TimedTextStyle under = bold;
    under.fromChar = 9;
    under.toChar = 14;
    under.bold = false;
    under.underlined = true;
    under.fontSize = 18;
    s.styles = { bold, red, under };
    tt.samples = { s, TimedTextSample { 2000, {}, {} }, TimedTextSample { 3000, u"x", {} } };
    const std::string ass = timedTextToAss(tt);
    EXPECT_NE(
        ass.find("Style: "
                 "Default,Serif,36,&H00FFFFFF,&H00FFFFFF,&H00000000,&HFF000000,0,0,0,0,100,100,0,0,1,0,0,2,"),
        std::string::npos);
    EXPECT_EQ(events(ass),
        "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
        "Dialogue: 0,0:00:01.23,0:00:02.00,Default,,0,0,0,,"
        "{\\b1}Bold{\\b0} {\\i1\\1c&H0000FF&\\1a&H7F&}red{\\i0\\1c&HFFFFFF&\\1a&H00&}\\N"
        "{\\u1\\fs18}under\n"
        "Dialogue: 0,0:00:03.00,0:00:05.00,Default,,0,0,0,,x\n");
    EXPECT_EQ(timedTextEndMs(tt), 3000 + kLastSampleMs);
}

TEST(AssExport, EveryRunStatesItsWholeStyle)
{
    // The encoder starts each style record from the default style: a run that adds
    // italic to bold must say bold again, or the record holds italic alone.
    const TimedText tt = fromSrt("1\n00:00:01,000 --> 00:00:02,000\n<b>a<i>b</b>c</i>d<u><i>e</i></u>\n");
    EXPECT_NE(events(timedTextToAss(tt)).find(",,{\\b1}a{\\i1\\b1}b{\\b0\\i1}c{\\i0}d{\\i1\\u1}e\n"), std::string::npos)
        << events(timedTextToAss(tt));
}

TEST(AssExport, LiteralBracesAndBackslashesStayText)
{
    TimedText tt;
    tt.samples = { TimedTextSample { 0, u"{\\an8} a\\Nb {plain}", {} }, TimedTextSample { 1000, {}, {} } };
    EXPECT_NE(timedTextToAss(tt).find(",,{{\\b0}\\an8} a\\{\\b0}Nb {plain}\n"), std::string::npos);
}

TEST(AssExport, JustificationAndBackColourGoIntoTheStyle)
{
    TimedText tt;
    tt.header.horizontalJustification = 0;
    tt.header.verticalJustification = 0;
    tt.header.backRgba = 0x10203040;
    tt.header.fonts = { { 1, "Nanum, Gothic" } };
    const std::string ass = timedTextToAss(tt);
    EXPECT_NE(ass.find("Style: Default,Nanum  Gothic,18,"), std::string::npos);
    EXPECT_NE(ass.find("&HBF302010,0,0,0,0,100,100,0,0,1,0,0,7,"), std::string::npos);
    EXPECT_NE(ass.find("[Events]\nFormat:"), std::string::npos);
    EXPECT_EQ(ass.find("Dialogue"), std::string::npos);
}

} // namespace

TEST(MovText, SamplesAndDescriptionAsFfmpegsEncoderWritesThemFromTheScript)
{
    // Bytes ffmpeg 5.1 wrote (AssExport's script through its mov_text encoder) for this header
    // and these samples.
    TimedText tt;
    tt.header.width = 320;
    tt.header.height = 50;
    tt.header.backRgba = 0x10203040u;
    tt.header.boxTop = 1;
    tt.header.boxLeft = 2;
    tt.header.boxBottom = 3;
    tt.header.boxRight = 4;
    tt.header.fonts = { { 1, "Gulim" }, { 2, "Arial" } };
    tt.header.defaultStyle.fontSize = 24;
    tt.header.defaultStyle.rgba = 0xffff00ffu;
    auto style = [&](int from, int to, bool bold, bool italic, bool underlined, int font, int size, uint32_t rgba) {
        TimedTextStyle s = tt.header.defaultStyle;
        s.fromChar = from;
        s.toChar = to;
        s.bold = bold;
        s.italic = italic;
        s.underlined = underlined;
        s.fontId = font;
        s.fontSize = size;
        s.rgba = rgba;
        return s;
    };
    tt.samples = {
        { 100, u"Bold and italic",
            { style(0, 4, true, false, false, 1, 24, 0xffff00ff), style(9, 15, true, true, false, 1, 24, 0xffff00ff) } },
        { 504, u"Red \uD55C\uAE00 text\U0001F600 end",
            { style(4, 7, false, false, false, 1, 24, 0xff0000ff), style(8, 12, false, false, true, 2, 30, 0x00ff0080) } },
        { 900, u"  lead and trail  ", {} },
        { 1100, u"{\\b1} literal \\n and \\N and {x}", {} },
        { 1300, u"two\nlines", { style(2, 6, false, true, false, 1, 24, 0xffff00ff) } },
        { 1500, u"", {} },
    };
    const std::vector<std::string> expected = {
        "000f426f6c6420616e64206974616c6963000000227374796c00020000000400010118ffff00ff0009000f00010318ffff00ff",
        "001752656420ed959ceab8802074657874f09f988020656e64000000227374796c00020004000700010018ff0000ff0008000c0001041e0"
        "0ff0080",
        "00106c65616420616e6420747261696c2020",
        "001f7b5c62317d206c69746572616c205c6e20616e64205c4e20616e64207b787d",
        "000974776f0a6c696e6573000000167374796c00010002000600010218ffff00ff",
    };
    auto hex = [](const std::string &bytes) {
        std::string h;
        char buf[3];
        for (const unsigned char c : bytes) {
            std::snprintf(buf, sizeof buf, "%02x", c);
            h += buf;
        }
        return h;
    };
    const std::optional<MovTextDefaults> d = movTextDefaults(tt.header);
    ASSERT_TRUE(d);
    const std::vector<uint8_t> entry = movTextSampleEntry(tt.header, *d);
    EXPECT_EQ(hex(std::string(entry.begin(), entry.end())),
        "000000407478336700000000000000010000000001ff1020304000010002000300040000000000010018ffff00ff000000126674"
        "6162000100010547756c696d");
    const std::vector<AssEvent> events = timedTextEvents(tt);
    ASSERT_EQ(events.size(), expected.size());
    for (size_t i = 0; i < events.size(); ++i) {
        const std::optional<std::string> sample = movTextSample(events[i].text, *d);
        ASSERT_TRUE(sample) << events[i].text;
        EXPECT_EQ(hex(*sample), expected[i]) << events[i].text;
    }
    EXPECT_EQ(events[1].startCs, 50);
    EXPECT_EQ(events[1].endCs, 90);
    // What the script might carry otherwise is left to ffmpeg.
    EXPECT_FALSE(movTextSample("tab\there", *d));
    EXPECT_FALSE(movTextSample("   ", *d));
    EXPECT_FALSE(movTextSample("{\\pos(1,2)}x", *d));
}
