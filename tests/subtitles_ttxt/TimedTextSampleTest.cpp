#include "subtitles/TimedTextSample.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

std::string restyled(std::string_view content)
{
    QByteArray out;
    TimedTextSample::restyle(
        QByteArrayView(content.data(), qsizetype(content.size())), "fontSize=\"18\"", out);
    return out.toStdString();
}

std::string style(int from, int to, const char *styles, const char *colour = "ff ff ff ff")
{
    return "<Style fromChar=\"" + std::to_string(from) + "\" toChar=\"" + std::to_string(to) + "\" styles=\""
        + styles + "\" fontID=\"1\" fontSize=\"18\" color=\"" + colour + "\"/>";
}

// An element as MP4Box writes it, attributes in its order.
std::string given(int from, int to, const char *styles, const char *colour = "ff ff ff ff")
{
    return "<Style styles=\"" + std::string(styles) + "\" fromChar=\"" + std::to_string(from) + "\" toChar=\""
        + std::to_string(to) + "\" fontID=\"1\" fontSize=\"18\" color=\"" + colour + "\"/>";
}

std::string colourOf(std::u16string_view tag)
{
    const auto colour = TimedTextSample::colourFromFontTag(tag);
    return colour ? std::string(colour->begin(), colour->end()) : std::string("none");
}

} // namespace

TEST(TimedTextSample, NumericReferencesCountAsOnePositionPerUnit)
{
    EXPECT_EQ(restyled("&#54620;"), "&#54620;");
    EXPECT_EQ(restyled("&#54620;ab" + given(1, 2, "Bold")), "&#54620;ab" + style(1, 2, "Bold"));
    // Beyond 16 bits: one reference out, two positions, like the two surrogates MP4Box counts.
    EXPECT_EQ(restyled("&#128512;x" + given(2, 3, "Bold")), "&#128512;x" + style(2, 3, "Bold"));
    EXPECT_EQ(restyled("&#55357;&#56832;"), "&#128512;");
    // Raw UTF-8 (not what MP4Box writes) is read as its characters.
    EXPECT_EQ(restyled("\xED\x95\x9C!"), "&#54620;!");
    EXPECT_EQ(restyled("&quot;&amp;&apos;&lt;&gt;\t&#127;"), "&quot;&amp;&apos;&lt;&gt;\t&#127;");
}

TEST(TimedTextSample, BrokenReferencesNeverLeaveTheContent)
{
    EXPECT_EQ(restyled("a&"), "a ");
    EXPECT_EQ(restyled("a & b"), "a  "); // the reference runs to the end of the content
    EXPECT_EQ(restyled("&#;x&#0;y"), "xy");
    EXPECT_EQ(restyled("&nbsp;x"), " x");
    EXPECT_EQ(restyled("&aposs;"), "&apos;");
    EXPECT_EQ(restyled("x&#60"), "x&lt;");
    EXPECT_EQ(restyled("&lt"), ""); // a space, then a line of spaces
    EXPECT_EQ(restyled(std::string_view("ab\0cd", 5)), "abcd");
    // Huge numbers neither overflow nor wrap round into markup such as "<" (65596 = 65536 + 60).
    EXPECT_EQ(restyled("&#99999999999999999999999999;"), "&#65533;");
    EXPECT_EQ(restyled("&#1114112;"), "&#65533;");
    EXPECT_EQ(restyled("&#65596;"), "&#65596;");
    // A lone lead byte at the end, and a "<" that opens nothing.
    EXPECT_EQ(restyled("a\xED"), "a&#237;");
    EXPECT_EQ(restyled("a<"), "a");
}

TEST(TimedTextSample, ReferencesLeftInSrtTextAreCharactersAfterTheMarkup)
{
    // SRT text keeps a literal '<' as "&lt;", which the timed-text file escapes once
    // more: it ends as the character, and never as a font tag.
    EXPECT_EQ(restyled("&amp;lt;b&amp;gt; &amp;amp; &amp;#54620;"), "&lt;b&gt; &amp; &#54620;");
    EXPECT_EQ(restyled("&amp;lt;font color=red&amp;gt;x" + given(0, 24, "Bold")),
              "&lt;font color=red&gt;x" + style(0, 17, "Bold"));
    // Real markup still colours, and positions after a reference stay aligned.
    EXPECT_EQ(restyled("&lt;font color=red&gt;a&amp;amp;b&lt;/font&gt;c" + given(30, 31, "Italic")),
              "a&amp;bc" + style(0, 3, "Normal", "ff 00 00 ff") + style(3, 4, "Italic"));
}

