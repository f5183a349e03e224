#include "engine/AudioSteps.h"

#include <gtest/gtest.h>

using namespace audio;

namespace {

AudioTrack track(AudioFormat format, int id = 1, int channels = 2)
{
    AudioTrack t;
    t.iFormat = format;
    t.iID = id;
    t.iChannels = channels;
    return t;
}

MediaReport report(ContainerKind container, std::initializer_list<AudioTrack> tracks)
{
    MediaReport r{ QString(), QString() };
    r.iContainer = container;
    for (const AudioTrack &t : tracks)
        r.audio << t;
    r.iAudioCount = static_cast<int>(r.audio.size());
    return r;
}

const QString src = QStringLiteral("/m/movie %d.mkv"); // format characters in a name stay as they are
const QString out = QStringLiteral("/w/extractedaudio.ac3");

} // namespace

TEST(AudioSteps, ExtensionAndSummaryPerFormat)
{
    const struct { AudioFormat f; const char *ext; const char *summary; } rows[] = {
        { AudioAac, "aac", " / AAC" }, { AudioDts, "dts", " / DTS" }, { AudioAc3, "ac3", " / AC3" },
        { AudioMpegAudio, "mp3", " / MP3" }, { AudioVorbis, "ogg", " / OGG" }, { AudioPcm, "wav", " / PCM" },
        { AudioWma, "wma", " / WMA" }, { AudioOther, "", "" }, { AudioNone, "", "" },
    };
    for (const auto &r : rows) {
        EXPECT_EQ(Extension(r.f), QLatin1String(r.ext)) << r.f;
        EXPECT_EQ(SummaryText(r.f), QLatin1String(r.summary)) << r.f;
    }
}

TEST(AudioSteps, TrackAndSubtitleSummary)
{
    MediaReport one = report(ContainerMkv, { track(AudioAc3) });
    EXPECT_EQ(InternalTrackSummary(one, 0), QStringLiteral(" / AC3(int)"));
    MediaReport three = report(ContainerMkv, { track(AudioAc3), track(AudioAac), track(AudioPcm) });
    EXPECT_EQ(InternalTrackSummary(three, 2), QStringLiteral(" / PCM(int, out of 3)"));

    EXPECT_EQ(SubtitleSummary(one, 0), QStringLiteral(" / no sub"));
    EXPECT_EQ(SubtitleSummary(one, 2), QStringLiteral(" / SAMI(ext)"));
    EXPECT_EQ(SubtitleSummary(one, 3), QStringLiteral(" / SRT(ext)"));
    EXPECT_EQ(SubtitleSummary(one, 4), QStringLiteral(" / ASS(ext)"));
    EXPECT_EQ(SubtitleSummary(one, 5), QStringLiteral(" / ASS(ext)"));

    TextTrack srt, ssa, ttxt;
    srt.iFormat = TextSrt;
    ssa.iFormat = TextSsa;
    ttxt.iFormat = TextTtxt;
    one.text = { srt };
    one.iTextCount = 1;
    EXPECT_EQ(SubtitleSummary(one, 1), QStringLiteral(" / SRT(int)"));
    one.text = { ssa, srt };
    one.iTextCount = 2;
    EXPECT_EQ(SubtitleSummary(one, 1), QStringLiteral(" / SSA(2 / int)"));
    one.text = { ttxt };
    one.iTextCount = 1;
    EXPECT_EQ(SubtitleSummary(one, 1), QStringLiteral(" / unknown(int)"));
    one.iContainer = ContainerMp4;
    EXPECT_EQ(SubtitleSummary(one, 1), QStringLiteral(" / TTXT(int)"));
    one.text = { srt };
    EXPECT_EQ(SubtitleSummary(one, 1), QStringLiteral(" / unknown(int)"));
}

TEST(AudioSteps, RouteLooksAtTheFirstTrack)
{
    // One track: converting unless it is AAC kept by mode 0 or 2.
    EXPECT_TRUE(UsesConvertingExtraction(report(ContainerMkv, { track(AudioAc3) }), 0));
    EXPECT_FALSE(UsesConvertingExtraction(report(ContainerMkv, { track(AudioAac) }), 0));
    EXPECT_TRUE(UsesConvertingExtraction(report(ContainerMkv, { track(AudioAac) }), 1));
    EXPECT_FALSE(UsesConvertingExtraction(report(ContainerMkv, { track(AudioAac) }), 2));
    // Several tracks: the container's demuxer, unless the first is WMA or the file is MPEG.
    EXPECT_FALSE(UsesConvertingExtraction(report(ContainerMkv, { track(AudioAc3), track(AudioAac) }), 1));
    EXPECT_TRUE(UsesConvertingExtraction(report(ContainerWmv, { track(AudioWma), track(AudioAac) }), 0));
    EXPECT_FALSE(UsesConvertingExtraction(report(ContainerWmv, { track(AudioMpegAudio), track(AudioWma) }), 0));
    EXPECT_TRUE(UsesConvertingExtraction(report(ContainerMpeg, { track(AudioAac), track(AudioAc3) }), 0));
    EXPECT_TRUE(UsesConvertingExtraction(report(ContainerMpeg, { track(AudioAac) }), 2));
}

