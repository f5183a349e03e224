#include "engine/ResultCheck.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A 10 s source at 25 fps with sound from 0 s, copied faithfully into an 8-bit 4:2:0 Main file.
ResultFigures faithful()
{
    ResultFigures f;
    f.frameRate = 25;
    f.sourceHasVideo = f.outputHasVideo = true;
    f.sourceHasAudio = f.outputHasAudio = true;
    f.sourceVideo = f.outputVideo = { 0, 10000 };
    f.sourceAudio = f.outputAudio = { 0, 10020 };
    f.outputFormat = VideoH264;
    f.outputProfile = QStringLiteral("Main@L3.1");
    f.outputChroma = QStringLiteral("4:2:0");
    f.outputBitDepth = 8;
    return f;
}

std::vector<ResultFault> faultsOf(const ResultFigures &f)
{
    std::vector<ResultFault> out;
    for (const ResultDifference &d : CompareResult(f))
        out.push_back(d.fault);
    return out;
}

using Faults = std::vector<ResultFault>;

TEST(ResultCheck, ToleranceIsAQuarterSecondOrOneFrame)
{
    EXPECT_EQ(ResultTolerance(25), 250);
    EXPECT_EQ(ResultTolerance(0), 250);
    EXPECT_EQ(ResultTolerance(2), 500);
    EXPECT_EQ(ResultTolerance(1), 1000);
}

TEST(ResultCheck, CorrectConversionsPass)
{
    EXPECT_EQ(faultsOf(faithful()), Faults{});

    // Within the tolerance, and beyond it by one frame at a low frame rate.
    ResultFigures f = faithful();
    f.outputVideo.duration = 10250;
    f.outputAudio.duration = 10270;
    EXPECT_EQ(faultsOf(f), Faults{});
    f = faithful();
    f.frameRate = 2;
    f.outputVideo.duration = 10500;
    f.outputAudio.duration = 10520;
    EXPECT_EQ(faultsOf(f), Faults{});

    // Sound that legitimately runs 3 s past the picture, and a late picture start kept
    // (the mux raises the sound's negative delay with it).
    f = faithful();
    f.sourceAudio = f.outputAudio = { 0, 13000 };
    EXPECT_EQ(faultsOf(f), Faults{});
    f = faithful();
    f.sourceVideo = { 1000, 10000 };
    f.outputAudio = { 0, 10020 };
    f.outputVideo = { 1000, 10000 };
    EXPECT_EQ(faultsOf(f), Faults{});

    // A re-encode that fills a late start of 1 s from 0 s.
    f = faithful();
    f.sourceVideo = { 1000, 10000 };
    f.outputVideo = { 0, 11000 };
    EXPECT_EQ(faultsOf(f), Faults{});

    // The sync re-mux lines the ends up on purpose.
    f = faithful();
    f.sourceAudio = { 0, 10500 };
    f.outputAudio = { 0, 10500 };
    f.outputVideo = { 500, 10000 };
    f.endsAligned = true;
    EXPECT_EQ(faultsOf(f), Faults{});

    // Figures the source does not give are not held against the result; a source
    // without sound needs none in the result.
    f = faithful();
    f.sourceVideo.duration = 0;
    f.sourceAudio.duration = 0;
    f.outputVideo.duration = 3000;
    EXPECT_EQ(faultsOf(f), Faults{});
    f = faithful();
    f.sourceHasAudio = f.outputHasAudio = false;
    EXPECT_EQ(faultsOf(f), Faults{});
}

TEST(ResultCheck, WrongResultsAreNamedWithTheirDifference)
{
    // Sound cut short: its duration, not also the sync it drags along.
    ResultFigures f = faithful();
    f.outputAudio.duration = 5010;
    auto diffs = CompareResult(f);
    ASSERT_EQ(diffs.size(), 1);
    EXPECT_EQ(diffs[0].fault, ResultFault::AudioDuration);
    EXPECT_EQ(diffs[0].text, QStringLiteral("sound lasts 5010 ms, the source's 10020 ms (-5010 ms)"));

    // Picture re-timed (VFR copied at 25 fps), picture shifted by a second, a late start
    // applied twice (filled by the re-encode and delayed by the mux).
    f = faithful();
    f.outputVideo.duration = 8000;
    EXPECT_EQ(faultsOf(f), Faults{ ResultFault::VideoDuration });
    f = faithful();
    f.outputVideo.delay = 1000;
    diffs = CompareResult(f);
    ASSERT_EQ(diffs.size(), 1);
    EXPECT_EQ(diffs[0].fault, ResultFault::Sync);
    EXPECT_EQ(diffs[0].text, QStringLiteral("sound ends -980 ms after the picture, in the source 20 ms (-1000 ms)"));
    f = faithful();
    f.sourceVideo = { 1000, 10000 };
    f.outputVideo = { 1000, 11000 };
    EXPECT_EQ(faultsOf(f), Faults{ ResultFault::Sync });
    // Just past the tolerance.
    f = faithful();
    f.outputAudio.delay = 251;
    EXPECT_EQ(faultsOf(f), Faults{ ResultFault::Sync });

    // Sound or picture missing.
    f = faithful();
    f.outputHasAudio = false;
    f.outputAudio = {};
    EXPECT_EQ(faultsOf(f), Faults{ ResultFault::NoAudio });
    f = faithful();
    f.outputHasVideo = false;
    EXPECT_EQ(faultsOf(f), Faults{ ResultFault::NoVideo });

    // A picture the device cannot decode, found together with a duration fault.
    f = faithful();
    f.outputProfile = QStringLiteral("High 4:4:4 Predictive@L3");
    f.outputChroma = QStringLiteral("4:4:4");
    f.outputAudio.duration = 2000;
    diffs = CompareResult(f);
    ASSERT_EQ(diffs.size(), 2);
    EXPECT_EQ(diffs[1].fault, ResultFault::Undecodable);
    EXPECT_EQ(diffs[1].text, QStringLiteral("picture High 4:4:4 Predictive@L3, 4:4:4, 8 bit, which the device does not decode"));
}

