#include "Tx3g.h"

#include <gtest/gtest.h>

using namespace mp4box;

namespace {

void put16(std::vector<uint8_t> *v, int x)
{
    v->push_back(static_cast<uint8_t>(x >> 8));
    v->push_back(static_cast<uint8_t>(x));
}

void put32(std::vector<uint8_t> *v, uint32_t x)
{
    put16(v, static_cast<int>(x >> 16));
    put16(v, static_cast<int>(x & 0xffff));
}

void styleRecord(std::vector<uint8_t> *v, int from, int to, int face, int size, uint32_t rgba)
{
    put16(v, from);
    put16(v, to);
    put16(v, 1);
    v->push_back(static_cast<uint8_t>(face));
    v->push_back(static_cast<uint8_t>(size));
    put32(v, rgba);
}

TEST(Tx3g, StyleOffsetsCountCharactersNotBytes)
{
    // "한 😀\r\nab": the Hangul syllable is 3 bytes, the emoji 4 bytes and two UTF-16 units.
    const std::string text = "\xED\x95\x9C \xF0\x9F\x98\x80\r\nab";
    std::vector<uint8_t> d;
    put16(&d, static_cast<int>(text.size()));
    d.insert(d.end(), text.begin(), text.end());
    put32(&d, 10 + 2 * 12);
    d.insert(d.end(), { 's', 't', 'y', 'l' });
    put16(&d, 2);
    styleRecord(&d, 0, 1, 1, 24, 0xffffffff); // the syllable, bold
    styleRecord(&d, 5, 7, 6, 0, 0x00ff00ff); // "ab" (after the emoji and CR LF), italic underlined
    TimedTextStyle defaults;
    defaults.fontSize = 30;
    TimedTextSample s;
    ASSERT_TRUE(parseTx3gSample(d, defaults, &s));
    EXPECT_EQ(s.text, u"\uD55C \U0001F600\nab");
    ASSERT_EQ(s.styles.size(), 2u);
    EXPECT_EQ(s.styles[0].fromChar, 0);
    EXPECT_EQ(s.styles[0].toChar, 1);
    EXPECT_TRUE(s.styles[0].bold);
    EXPECT_EQ(s.styles[0].fontSize, 24);
    EXPECT_EQ(s.styles[1].fromChar, 5);
    EXPECT_EQ(s.styles[1].toChar, 7);
    EXPECT_TRUE(s.styles[1].italic && s.styles[1].underlined && !s.styles[1].bold);
    EXPECT_EQ(s.styles[1].fontSize, 30); // 0 means the description's size
    EXPECT_EQ(s.styles[1].rgba, 0x00ff00ffu);
}

TEST(Tx3g, DamagedSamplesAreRefused)
{
    TimedTextSample s;
    EXPECT_FALSE(parseTx3gSample({}, TimedTextStyle {}, &s));
    EXPECT_FALSE(parseTx3gSample({ 0x00, 0x05, 'a' }, TimedTextStyle {}, &s));
    // A style box that claims more than the sample holds is ignored, the text kept.
    std::vector<uint8_t> d { 0x00, 0x01, 'a' };
    put32(&d, 200);
    d.insert(d.end(), { 's', 't', 'y', 'l', 0x00, 0x09 });
    TimedTextSample t;
    ASSERT_TRUE(parseTx3gSample(d, TimedTextStyle {}, &t));
    EXPECT_EQ(t.text, u"a");
    EXPECT_TRUE(t.styles.empty());
}

TEST(Tx3g, SampleDescription)
{
    std::vector<uint8_t> e;
    put32(&e, 0); // size, set below
    e.insert(e.end(), { 't', 'x', '3', 'g', 0, 0, 0, 0, 0, 0, 0, 1 });
    put32(&e, 0); // display flags
    e.push_back(1); // centre
    e.push_back(0xff); // bottom
    put32(&e, 0x00000000); // transparent back colour
    for (int v : { 0, 0, 60, 400 })
        put16(&e, v);
    styleRecord(&e, 0, 0, 0, 36, 0xffffffff);
    put32(&e, 8 + 2 + 3 + 5);
    e.insert(e.end(), { 'f', 't', 'a', 'b', 0, 1, 0, 1, 5, 'S', 'e', 'r', 'i', 'f' });
    e[3] = static_cast<uint8_t>(e.size());
    TimedTextHeader h;
    ASSERT_TRUE(parseTx3gSampleEntry(e, &h));
    EXPECT_EQ(h.horizontalJustification, 1);
    EXPECT_EQ(h.verticalJustification, -1);
    EXPECT_EQ(h.backRgba, 0u);
    EXPECT_EQ(h.boxBottom, 60);
    EXPECT_EQ(h.boxRight, 400);
    EXPECT_EQ(h.defaultStyle.fontSize, 36);
    ASSERT_EQ(h.fonts.size(), 1u);
    EXPECT_EQ(h.fonts[0].name, "Serif");
    e[7] = 't'; // "tx3t" is no tx3g description
    EXPECT_FALSE(parseTx3gSampleEntry(e, &h));
}

} // namespace