TEST(AudioSteps, ExtractionArguments)
{
    EXPECT_EQ(ForcedExtractionArguments(src, QStringLiteral("/w/extractedaudio.wav")),
              QStringLiteral("-i \"/m/movie %d.mkv\" -vn -acodec pcm_s16le \"/w/extractedaudio.wav\""));
    EXPECT_EQ(ConvertingExtractionArguments(src, track(AudioAc3, 1, 6), QStringLiteral("/w/e.wav")),
              QStringLiteral("-i \"/m/movie %d.mkv\" -vn -acodec pcm_s16le -ac 2 \"/w/e.wav\""));
    EXPECT_EQ(ConvertingExtractionArguments(src, track(AudioDts, 1, 1), QStringLiteral("/w/e.wav")),
              QStringLiteral("-i \"/m/movie %d.mkv\" -vn -acodec pcm_s16le -ac 1 \"/w/e.wav\""));
    EXPECT_EQ(ConvertingExtractionArguments(src, track(AudioMpegAudio, 1, 6), QStringLiteral("/w/e.wav")),
              QStringLiteral("-i \"/m/movie %d.mkv\" -vn -acodec pcm_s16le \"/w/e.wav\""));
    EXPECT_EQ(RetryArguments(src, out), QStringLiteral("-i \"/m/movie %d.mkv\" -vn -acodec copy \"/w/extractedaudio.ac3\""));

    // With several tracks the chosen one is named; its own format decides "-ac".
    const MediaReport two = report(ContainerMpeg, { track(AudioMpegAudio), track(AudioAc3, 2, 6) });
    EXPECT_EQ(FfmpegAudioStream(two, 1), 1);
    EXPECT_EQ(FfmpegAudioStream(report(ContainerAvi, { track(AudioAc3) }), 0), -1);
    EXPECT_EQ(ConvertingExtractionArguments(src, two.audio.at(1), QStringLiteral("/w/e.wav"), 1),
              QStringLiteral("-i \"/m/movie %d.mkv\" -vn -acodec pcm_s16le -ac 2 -map 0:a:1 \"/w/e.wav\""));
    EXPECT_EQ(ConvertingExtractionArguments(src, two.audio.at(0), QStringLiteral("/w/e.wav"), 0),
              QStringLiteral("-i \"/m/movie %d.mkv\" -vn -acodec pcm_s16le -map 0:a:0 \"/w/e.wav\""));
    EXPECT_EQ(RetryArguments(src, out, 3),
              QStringLiteral("-i \"/m/movie %d.mkv\" -vn -acodec copy -map 0:a:3 \"/w/extractedaudio.ac3\""));
}

TEST(AudioSteps, DemuxStepPerContainer)
{
    const AudioTrack t = track(AudioAc3, 3);
    const struct { ContainerKind c; ToolId tool; const char *args; const char *log; } rows[] = {
        { ContainerAvi, kFfmpeg, "-i \"S\" -vn -acodec copy \"O\"", "Extracting audio from AVI" },
        { ContainerDivx, kFfmpeg, "-i \"S\" -vn -acodec copy \"O\"", "Extracting audio from DivX" },
        { ContainerMkv, kMkvextract, "tracks \"S\" 3:\"O\"", "Extracting audio from MKV" },
        { ContainerMp4, kMP4Box, "-raw 3 \"S\" -out \"O\"", "Extracting audio from MP4" },
        { ContainerQt, kMP4Box, "-raw 3 \"S\" -out \"O\"", "Extracting audio from QuickTime" },
        { ContainerFlv, kFfmpeg, "-i \"S\" -acodec copy \"O\"", "Extracting audio from FLV" },
        { ContainerOgg, kOGMDemuxer, "tracks \"S\" -p 3:\"O\"", "Extracting audio from OGG" },
    };
    for (const auto &r : rows) {
        const DemuxCall call = DemuxStep(r.c, QStringLiteral("S"), t, QStringLiteral("O"));
        EXPECT_TRUE(call.valid) << r.c;
        EXPECT_EQ(call.tool, r.tool) << r.c;
        EXPECT_EQ(call.arguments, QLatin1String(r.args)) << r.c;
        EXPECT_EQ(call.logLine, QLatin1String(r.log)) << r.c;
    }
    // The ffmpeg demuxes name the chosen stream; the others name the track by its ID already.
    EXPECT_EQ(DemuxStep(ContainerAvi, QStringLiteral("S"), t, QStringLiteral("O"), 1).arguments,
              QStringLiteral("-i \"S\" -vn -acodec copy -map 0:a:1 \"O\""));
    EXPECT_EQ(DemuxStep(ContainerFlv, QStringLiteral("S"), t, QStringLiteral("O"), 1).arguments,
              QStringLiteral("-i \"S\" -acodec copy -map 0:a:1 \"O\""));
    EXPECT_EQ(DemuxStep(ContainerMkv, QStringLiteral("S"), t, QStringLiteral("O"), 1).arguments,
              QStringLiteral("tracks \"S\" 3:\"O\""));
    for (ContainerKind c : { ContainerWmv, ContainerSwf, ContainerMpeg, ContainerUnknown, ContainerNone })
        EXPECT_FALSE(DemuxStep(c, QStringLiteral("S"), t, QStringLiteral("O")).valid) << c;
}

