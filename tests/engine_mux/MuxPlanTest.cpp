#include "engine/MuxPlan.h"
#include "engine/VideoCopyPlan.h"

#include <gtest/gtest.h>

namespace {

QString u(const char16_t *s)
{
    return QString::fromUtf16(s);
}

TEST(ComposeHangulJamo, ComposesLeadingVowelAndOptionalTrailingJamo)
{
    // 한 = ᄒ ᅡ ᆫ, 글 = ᄀ ᅳ ᆯ; 가 has no trailing consonant.
    EXPECT_EQ(ComposeHangulJamo(u(u"\u1112\u1161\u11AB\u1100\u1173\u11AF")), u(u"한글"));
    EXPECT_EQ(ComposeHangulJamo(u(u"\u1100\u1161 x")), u(u"가 x"));
    // The first and last syllables of the block.
    EXPECT_EQ(ComposeHangulJamo(u(u"\u1100\u1161")), u(u"\uAC00"));
    EXPECT_EQ(ComposeHangulJamo(u(u"\u1112\u1175\u11C2")), u(u"\uD7A3"));
}

TEST(ComposeHangulJamo, LeavesEverythingElseAlone)
{
    EXPECT_EQ(ComposeHangulJamo(QStringLiteral("movie 2010")), QStringLiteral("movie 2010"));
    EXPECT_EQ(ComposeHangulJamo(u(u"한글")), u(u"한글"));
    // Compatibility jamo, a lone leading consonant, a vowel without a lead, a lead at the end.
    EXPECT_EQ(ComposeHangulJamo(u(u"\u3131\u314F")), u(u"\u3131\u314F"));
    EXPECT_EQ(ComposeHangulJamo(u(u"\u1100x\u1161")), u(u"\u1100x\u1161"));
    EXPECT_EQ(ComposeHangulJamo(u(u"a\u1100")), u(u"a\u1100"));
    EXPECT_EQ(ComposeHangulJamo(QString()), QString());
}

TEST(OutputBaseName, CutsFolderAndLastExtension)
{
    EXPECT_EQ(OutputBaseName(QStringLiteral("/videos/a.b.avi")), QStringLiteral("a.b"));
    EXPECT_EQ(OutputBaseName(QStringLiteral("/videos/noext")), QStringLiteral("noext"));
    EXPECT_EQ(OutputBaseName(u(u"/v/\u1112\u1161\u11AB.mkv")), u(u"한"));
}

TEST(Gcd, BinaryMethodWithZeroArguments)
{
    EXPECT_EQ(Gcd(106650, 90000), 450);
    EXPECT_EQ(Gcd(900, 1000), 100);
    EXPECT_EQ(Gcd(7, 13), 1);
    EXPECT_EQ(Gcd(48, 18), 6);
    EXPECT_EQ(Gcd(0, 5), 5);
    EXPECT_EQ(Gcd(5, 0), 5);
    EXPECT_EQ(Gcd(0, 0), 0);
    EXPECT_EQ(Gcd(1 << 20, 1 << 12), 1 << 12);
}

void expectRatio(const AspectRatio &r, int n, int d)
{
    EXPECT_EQ(r.n, n);
    EXPECT_EQ(r.d, d);
}

TEST(PixelAspect, SourceRatiosOfTheWorkedExamples)
{
    expectRatio(SourcePixelAspect(1.0), 1, 1);
    expectRatio(SourcePixelAspect(0.9), 9, 10);
    expectRatio(SourcePixelAspect(1.185), 237, 200);
    expectRatio(SourcePixelAspect(0.888888888889), 8, 9);
    // Not reported (the report's -100), zero and tiny values are square pixels.
    expectRatio(SourcePixelAspect(-100.0), 1, 1);
    expectRatio(SourcePixelAspect(0.0), 1, 1);
    expectRatio(SourcePixelAspect(0.00000001), 1, 1);
    EXPECT_EQ(ParOption(SourcePixelAspect(1.0)), QStringLiteral(" -par 1=1:1"));
    EXPECT_EQ(ParOption(SourcePixelAspect(1.185)), QStringLiteral(" -par 1=237:200"));
}

TEST(PixelAspect, TargetByModeWithInclusiveBounds)
{
    const AspectRatio wide = SourcePixelAspect(1.185);
    expectRatio(TargetPixelAspect(wide, 0, 720, 480), 237, 200);
    expectRatio(TargetPixelAspect(wide, 1, 720, 480), 1, 1);
    expectRatio(TargetPixelAspect(wide, 2, 720, 480), 237, 200);
    expectRatio(TargetPixelAspect(SourcePixelAspect(1.6), 2, 720, 480), 1, 1);
    expectRatio(TargetPixelAspect(SourcePixelAspect(1.6), 3, 720, 480), 8, 5);
    expectRatio(TargetPixelAspect(SourcePixelAspect(1.5), 2, 720, 480), 3, 2);  // bound kept
    expectRatio(TargetPixelAspect(SourcePixelAspect(2.0), 3, 720, 480), 2, 1);  // bound kept
    expectRatio(TargetPixelAspect(SourcePixelAspect(2.1), 3, 720, 480), 1, 1);
    expectRatio(TargetPixelAspect(SourcePixelAspect(0.5), 3, 720, 480), 1, 2);
    expectRatio(TargetPixelAspect(SourcePixelAspect(0.45), 3, 720, 480), 1, 1);
    expectRatio(TargetPixelAspect(SourcePixelAspect(0.6), 2, 720, 480), 1, 1);
}

TEST(PixelAspect, DisplayShapeModesAndUnknownSize)
{
    // 720x480 shown as 3:2 is square; as 4:3, 4*480 : 3*720 = 8:9.
    const AspectRatio r4 = TargetPixelAspect(AspectRatio(), 4, 720, 480);
    expectRatio(r4, 1, 1);
    const AspectRatio r5 = TargetPixelAspect(AspectRatio(), 5, 720, 480);
    expectRatio(r5, 8, 9);
    EXPECT_DOUBLE_EQ(r5.value, 8.0 / 9.0);
    expectRatio(TargetPixelAspect(AspectRatio(), 4, 640, 360), 27, 32);
    // An unknown picture size falls back to square pixels instead of dividing by zero.
    expectRatio(TargetPixelAspect(SourcePixelAspect(0.9), 4, 0, 0), 1, 1);
    expectRatio(TargetPixelAspect(SourcePixelAspect(0.9), 5, 720, 0), 1, 1);
}

TEST(MuxArgs, TheMkvExampleString)
{
    const QString w = QStringLiteral("/w/");
    const QString video = QStringLiteral(" -add \"/w/temp.h264\":fps=23.976:level=3.1");
    QString tracks = AudioTrackOption(QStringLiteral("/w/final.aac"));
    tracks += QStringLiteral(" -add \"") + w
        + QStringLiteral("sub_003.ttxt\":lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2:disable");
    const QString args = SubstituteDelays(
        ComposeMuxArgs(video, ParOption(SourcePixelAspect(1.0)), tracks, QStringLiteral("/out/progressing.mp4")), 0, 0);
    EXPECT_EQ(args,
              QStringLiteral(" -ipod -add \"/w/temp.h264\":fps=23.976:level=3.1:delay=0 -par 1=1:1 -add "
                             "\"/w/final.aac\":delay=0 -add \"/w/sub_003.ttxt\":lang=ko:layout=0x60x0x-1:hdlr=sbtl:"
                             "group=2 \"/out/progressing.mp4\""));
}

TEST(MuxArgs, OnlyTheFirstSubtitleTrackIsEnabled)
{
    const QString tracks = QStringLiteral(" -add \"a.ttxt\":group=2:disable -add \"b.ttxt\":group=2:disable");
    const QString args = ComposeMuxArgs(QString(), QString(), tracks, QStringLiteral("p.mp4"));
    EXPECT_EQ(args, QStringLiteral(" -ipod##VIDEODELAY## -add \"a.ttxt\":group=2 -add \"b.ttxt\":group=2:disable \"p.mp4\""));
}

TEST(MuxArgs, NoAudioMeansNoAudioPlaceholder)
{
    const QString args = ComposeMuxArgs(QStringLiteral(" -add \"v.mp4\"#video"), QStringLiteral(" -par 1=1:1"),
                                        QString(), QStringLiteral("p.mp4"));
    EXPECT_FALSE(args.contains(QStringLiteral("##AUDIODELAY##")));
    EXPECT_EQ(SubstituteDelays(args, 7, 3), QStringLiteral(" -ipod -add \"v.mp4\"#video:delay=3 -par 1=1:1 \"p.mp4\""));
}

TEST(Delays, ShiftsAndFirstMuxDelaysPerCase)
{
    // Internal audio and internal subtitles keep the source video delay.
    TrackShifts s = ComputeShifts(120, true, 1);
    EXPECT_EQ(s.video, 0);
    EXPECT_EQ(s.audio, 0);
    // Internal audio otherwise: video 0, audio A - V.
    s = ComputeShifts(120, true, 3);
    EXPECT_EQ(120 + s.video, 0);
    EXPECT_EQ(500 + s.audio, 380);
    // No internal audio track: video 0, audio from the external file.
    s = ComputeShifts(120, false, 0);
    EXPECT_EQ(120 + s.video, 0);
    EXPECT_EQ(s.audio, 0);
}

TEST(Delays, NegativeAudioDelayRaisesBoth)
{
    const MuxDelays d = CorrectNegativeDelays(-40, 0);
    EXPECT_EQ(d.audio, 0);
    EXPECT_EQ(d.video, 40);
    EXPECT_EQ(d.correction, 40);
    const MuxDelays v = CorrectNegativeDelays(10, -30);
    EXPECT_EQ(v.audio, 40);
    EXPECT_EQ(v.video, 0);
    const MuxDelays none = CorrectNegativeDelays(0, 25);
    EXPECT_EQ(none.audio, 0);
    EXPECT_EQ(none.video, 25);
    EXPECT_EQ(none.correction, 0);
    EXPECT_EQ(AdjustedSubtitleName(QStringLiteral("/w/movie.ttxt")), QStringLiteral("/w/movie_adj.ttxt"));
}

TEST(Delays, SyncProblemStartsAbove100ms)
{
    EXPECT_EQ(SyncOffset(0, 2100, 2000), 100);
    EXPECT_FALSE(IsSyncProblem(SyncOffset(0, 2100, 2000), 0));
    EXPECT_TRUE(IsSyncProblem(SyncOffset(0, 2101, 2000), 0));
    // Measured against the source video delay.
    EXPECT_FALSE(IsSyncProblem(SyncOffset(50, 2550, 2000), 500));
    EXPECT_TRUE(IsSyncProblem(SyncOffset(50, 2551, 2000), 500));
}

TEST(VideoRoute, CopyPathPerContainer)
{
    MediaReport r{ QString(), QString() };
    r.iVideoFormat = VideoH264;
    const std::pair<ContainerKind, VideoRoute> h264[] = {
        { ContainerAvi, VideoRoute::AviRaw },       { ContainerDivx, VideoRoute::AviRaw },
        { ContainerMkv, VideoRoute::MkvH264 },      { ContainerMp4, VideoRoute::Mp4Reference },
        { ContainerQt, VideoRoute::Mp4Reference },  { ContainerFlv, VideoRoute::Flash },
        { ContainerSwf, VideoRoute::Flash },        { ContainerOgg, VideoRoute::OggH264 },
        { ContainerMpeg, VideoRoute::Reencode },    { ContainerWmv, VideoRoute::Reencode },
        { ContainerUnknown, VideoRoute::Reencode },
    };
    for (const auto &[container, route] : h264) {
        r.iContainer = container;
        EXPECT_EQ(ChooseVideoRoute(r, false, 1), route) << container;
    }
    r.iVideoFormat = VideoMpeg4Visual;
    r.iContainer = ContainerAvi;
    EXPECT_EQ(ChooseVideoRoute(r, false, 1), VideoRoute::AviReference);
    r.iContainer = ContainerMkv;
    EXPECT_EQ(ChooseVideoRoute(r, false, 1), VideoRoute::MkvOther);
    r.iContainer = ContainerOgg;
    EXPECT_EQ(ChooseVideoRoute(r, false, 1), VideoRoute::OggOther);
    // HEVC is copied out of Matroska and MP4/QuickTime only.
    r.iVideoFormat = VideoHevc;
    const std::pair<ContainerKind, VideoRoute> hevc[] = {
        { ContainerMkv, VideoRoute::MkvHevc },     { ContainerMp4, VideoRoute::Mp4Reference },
        { ContainerQt, VideoRoute::Mp4Reference }, { ContainerAvi, VideoRoute::Reencode },
        { ContainerFlv, VideoRoute::Reencode },    { ContainerOgg, VideoRoute::Reencode },
    };
    for (const auto &[container, route] : hevc) {
        r.iContainer = container;
        EXPECT_EQ(ChooseVideoRoute(r, false, 1), route) << container;
    }
    // Transport streams: H.264 and HEVC copied by ffmpeg, anything else re-encoded.
    r.iContainer = ContainerTs;
    for (VideoFormat f : { VideoH264, VideoHevc }) {
        r.iVideoFormat = f;
        EXPECT_EQ(ChooseVideoRoute(r, false, 1), VideoRoute::TsCopy) << f;
    }
    r.iVideoFormat = VideoMpeg;
    EXPECT_EQ(ChooseVideoRoute(r, false, 1), VideoRoute::Reencode);
    // Re-encoding wins over every copy path; no video needs no path.
    EXPECT_EQ(ChooseVideoRoute(r, true, 1), VideoRoute::Reencode);
    EXPECT_EQ(ChooseVideoRoute(r, false, 3), VideoRoute::Reencode);
    r.iVideoFormat = VideoNone;
    EXPECT_EQ(ChooseVideoRoute(r, false, 1), VideoRoute::NoVideo);
}

TEST(VideoRoute, MkvSubtitleSpecsTakeSrtAndSsaOnly)
{
    MediaReport r{ QString(), QString() };
    for (auto [id, format] : { std::pair{ 3, TextSrt }, std::pair{ 4, TextSsa }, std::pair{ 5, TextUnknown },
                               std::pair{ 1234, TextSrt } }) {
        TextTrack t;
        t.iID = id;
        t.iFormat = format;
        r.text << t;
    }
    r.iTextCount = 4;
    QStringList files;
    EXPECT_EQ(MkvSubtitleSpecs(r, QStringLiteral("/w/"), files),
              QStringLiteral(" 3:\"/w/sub_003.srt\" 4:\"/w/sub_004.srt\" 1234:\"/w/sub_1234.srt\""));
    EXPECT_EQ(files.size(), 3);
    EXPECT_EQ(ShortBaseName(QStringLiteral("/media/my.clip.ogm")), QStringLiteral("my.clip"));
}

} // namespace
