#include "subtitles/SamiToSrtConverter.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testfiles;

namespace {

// The SRT text of every class, lines shown with "\n".
QStringList srtOf(const char *sami)
{
    QStringList out;
    for (const auto &track : SamiToSrtConverter::convertText(QString::fromUtf8(sami)))
        out.append(QString(track.name + QLatin1Char('|') + track.srt).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    return out;
}

QString cue(const char *raw)
{
    return SamiToSrtConverter::convertCueText(QString::fromUtf8(raw)).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

class SamiFiles : public ::testing::Test
{
protected:
    void SetUp() override { unsetenv("MARBLEWAY_ANSI_CODEPAGE"); }
    Folder in;
    Folder out;
};

} // namespace

TEST_F(SamiFiles, KoreanFileWithTwoClassesGivesOneSrtPerClass)
{
    const QString source = in.write(QStringLiteral("영화 제목.smi"), readFile(fixture(QStringLiteral("korean_cp949.smi"))));
    QStringList results{QStringLiteral("stale entry")};
    EXPECT_EQ(SamiToSrtConverter().Convert(source, results, out.path()), 2);

    const QString kr = out.file(QStringLiteral("영화 제목.smi.1.srt"));
    const QString en = out.file(QStringLiteral("영화 제목.smi.2.srt"));
    EXPECT_EQ(results, (QStringList{QStringLiteral("\"KRCC\"") + kr, QStringLiteral("\"ENCC\"") + en}));
    EXPECT_EQ(readable(readFile(kr)), readable(readFile(fixture(QStringLiteral("korean_cp949.smi.1.srt.expected")))));
    EXPECT_EQ(readable(readFile(en)), readable(readFile(fixture(QStringLiteral("korean_cp949.smi.2.srt.expected")))));
    // Byte-exact too: byte-order mark and CR LF.
    EXPECT_EQ(readFile(kr), readFile(fixture(QStringLiteral("korean_cp949.smi.1.srt.expected"))));
    EXPECT_EQ(filesIn(in.path()).size(), 1) << "nothing is written beside the source";
}

TEST_F(SamiFiles, FailuresWriteNothingAndKeepTheResultList)
{
    QStringList results{QStringLiteral("kept")};
    EXPECT_EQ(SamiToSrtConverter().Convert(in.file(QStringLiteral("missing.smi")), results, out.path()), -1);
    const QString noParagraph = in.write(QStringLiteral("a.smi"), "<SAMI><BODY><SYNC Start=1>text</BODY></SAMI>");
    EXPECT_EQ(SamiToSrtConverter().Convert(noParagraph, results, out.path()), 0);
    EXPECT_EQ(results, QStringList{QStringLiteral("kept")});
    EXPECT_TRUE(filesIn(out.path()).isEmpty());
}

TEST_F(SamiFiles, UnwritableOutputFolderIsAFailureNotAListOfMissingFiles)
{
    const QString source = in.write(QStringLiteral("a.smi"), "<SYNC Start=1><P Class=KRCC>x");
    QStringList results;
    EXPECT_EQ(SamiToSrtConverter().Convert(source, results, out.file(QStringLiteral("missing/"))), 0);
    EXPECT_TRUE(results.isEmpty());
}

TEST_F(SamiFiles, EmptyClassStillGetsItsFile)
{
    const QString source = in.write(QStringLiteral("b.smi"),
                                    "<SYNC Start=1><P Class=A>x<SYNC Start=2><P Class=B>&nbsp;<P>y");
    QStringList results;
    EXPECT_EQ(SamiToSrtConverter().Convert(source, results, out.path()), 3);
    EXPECT_EQ(results.at(1), QStringLiteral("\"B\"") + out.file(QStringLiteral("b.smi.2.srt")));
    EXPECT_EQ(results.at(2), QStringLiteral("\"\"") + out.file(QStringLiteral("b.smi.3.srt")));
    EXPECT_EQ(readFile(out.file(QStringLiteral("b.smi.2.srt"))), QByteArray("\xEF\xBB\xBF"));
}

TEST(SamiCues, TimesComeFromTheNextEntryOrTenSecondsLater)
{
    EXPECT_EQ(srtOf("<SYNC Start=1000><P Class=KRCC>Hello<br>World <SYNC Start=3000><P Class=KRCC>&nbsp;"),
              QStringList{QStringLiteral("KRCC|1\n00:00:01,000 --> 00:00:03,000\nHello\nWorld\n\n")});
    EXPECT_EQ(srtOf("<sync start=3723004><p>x"),
              QStringList{QStringLiteral("|1\n01:02:03,004 --> 01:02:13,004\nx\n\n")});
}

TEST(SamiCues, EntriesAreSortedAndExactRepeatsMerged)
{
    EXPECT_EQ(srtOf("<SYNC Start=5000><P Class=K>late"
                    "<SYNC Start=1000><P Class=K>early"
                    "<SYNC Start=1000><P Class=K>early"
                    "<SYNC Start=2000><P Class=K>b"
                    "<SYNC Start=2000><P Class=K>a"),
              QStringList{QStringLiteral("K|"
                                         "1\n00:00:01,000 --> 00:00:02,000\nearly\n\n"
                                         "2\n00:00:02,000 --> 00:00:02,000\na\n\n"
                                         "3\n00:00:02,000 --> 00:00:05,000\nb\n\n"
                                         "4\n00:00:05,000 --> 00:00:15,000\nlate\n\n")});
}

TEST(SamiCues, ClassesInOrderOfFirstAppearanceAndParagraphsShareTheirSync)
{
    // Two paragraphs under one sync tag; classes compared case-sensitively.
    EXPECT_EQ(srtOf("<SYNC Start=1000><P Class=ENCC>one<P Class=KRCC>하나<p class=encc>lower"
                    "<SYNC Start=2000><P Class=KRCC>둘"),
              (QStringList{QStringLiteral("ENCC|1\n00:00:01,000 --> 00:00:11,000\none\n\n"),
                           QStringLiteral("KRCC|1\n00:00:01,000 --> 00:00:02,000\n하나\n\n"
                                          "2\n00:00:02,000 --> 00:00:12,000\n둘\n\n"),
                           QStringLiteral("encc|1\n00:00:01,000 --> 00:00:11,000\nlower\n\n")}));
    // A paragraph before the first sync names a class but carries no cue;
    // class names keep only letters and digits.
    EXPECT_EQ(srtOf("<P Class=\"Head-1\">title<SYNC Start=1><P Class=\"Head-1\">x"),
              QStringList{QStringLiteral("Head1|1\n00:00:00,001 --> 00:00:10,001\nx\n\n")});
}

TEST(SamiCues, SyncTimesFromEveryDigit)
{
    EXPECT_EQ(srtOf("<SYNC Start=1000 End=2000><P>x"),
              QStringList{QStringLiteral("|1\n02:46:42,000 --> 02:46:52,000\nx\n\n")});
    EXPECT_EQ(srtOf("<SYNC><P>x"), QStringList{QStringLiteral("|1\n00:00:00,000 --> 00:00:10,000\nx\n\n")});
    // A sync tag without a paragraph of its own gives way to nothing: the
    // next paragraph still belongs to the first one.
    EXPECT_EQ(srtOf("<SYNC Start=1000>lost<SYNC Start=2000><P>x"),
              QStringList{QStringLiteral("|1\n00:00:01,000 --> 00:00:11,000\nx\n\n")});
    // A number too big for 32 bits stays the biggest time instead of wrapping
    // round, and its end is not pushed past the wrap either.
    EXPECT_EQ(srtOf("<SYNC Start=1000><P>a<SYNC Start=99999999999999999999999><P>b"),
              QStringList{QStringLiteral("|1\n00:00:01,000 --> 1193:02:47,295\na\n\n"
                                         "2\n1193:02:47,295 --> 1193:02:57,295\nb\n\n")});
}

TEST(SamiCues, BodyEndsAtTheClosingBodyOrSamiTag)
{
    EXPECT_EQ(srtOf("<BODY><SYNC Start=1><P>in</BODY><SYNC Start=2><P Class=X>out"),
              QStringList{QStringLiteral("|1\n00:00:00,001 --> 00:00:10,001\nin\n\n")});
    EXPECT_EQ(srtOf("<SYNC Start=1><P>in\r</sami >\r<P Class=X>"),
              QStringList{QStringLiteral("|1\n00:00:00,001 --> 00:00:10,001\nin\n\n")});
    // A closing tag before the first sync does not end the body.
    EXPECT_EQ(srtOf("<head></body></head><SYNC Start=1><P>x"),
              QStringList{QStringLiteral("|1\n00:00:00,001 --> 00:00:10,001\nx\n\n")});
}

TEST(SamiCueText, TagTable)
{
    EXPECT_EQ(cue("<font color=red>red</font>"), QStringLiteral("<font color=red>red</font>"));
    EXPECT_EQ(cue("<FONT>plain"), QStringLiteral("<font >plain"));
    EXPECT_EQ(cue("<font   face=\"굴림\"  >x"), QStringLiteral("<font face=\"굴림\">x"));
    EXPECT_EQ(cue("<BIG>a</BIG> <img src=x>b</img> c</br>"), QStringLiteral("<b>a</b> <i>b</i> c</b>"));
    EXPECT_EQ(cue("<U>u</U><span>s</span><ruby>r<rt>t</rt></ruby><!-- note -->"), QStringLiteral("<u>u</u>srt"));
    EXPECT_EQ(cue("a<BR>b< br >c<br/>d<>e"), QStringLiteral("a\nb\nc\nde"));
    EXPECT_EQ(cue("&amp; &lt; 1&nbsp;2&NBSP3"), QStringLiteral("&amp; &lt; 1 2 3"));
}

TEST(SamiCueText, CharacterReferencesAreDecodedButMarkupStaysText)
{
    EXPECT_EQ(cue("&quot;A&quot; &#54620;&#xAE00;&hellip; &LT;b&gt; &#62; &AMP;"),
              QStringLiteral("\"A\" 한글\u2026 &lt;b&gt; &gt; &amp;"));
    // A reference is never read as a tag: "&lt;br&gt;" is no line break.
    EXPECT_EQ(cue("a&lt;br&gt;b"), QStringLiteral("a&lt;br&gt;b"));
}

TEST(SamiCueText, EmptyPairsAndBlanksAreTidied)
{
    EXPECT_EQ(cue("<b></b>text"), QStringLiteral("text"));
    EXPECT_EQ(cue("text<i>  \r "), QStringLiteral("text"));
    EXPECT_EQ(cue("a<font color=red> </font>b"), QStringLiteral("a b"));
    EXPECT_EQ(cue("x<font color=red>"), QStringLiteral("x"));
    // Emptying the inner pair empties the outer one, and the blank it held starts the line.
    EXPECT_EQ(cue("<b><i> </i></b>x"), QStringLiteral("x"));
    EXPECT_EQ(cue("x<u><b><i></i></b> \r</u>"), QStringLiteral("x"));
    // Pairs of different kinds, or with text inside, stay.
    EXPECT_EQ(cue("<i><b></i></b>"), QStringLiteral("<i><b></i></b>"));
    EXPECT_EQ(cue("<i>a<i> </i></i>"), QStringLiteral("<i>a </i>"));
    // Every line loses its leading blanks (the source's indentation), not only the first.
    EXPECT_EQ(cue("  a  <br>  b \r\r\r \t c  "), QStringLiteral("a\nb\nc"));
    EXPECT_EQ(cue("&nbsp;"), QString());
}

TEST(SamiCues, CommentsAreSkippedAndClassesComeFromTheClassAttribute)
{
    // A comment holding a '>' and one around a whole sync are no text; other
    // attributes of the paragraph tag are not part of its class.
    EXPECT_EQ(srtOf("<SAMI><BODY>\r\n"
                    "<SYNC Start=1000><P Class=KRCC Style=\"x\">a<!-- note -> b > c -->b\r\n"
                    "<!-- <SYNC Start=1500><P Class=KRCC>hidden -->\r\n"
                    "<SYNC Start=2000><P class=\"KRCC\" id=s1>c\r\n"
                    "<SYNC Start=3000><P Style=y>no class\r\n"),
              (QStringList{ QStringLiteral("KRCC|1\n00:00:01,000 --> 00:00:02,000\nab\n\n"
                                           "2\n00:00:02,000 --> 00:00:12,000\nc\n\n"),
                            QStringLiteral("|1\n00:00:03,000 --> 00:00:13,000\nno class\n\n") }));
    // An unclosed comment is left to the old reading.
    EXPECT_EQ(srtOf("<SYNC Start=1><P Class=A>x<!-- y"), QStringList{QStringLiteral("A|1\n00:00:00,001 --> 00:00:10,001\nx\n\n")});
}

TEST(SamiRobustness, MalformedInputStaysInsideTheText)
{
    // Each of these once walked off the end of a buffer somewhere; what they
    // give is pinned so that a change is seen.
    EXPECT_EQ(cue("<"), QString());
    EXPECT_EQ(cue("abc<"), QStringLiteral("abc"));
    EXPECT_EQ(cue("a<b"), QStringLiteral("a")); // "<b>" with nothing after it
    EXPECT_EQ(cue("&"), QStringLiteral("&"));
    EXPECT_EQ(cue("&nbs"), QStringLiteral("&nbs"));
    EXPECT_EQ(cue("x&nbsp"), QStringLiteral("x"));
    EXPECT_EQ(cue(""), QString());
    EXPECT_EQ(cue("<font"), QString());
    EXPECT_EQ(cue("<font <i>"), QString());

    EXPECT_TRUE(srtOf("").isEmpty());
    EXPECT_TRUE(srtOf("<").isEmpty());
    EXPECT_TRUE(srtOf("<P").isEmpty());
    EXPECT_TRUE(srtOf("<SYNC Start=1><P Class=A").isEmpty()) << "an unclosed paragraph is no tag";
    EXPECT_EQ(srtOf("<SYNC Start=1><P>"), QStringList{QStringLiteral("|")});
    EXPECT_EQ(srtOf("<P><SYNC Start=1"), QStringList{QStringLiteral("|")});
    EXPECT_EQ(srtOf("<SYNC Start=1><P Class=A><SYNC Start=2><P Class=A>"), QStringList{QStringLiteral("A|")});
    EXPECT_EQ(srtOf("<SYNC Start=1><P>a<"), QStringList{QStringLiteral("|1\n00:00:00,001 --> 00:00:10,001\na\n\n")});
    EXPECT_EQ(srtOf("<SYNC Start=1 <P>a"), QStringList{QStringLiteral("|")});
}