TEST(AudioSteps, ConversionArguments)
{
    // chanfold folds 5 to 8 channels; ffmpeg folds 3 and 4.
    for (int channels : { 1, 2, 5, 6, 8 })
        EXPECT_FALSE(FoldsWithFfmpeg(channels)) << channels;
    EXPECT_TRUE(FoldsWithFfmpeg(3));
    EXPECT_TRUE(FoldsWithFfmpeg(4));
    EXPECT_EQ(FfmpegFoldArguments(QStringLiteral("/w/temp.wav"), QStringLiteral("/w/temp_downmixed.wav")),
              QStringLiteral("-i \"/w/temp.wav\" -ac 2 -y \"/w/temp_downmixed.wav\""));

    // "-ac 2" only for DTS and AC-3 names (any case), and never when re-encoding AAC.
    EXPECT_EQ(PcmDecodeArguments(QStringLiteral("/m/movie.AC3"), QStringLiteral("/w/temp.wav"), false),
              QStringLiteral("-i \"/m/movie.AC3\" -ac 2 -y \"/w/temp.wav\""));
    EXPECT_EQ(PcmDecodeArguments(QStringLiteral("/w/extractedaudio.dts"), QStringLiteral("/w/temp.wav"), false),
              QStringLiteral("-i \"/w/extractedaudio.dts\" -ac 2 -y \"/w/temp.wav\""));
    EXPECT_EQ(PcmDecodeArguments(QStringLiteral("/w/extractedaudio.mp3"), QStringLiteral("/w/temp.wav"), false),
              QStringLiteral("-i \"/w/extractedaudio.mp3\" -y \"/w/temp.wav\""));
    EXPECT_EQ(PcmDecodeArguments(QStringLiteral("/w/x.ac3"), QStringLiteral("/w/AACConversionTemp.wav"), true),
              QStringLiteral("-i \"/w/x.ac3\" -y \"/w/AACConversionTemp.wav\""));
    EXPECT_EQ(DownmixArguments(QStringLiteral("/w/temp.wav"), QStringLiteral("/w/temp_downmixed.wav")),
              QStringLiteral("\"/w/temp.wav\" \"/w/temp_downmixed.wav\""));
    EXPECT_EQ(NormalizeArguments(QStringLiteral("/w/temp.wav")), QStringLiteral("\"/w/temp.wav\""));
    EXPECT_EQ(EncodeArguments(QStringLiteral("/w/p.wav"), QStringLiteral("/w/temp.aac"), false),
              QStringLiteral("-lc -br 136000 -if \"/w/p.wav\" -of \"/w/temp.aac\""));
    EXPECT_EQ(EncodeArguments(QStringLiteral("/w/p.wav"), QStringLiteral("/w/temp.aac"), true),
              QStringLiteral("-lc -br 144000 -if \"/w/p.wav\" -of \"/w/temp.aac\""));
    EXPECT_TRUE(HasExtension(QStringLiteral("/m/a.AaC"), ".aac"));
    EXPECT_FALSE(HasExtension(QStringLiteral("/m/a.aac.wav"), ".aac"));
}

TEST(AudioSteps, KeepAacByMode)
{
    AudioTrack lc = track(AudioAac, 1, 2);
    lc.bLC = true;
    AudioTrack lc6 = lc;
    lc6.iChannels = 6;
    AudioTrack he = track(AudioAac, 1, 2); // not LC (HE-AAC)
    const MediaReport stereo = report(ContainerUnknown, { lc });
    const MediaReport six = report(ContainerUnknown, { lc6 });
    const MediaReport heAac = report(ContainerUnknown, { he });
    const MediaReport nothing = report(ContainerNone, {});

    EXPECT_TRUE(KeepAac(stereo, 0));
    EXPECT_FALSE(KeepAac(six, 0));
    EXPECT_FALSE(KeepAac(heAac, 0));
    EXPECT_FALSE(KeepAac(nothing, 0));
    EXPECT_FALSE(KeepAac(stereo, 1));
    EXPECT_TRUE(KeepAac(six, 2));
    EXPECT_TRUE(KeepAac(nothing, 2));
}