TEST(TimedTextSample, TidyDropsEmptyAndBlankLinesAndTheLastBreak)
{
    EXPECT_EQ(restyled("line1\r\nline2"), "line1\r\nline2");
    EXPECT_EQ(restyled(" \r\n\r\n  \n"), "");
    EXPECT_EQ(restyled("   " + given(0, 3, "Bold")), "");
    EXPECT_EQ(restyled("\n\nabc\n  \n def \n\n"), "abc\r\n def ");
    EXPECT_EQ(restyled("abc\n   "), "abc");
    // Cells leave with their characters.
    EXPECT_EQ(restyled(" \nab" + given(2, 4, "Bold")), "ab" + style(0, 2, "Bold"));
    // A carriage return given as a reference is a character here, though written as a break.
    EXPECT_EQ(restyled("a&#13;b"), "a\r\nb");
    EXPECT_EQ(restyled("a\n&#13;\nb"), "a\r\n\r\n\r\nb");
}

TEST(TimedTextSample, ExistingStylesAreClippedAndMerged)
{
    EXPECT_EQ(restyled("ab" + given(0, 9, "Bold ")), "ab" + style(0, 2, "Bold"));
    EXPECT_EQ(restyled("abcd" + given(0, 2, "Bold") + given(2, 4, "Bold")), "abcd" + style(0, 4, "Bold"));
    EXPECT_EQ(restyled("abcdef" + given(0, 3, "Bold") + given(2, 5, "Italic")),
        "abcdef" + style(0, 2, "Bold") + style(2, 3, "Bold Italic") + style(3, 5, "Italic"));
    EXPECT_EQ(
        restyled("ab" + given(0, 2, "Underlined Italic Bold")), "ab" + style(0, 2, "Bold Italic Underlined"));
    // Colours compare as text: the same colour in two cases makes two runs.
    EXPECT_EQ(restyled("abcd" + given(0, 2, "Normal", "FF 00 00 FF") + given(2, 4, "Normal", "ff 00 00 ff")),
        "abcd" + style(0, 2, "Normal", "FF 00 00 FF") + style(2, 4, "Normal", "ff 00 00 ff"));
    // Default cells write nothing; a colour not in four groups is ignored, its styles are not.
    EXPECT_EQ(restyled("ab" + given(0, 2, "Normal")), "ab");
    EXPECT_EQ(restyled("ab" + given(0, 2, "Bold", "ff0000ff")), "ab" + style(0, 2, "Bold"));
}

TEST(TimedTextSample, MalformedStyleElementsAreIgnored)
{
    EXPECT_EQ(restyled("ab<Style fromChar=\"0\" styles=\"Bold\"/>"), "ab");
    EXPECT_EQ(restyled("ab" + given(2, 1, "Bold") + given(5, 9, "Bold")), "ab");
    EXPECT_EQ(restyled("abcd<Style fromChar=\"x\" toChar=\"3abc\" styles=\"Ital\"/>"),
        "abcd" + style(0, 3, "Italic"));
    EXPECT_EQ(restyled("ab<Style fromChar=\"0\" toChar=\"2\" styles=\"Bold\""), "ab");
    EXPECT_EQ(restyled("ab<Style fromChar=\"0\" toChar=\"2/>"), "ab");
    EXPECT_EQ(
        restyled("ab<Style fromChar=\"99999999999999999999999\" toChar=\"99999999999999999999\"/>"), "ab");
    // Other elements do not survive: their positions would no longer fit the text.
    EXPECT_EQ(restyled("ab<HighLight fromChar=\"0\" toChar=\"2\"/>"), "ab");
}

