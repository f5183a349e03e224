#include "runner/ProgressParser.h"

#include <gtest/gtest.h>

using namespace runner;

namespace {

std::optional<QString> line(const QByteArray &chunk)
{
    return progressLine(cleanChunk(chunk));
}

} // namespace

TEST(ProgressLine, BarePercentage)
{
    EXPECT_EQ(line("  45%\r"), QStringLiteral("  45%"));
    EXPECT_EQ(line("7%"), QStringLiteral("7%"));
    // Preceded by a line break the position falls on the break: nothing.
    EXPECT_EQ(line("\r  45%\r"), std::nullopt);
    // Two percent signs or another byte make it an ordinary short chunk.
    EXPECT_EQ(line("4%5%"), std::nullopt);
    EXPECT_EQ(line("%"), std::nullopt);
    EXPECT_EQ(line("x45%"), std::nullopt);
}

TEST(ProgressLine, ShortChunksShowNothing)
{
    EXPECT_EQ(line(""), std::nullopt);
    EXPECT_EQ(line("abc"), std::nullopt);
    EXPECT_EQ(line("12345"), std::nullopt);
    // Six bytes and no pattern: the last line is shown.
    EXPECT_EQ(line("abcdef"), QStringLiteral("abcdef"));
}

TEST(ProgressLine, EncoderStatusLineFoundByTimePattern)
{
    const QByteArray status = "frame=  812 fps= 41 q=28.0 size=    2048kB time=32.40 bitrate= 517.8kbits/s";
    EXPECT_EQ(line(status + "\r"), QString::fromLatin1(status));
    // The last matching line of a chunk wins; later lines without a pattern are passed over.
    EXPECT_EQ(line("frame=1 time=1.0\rframe=2 time=2.0\rdone\n"), QStringLiteral("frame=2 time=2.0"));
}

TEST(ProgressLine, EachPatternIsFound)
{
    const char *lines[] = {
        "Downmixing: 12",       // "mixing"
        "Frame# 123 of 900",    // "Frame#"
        "Progress: 45.2 %",     // "ogress"
        "Importing ISO File",   // "mporti"
        "Writing block 7",      // "riting"
        "elapsed  3:07 left",   // clock
    };
    for (const char *l : lines) {
        const QByteArray chunk = QByteArray(l) + "\nlast line with nothing\n";
        EXPECT_EQ(line(chunk), QString::fromLatin1(l)) << l;
    }
}

TEST(ProgressLine, PatternAtTheVeryEndCannotMatch)
{
    // "riting" as the final six bytes starts at n-6, which the scan reaches, but
    // a six-byte pattern starting at n-5 would run into the terminator: check the
    // boundary both ways.
    EXPECT_EQ(line("xx\nWriting"), QStringLiteral("Writing"));
    EXPECT_EQ(line("abc\nzriting"), QStringLiteral("zriting"));
    // A clock in the last five bytes is found.
    EXPECT_EQ(line("aaaa\n12:34"), QStringLiteral("12:34"));
}

TEST(ProgressLine, LastLineEndingInABreakWithoutPatternShowsNothing)
{
    EXPECT_EQ(line("some text\nmore text\n"), std::nullopt);
    EXPECT_EQ(line("some text\r\n"), std::nullopt);
    // Without the final break the last line is shown.
    EXPECT_EQ(line("some text\nmore text"), QStringLiteral("more text"));
}

TEST(ProgressLine, TabIsPartOfTheLineOtherControlsAreNot)
{
    EXPECT_EQ(line("a\tb time=3\x01rest"), QStringLiteral("a\tb time=3"));
}

TEST(ProgressLine, ProcessedSecondsIsNormalised)
{
    EXPECT_EQ(line("Processed 42 seconds... (ETA 0:10)\r"), QStringLiteral("Processed 42 seconds..."));
    EXPECT_EQ(line("Processed 42 s\r"), QStringLiteral("Processed 42 seconds..."));
    // No space after the number: nothing is shown.
    EXPECT_EQ(line("Processed 12"), std::nullopt);
    EXPECT_EQ(line("Processed 12\r"), std::nullopt);
}

TEST(ProgressLine, BackspacesBecomeSpacesBeforeParsing)
{
    EXPECT_EQ(cleanChunk("50%\b\b\b"), QByteArray("50%   "));
    EXPECT_EQ(line("\b\b\b\b 45%"), QStringLiteral("     45%"));
    EXPECT_EQ(line("Progress: 10\b\b20"), QStringLiteral("Progress: 10  20"));
}

TEST(ProgressLine, PressAnyKeyAndEverythingAfterIsCut)
{
    EXPECT_EQ(cleanChunk("done 12:00\r\nPress any key to continue . . .\r\nmore"), QByteArray("done 12:00\r\n"));
    EXPECT_EQ(line("Writing 99\r\nPress any key to continue . . . Writing 100"), QStringLiteral("Writing 99"));
    EXPECT_EQ(line("Press any key to continue . . ."), std::nullopt);
}

TEST(ProgressLine, TextStopsAtAnEmbeddedNul)
{
    EXPECT_EQ(line(QByteArray("Writing 1\0Writing 2", 19)), QStringLiteral("Writing 1"));
}

TEST(ProgressLine, HighBytesWidenOneToOne)
{
    const std::optional<QString> l = line("caf\xE9 time=1");
    ASSERT_TRUE(l);
    EXPECT_EQ(l->size(), 11);
    EXPECT_EQ(l->at(3).unicode(), 0xE9);
}