TEST(ResultCheck, DecodablePictures)
{
    const QString c420 = QStringLiteral("4:2:0");
    EXPECT_TRUE(DecodablePicture(VideoH264, QStringLiteral("High@L4.1"), c420, 8));
    EXPECT_TRUE(DecodablePicture(VideoH264, QStringLiteral("Main@L3.1"), c420, 8));
    EXPECT_TRUE(DecodablePicture(VideoH264, QStringLiteral("Baseline@L3"), QString(), 0));
    EXPECT_TRUE(DecodablePicture(VideoH264, QStringLiteral("Constrained Baseline@L3"), c420, 8));
    EXPECT_TRUE(DecodablePicture(VideoMpeg4Visual, QStringLiteral("Advanced Simple@L5"), c420, 8));
    EXPECT_TRUE(DecodablePicture(VideoMpeg4Visual, QStringLiteral("Simple@L1"), c420, 8));
    EXPECT_TRUE(DecodablePicture(VideoH264, QString(), QString(), 0));

    EXPECT_FALSE(DecodablePicture(VideoH264, QStringLiteral("High 4:4:4 Predictive@L3"), QStringLiteral("4:4:4"), 8));
    EXPECT_FALSE(DecodablePicture(VideoH264, QStringLiteral("High 4:2:2@L3"), QStringLiteral("4:2:2"), 8));
    EXPECT_FALSE(DecodablePicture(VideoH264, QStringLiteral("High 10@L3"), c420, 10));
    // The chroma or the depth alone is enough to refuse.
    EXPECT_FALSE(DecodablePicture(VideoH264, QStringLiteral("High@L3"), QStringLiteral("4:2:2"), 8));
    EXPECT_FALSE(DecodablePicture(VideoH264, QStringLiteral("High@L3"), c420, 10));
    EXPECT_FALSE(DecodablePicture(VideoWmv, QString(), c420, 8));
    // HEVC Main and Main 10 for today's devices only; never 4:2:2 or beyond 10 bits.
    EXPECT_TRUE(DecodablePicture(VideoHevc, QStringLiteral("Main 10@L4@Main"), c420, 10, true));
    EXPECT_TRUE(DecodablePicture(VideoHevc, QStringLiteral("Main@L3.1@Main"), c420, 8, true));
    EXPECT_FALSE(DecodablePicture(VideoHevc, QStringLiteral("Main 10@L4@Main"), c420, 10, false));
    EXPECT_FALSE(DecodablePicture(VideoHevc, QStringLiteral("Main@L3.1@Main"), c420, 8, false));
    EXPECT_FALSE(DecodablePicture(VideoHevc, QStringLiteral("Main@L3.1@Main"), c420, 10, true));
    EXPECT_FALSE(DecodablePicture(VideoHevc, QStringLiteral("Format Range@L4@Main"), QStringLiteral("4:2:2"), 10, true));
    EXPECT_FALSE(DecodablePicture(VideoHevc, QStringLiteral("Main 12@L4@Main"), c420, 12, true));
    // Today's devices still take H.264 at 8 bits only.
    EXPECT_FALSE(DecodablePicture(VideoH264, QStringLiteral("High 10@L4"), c420, 10, true));
    EXPECT_FALSE(DecodablePicture(VideoNone, QString(), QString(), 0));
}

TEST(ResultCheck, AudioLengthIsReadFromFfmpegsProgress)
{
    EXPECT_EQ(AudioLengthArguments(QStringLiteral("/m/a b.3gp"), 1, QStringLiteral("/w/resultcheck.txt")),
              QStringLiteral("-i \"/m/a b.3gp\" -map 0:a:1 -c copy -f null -progress \"/w/resultcheck.txt\" -"));
    const QByteArray progress = "bitrate=N/A\nout_time_us=1500000\nprogress=continue\n"
                                "out_time_us=N/A\nout_time_us=15232000\nout_time_ms=15232000\nprogress=end\n";
    EXPECT_EQ(ProgressEndMs(progress), 15232);
    EXPECT_EQ(ProgressEndMs("progress=end\nout_time_us=N/A\n"), -1);
    EXPECT_EQ(ProgressEndMs(QByteArray()), -1);
}

} // namespace