TEST(TimedTextSample, FontMarkupBecomesColour)
{
    EXPECT_EQ(restyled("&lt;font color=&quot;#FF0000&quot;&gt;Hi&lt;/font&gt;"),
        "Hi" + style(0, 2, "Normal", "ff 00 00 ff"));
    EXPECT_EQ(restyled("&lt;FONT COLOR = Red&gt;x&lt;/FONT&gt;"), "x" + style(0, 1, "Normal", "ff 00 00 ff"));
    // Unquoted, the value stops at the space: "Dark" names nothing and has too few hex digits.
    EXPECT_EQ(restyled("&lt;font color=Dark Red&gt;x&lt;/font&gt;"), "x");
    EXPECT_EQ(restyled("&lt;font color=&apos;Dark Red&apos;&gt;x&lt;/font&gt;"),
        "x" + style(0, 1, "Normal", "8b 00 00 ff"));
    EXPECT_EQ(restyled("&lt;font face=&quot;Arial&quot;&gt;x&lt;/font&gt;"), "x");
    // Existing styles were placed on the text with its markup still in it.
    EXPECT_EQ(restyled("&lt;font color=red&gt;abc&lt;/font&gt;" + given(16, 19, "Bold")),
        "abc" + style(0, 3, "Bold", "ff 00 00 ff"));
}

TEST(TimedTextSample, ColourValuesFromHexNamesAndQuotes)
{
    EXPECT_EQ(colourOf(u"<font color=#12345>"), "none");
    EXPECT_EQ(colourOf(u"<font color=#1234G6>"), "none");
    EXPECT_EQ(colourOf(u"<font color=#ABCDEF99>"), "abcdef");
    EXPECT_EQ(colourOf(u"<font color=zz12ab34cd>"), "12ab34");
    EXPECT_EQ(colourOf(u"<font color=\"Light Grey\">"), "d3d3d3");
    EXPECT_EQ(colourOf(u"<font color=LightGray>"), "none");
    EXPECT_EQ(colourOf(u"<font color=AMETHYST>"), "9966cc");
    EXPECT_EQ(colourOf(u"<font color=red,blue>"), "ff0000");
    EXPECT_EQ(colourOf(u"<font color=red/>"), "ff0000");
    EXPECT_EQ(colourOf(u"<font color=\"red"), "ff0000"); // quote never closed, tag runs to the end
    EXPECT_EQ(colourOf(u"<font color=\"red>"), "none"); // ... and so takes the ">" along
    EXPECT_EQ(colourOf(u"<font colour=red>"), "none");
    EXPECT_EQ(colourOf(u"<font color red>"), "none");
    EXPECT_EQ(colourOf(u"<font color="), "none");
    EXPECT_EQ(colourOf(u"<fon"), "none");
    // Each unit is taken by its low byte: U+0123 reads as "#".
    EXPECT_EQ(colourOf(u"<font color=\u0123a0b0c0>"), "a0b0c0");
}

TEST(TimedTextSample, NestedAndUnclosedFontTags)
{
    // The inner tag is handled first; the outer one then colours its whole span.
    EXPECT_EQ(restyled("&lt;font color=red&gt;a&lt;font color=blue&gt;b&lt;/font&gt;c&lt;/font&gt;"),
        "abc" + style(0, 3, "Normal", "ff 00 00 ff"));
    EXPECT_EQ(restyled("&lt;font size=2&gt;a&lt;font color=blue&gt;b&lt;/font&gt;c&lt;/font&gt;"),
        "abc" + style(1, 2, "Normal", "00 00 ff ff"));
    EXPECT_EQ(restyled("&lt;font color=red&gt;a&lt;/font&gt;&lt;font color=blue&gt;b&lt;/font&gt;"),
        "ab" + style(0, 1, "Normal", "ff 00 00 ff") + style(1, 2, "Normal", "00 00 ff ff"));
    EXPECT_EQ(restyled("&lt;font color=lime&gt;abc"), "abc" + style(0, 3, "Normal", "00 ff 00 ff"));
    EXPECT_EQ(restyled("&lt;font color=red&gt;ab&lt;/font"), "ab" + style(0, 2, "Normal", "ff 00 00 ff"));
    EXPECT_EQ(restyled("ab&lt;font color=red"), "ab");
    EXPECT_EQ(restyled("ab&lt;font"), "ab");
    EXPECT_EQ(restyled("a&lt;/font&gt;b&lt;fon"), "a&lt;/font&gt;b&lt;fon");
    // A tag left by the removal of another one is handled too.
    EXPECT_EQ(restyled("&lt;fo&lt;font&gt;nt color=red&gt;x"), "x" + style(0, 1, "Normal", "ff 00 00 ff"));
}

TEST(TimedTextSample, EmptyContentStaysEmpty)
{
    EXPECT_EQ(restyled(""), "");
    EXPECT_EQ(restyled(given(0, 3, "Bold")), "");
}
