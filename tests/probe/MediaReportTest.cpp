#include "probe/MediaReport.h"

#include "ReportBuilder.h"

#include "../QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

using namespace reports;

namespace {

MediaReport read(const QByteArray &bytes, const QString &language = QString())
{
    MediaReport r(QStringLiteral("/nonexistent/MediaInfo"), QStringLiteral("/tmp/"));
    r.ReadReport(bytes, language);
    return r;
}

MediaReport readVideo(std::initializer_list<Line> lines)
{
    return read(general("AVI") + section("Video", lines));
}

AudioTrack readAudio(std::initializer_list<Line> lines)
{
    const MediaReport r = read(general("AVI") + section("Audio", lines));
    EXPECT_EQ(r.iAudioCount, 1);
    return r.audio.value(0);
}

} // namespace

TEST(MediaReportContainer, GeneralFormatGivesTheKind)
{
    const std::pair<const char *, ContainerKind> cases[] = {
        {"AVI", ContainerAvi},          {"DivX", ContainerDivx},        {"Matroska", ContainerMkv},
        {"Flash Video", ContainerFlv},  {"OGG", ContainerOgg},          {"MPEG-4", ContainerMp4},
        {"MPEG-PS", ContainerMpeg},     {"MPEG-TS", ContainerTs},       {"MPEG", ContainerMpeg},
        {"BDAV", ContainerTs},          {"WebM", ContainerMkv},
        {"Windows Media", ContainerWmv}, {"ShockWave", ContainerSwf},   {"QuickTime", ContainerQt},
        {"WebM", ContainerMkv}, // Matroska under another document type
        // Debian's raw names before the adapter rewrites them, and other containers.
        {"Ogg", ContainerUnknown},      {"MPE", ContainerUnknown},
        {"avi", ContainerUnknown},      {"", ContainerUnknown},
    };
    for (const auto &[format, kind] : cases)
        EXPECT_EQ(read(general(format)).iContainer, kind) << format;
}

TEST(MediaReportContainer, NoGeneralFormatMeansNothingRead)
{
    EXPECT_EQ(read(section("General", {{"File size", "1000"}})).iContainer, ContainerNone);
    // A General key in another section does not count.
    EXPECT_EQ(read(section("Video", {{"Format", "AVI"}})).iContainer, ContainerNone);
    // The key needs its three trailing spaces.
    EXPECT_EQ(read("General\nFormat  : AVI\n").iContainer, ContainerNone);
    EXPECT_EQ(read("General\nFormat   : AVI\n").iContainer, ContainerAvi);
}

TEST(MediaReportContainer, FileSizeInMebibytesFromDigitsOnly)
{
    auto sizeOf = [](std::initializer_list<Line> lines) {
        return read(section("General", lines)).iFileSizeMB;
    };
    EXPECT_EQ(sizeOf({{"File size", "4294967296"}, {"File size", "4.00 GiB"}}), 4096);
    EXPECT_EQ(sizeOf({{"File size", "4294967295"}}), 4095);
    EXPECT_EQ(sizeOf({{"File size", "1048575"}}), 0);
    EXPECT_EQ(sizeOf({{"File size", "12a"}}), 0);
    EXPECT_EQ(sizeOf({{"File size", "-5"}}), 0);
    // Absurd sizes saturate instead of wrapping around.
    EXPECT_EQ(sizeOf({{"File size", "99999999999999999999999999999"}}), INT_MAX);
}

TEST(MediaReportVideo, FormatTableInTestOrder)
{
    const std::pair<const char *, VideoFormat> cases[] = {
        {"AVC", VideoH264},           {"x264", VideoH264},          {"H.263/264", VideoH264},
        {"H.263", VideoH263},         {"MPEG-4 Visual", VideoMpeg4Visual}, {"XviD", VideoMpeg4Visual},
        {"DIVX", VideoMpeg4Visual},   {"MPEG Video", VideoMpeg},    {"JPEG", VideoMjpeg},
        {"mjpg", VideoMjpeg},         {"vp6", VideoVp6},            {"Cinepack", VideoCinepack},
        {"Theora", VideoUnknown},     {"avc", VideoUnknown},        {"Sorenson Spark", VideoUnknown},
        {"HEVC", VideoHevc},          {"VP9", VideoUnknown},
    };
    for (const auto &[format, expected] : cases)
        EXPECT_EQ(readVideo({{"Format", format}}).iVideoFormat, expected) << format;
}

TEST(MediaReportVideo, CodecIdDecidesWmvVc1AndDivX)
{
    // The WMV and VC-1 format names leave the format to the Codec ID, in either order.
    EXPECT_EQ(readVideo({{"Format", "WMV3"}, {"Codec ID", "WMV3"}}).iVideoFormat, VideoWmv);
    EXPECT_EQ(readVideo({{"Codec ID", "WMV1"}, {"Format", "WMV1"}}).iVideoFormat, VideoWmv);
    EXPECT_EQ(readVideo({{"Codec ID", "WVC1"}, {"Format", "VC-1"}}).iVideoFormat, VideoVc1);
    EXPECT_EQ(readVideo({{"Format", "VC-1"}}).iVideoFormat, VideoNone);
    EXPECT_EQ(readVideo({{"Codec ID", "wvc1"}}).iVideoFormat, VideoNone);

    for (int v : {3, 4, 5}) {
        const QByteArray id = "DIV" + QByteArray::number(v);
        const MediaReport r = readVideo({{"Format", "MPEG-4 Visual"}, {"Codec ID", id.constData()}});
        EXPECT_EQ(r.iDivXVersion, v);
        EXPECT_EQ(r.iVideoFormat, VideoMpeg4Visual);
    }
    EXPECT_EQ(readVideo({{"Codec ID", "DIV6"}}).iDivXVersion, 0);
    EXPECT_EQ(readVideo({{"Codec ID", "DX50"}}).iDivXVersion, 0);
}

TEST(MediaReportVideo, RawValuesWinOverValuesWithUnits)
{
    const MediaReport r = readVideo({
        {"Width", "1 920 pixels"}, {"Width", "1920"}, {"Height", "1080"}, {"Height", "1 080 pixels"},
        {"Duration", "1h 30mn"}, {"Duration", "5400000"}, {"Duration", "01:30:00.000"}, {"Duration", "5400000 ms"},
        {"Bit rate", "6500000"}, {"Bit rate", "6 500 kb/s"}, {"Bit rate", "6500Kbps"},
        {"Maximum bit rate", "9000000"}, {"Maximum bit rate", "9 000 kb/s"},
        {"Frame count", "161838"}, {"ID", "224 (0xE0)"},
    });
    EXPECT_EQ(r.iWidth, 1920);
    EXPECT_EQ(r.iHeight, 1080);
    EXPECT_EQ(r.iVideoDuration, 5400000);
    EXPECT_EQ(r.iVideoBitRate, 6500000);
    EXPECT_EQ(r.iMaxBitRate, 9000000);
    EXPECT_EQ(r.iFrameCount, 161838);
    EXPECT_EQ(r.iVideoID, 224);

    const MediaReport g = read(section("General", {{"Format", "AVI"}, {"Overall bit rate", "1 024 Kbps"},
                                                   {"Overall bit rate", "1024000"}, {"Overall bit rate", "1024Kbps"}}));
    EXPECT_EQ(g.iOverallBitRate, 1024000);
}

TEST(MediaReportVideo, KeysNeedTheirTrailingSpaces)
{
    // Frame rate mode, Bit rate mode and Format profile only begin like used keys.
    const MediaReport r = readVideo({{"Format", "AVC"}, {"Frame rate mode", "Constant"}, {"Bit rate mode", "Variable"},
                                     {"Format profile", "High@L4.1"}, {"Format/Info", "Something"},
                                     {"Format settings", "CABAC"}, {"Width", "640"}});
    EXPECT_TRUE(r.strFrameRate.isEmpty());
    EXPECT_EQ(r.iVideoBitRate, 0);
    EXPECT_EQ(r.iVideoFormat, VideoH264);
    EXPECT_EQ(r.strLevel, QStringLiteral("4.1"));
    EXPECT_EQ(r.iWidth, 640);
    // "Width" followed by one space is not the key.
    EXPECT_EQ(read(general("AVI") + "Video\nWidth : 640\n").iWidth, 0);
}

TEST(MediaReportVideo, FrameRateTrimsItsUnit)
{
    EXPECT_EQ(readVideo({{"Frame rate", "23.976"}, {"Frame rate", "23.976 fps"}}).strFrameRate, QStringLiteral("23.976"));
    EXPECT_EQ(readVideo({{"Frame rate", "25.000 fps"}}).strFrameRate, QStringLiteral("25.000"));
    EXPECT_EQ(readVideo({{"Frame rate", "29.970sfp"}}).strFrameRate, QStringLiteral("29.970"));
    // Only the lower-case unit letters are trimmed; the adapter writes that form.
    EXPECT_EQ(readVideo({{"Frame rate", "25.000 FPS"}}).strFrameRate, QStringLiteral("25.000 FPS"));
    // The frame rate goes into tool command lines: a quote would break them.
    EXPECT_EQ(readVideo({{"Frame rate", "25.000"}, {"Frame rate", "25\" -x \""}}).strFrameRate, QStringLiteral("25.000"));
}

TEST(MediaReportVideo, DelayOnlyInClockForm)
{
    auto delayOf = [](const char *v) { return readVideo({{"Delay", v}}).iVideoDelay; };
    EXPECT_EQ(delayOf("00:00:01.500"), 1500);
    EXPECT_EQ(delayOf("01:02:03.004"), 3723004);
    for (const char *bad : {"1500", "1s 500ms", "00:00:01.5000", "0:00:01.500", "00:00:01,500", "00-00:01.500",
                            "00:0a:01.500", "-0:00:01.500", "00:00:01.500 (00:00:01:12)", "", "+0:00:01.500"})
        EXPECT_EQ(delayOf(bad), 0) << bad;
    // A later form that gives no value keeps the earlier one.
    EXPECT_EQ(readVideo({{"Delay", "00:00:01.500"}, {"Delay", "1500"}, {"Delay", "1s 500ms"}}).iVideoDelay, 1500);
}

TEST(MediaReportVideo, PixelAspectAndMpeg4Tools)
{
    EXPECT_DOUBLE_EQ(readVideo({{"Pixel aspect ratio", "0.889"}}).dPixelAspect, 0.889);
    EXPECT_DOUBLE_EQ(readVideo({{"Pixel aspect ratio", "1.185:1"}}).dPixelAspect, 1.185);
    for (const char *bad : {"0", "0.00000001", "-1.0", "abc", "inf", "nan", "1e999"})
        EXPECT_DOUBLE_EQ(readVideo({{"Pixel aspect ratio", bad}}).dPixelAspect, -100.0) << bad;

    const MediaReport none = readVideo({{"Format", "MPEG-4 Visual"}});
    EXPECT_EQ(none.iBVOP, 0);
    EXPECT_EQ(none.iQPel, 0);
    EXPECT_EQ(none.iGMC, 0);
    EXPECT_EQ(none.iMatrix, 0);
    EXPECT_EQ(none.iScanType, 0);

    const MediaReport plain = readVideo({{"Format settings, BVOP", "No"}, {"Format settings, QPel", "No"},
                                         {"Format settings, GMC", "0"}, {"Format settings, GMC", "No warppoints"},
                                         {"Format settings, Matrix", "Default (H.263)"}, {"Scan type", "Progressive"}});
    EXPECT_EQ(plain.iBVOP, 1);
    EXPECT_EQ(plain.iQPel, 1);
    EXPECT_EQ(plain.iGMC, 0);
    EXPECT_EQ(plain.iMatrix, 1);
    EXPECT_EQ(plain.iScanType, 1);

    // The older "Codec settings" keys and case-insensitive words.
    const MediaReport tools = readVideo({{"Codec settings, BVOP", "YES"}, {"Codec settings, QPel", "yes"},
                                         {"Codec settings, GMC", "3 warppoints"}, {"Codec settings, Matrix", "Custom"},
                                         {"Scan type", "MBAFF"}});
    EXPECT_EQ(tools.iBVOP, 2);
    EXPECT_EQ(tools.iQPel, 2);
    EXPECT_EQ(tools.iGMC, 3);
    EXPECT_EQ(tools.iMatrix, 2);
    EXPECT_EQ(tools.iScanType, 2);
    EXPECT_EQ(readVideo({{"Format settings, Matrix", "Default (MPEG)"}}).iMatrix, 2);
    EXPECT_EQ(readVideo({{"Scan type", "PROGRESSIVE"}}).iScanType, 1);
    // A count of B-frames is not "Yes".
    EXPECT_EQ(readVideo({{"Format settings, BVOP", "2"}}).iBVOP, 1);
}

TEST(MediaReportVideo, LevelFromProfile)
{
    EXPECT_EQ(readVideo({{"Format profile", "High@L4.1"}}).strLevel, QStringLiteral("4.1"));
    EXPECT_EQ(readVideo({{"Codec profile", "Main@L3.0"}}).strLevel, QStringLiteral("3.0"));
    EXPECT_TRUE(readVideo({{"Format profile", "Main"}}).strLevel.isEmpty());
    // "Main" after a level leaves the level; "@L" must come after the first character.
    EXPECT_EQ(readVideo({{"Format profile", "High@L4.1"}, {"Format profile", "Main"}}).strLevel, QStringLiteral("4.1"));
    EXPECT_TRUE(readVideo({{"Format profile", "@L4.1"}}).strLevel.isEmpty());
    EXPECT_EQ(readVideo({{"Format profile", "High@L"}}).strLevel, QString());
}

TEST(MediaReportVideo, DecoderNeedsAndRotation)
{
    // As mediainfo writes them: raw value first, then with its unit.
    const MediaReport hi444 = readVideo({{"Format profile", "High 4:4:4 Predictive@L3"},
                                         {"Chroma subsampling", "4:4:4"}, {"Bit depth", "10"}, {"Bit depth", "10 bits"},
                                         {"Rotation", "270.000"}, {"Rotation", "270\xC2\xB0"},
                                         {"Width", "1920"}, {"Height", "1080"}});
    EXPECT_EQ(hi444.strVideoProfile, QStringLiteral("High 4:4:4 Predictive"));
    EXPECT_EQ(hi444.strLevel, QStringLiteral("3"));
    EXPECT_EQ(hi444.strChromaSubsampling, QStringLiteral("4:4:4"));
    EXPECT_EQ(hi444.iVideoBitDepth, 10);
    EXPECT_EQ(hi444.iRotation, 270);
    EXPECT_EQ(hi444.DisplayWidth(), 1080);
    EXPECT_EQ(hi444.DisplayHeight(), 1920);

    const MediaReport plain = readVideo({{"Format profile", "Main"}, {"Format profile", "High@L4"}, {"Rotation", "-90"},
                                         {"Width", "640"}, {"Height", "360"}});
    EXPECT_EQ(plain.strVideoProfile, QStringLiteral("Main")); // the first profile line
    EXPECT_EQ(plain.iRotation, 270);
    EXPECT_EQ(plain.DisplayWidth(), 360);
    EXPECT_EQ(readVideo({{"Rotation", "180.000"}, {"Width", "640"}}).DisplayWidth(), 640);
    const MediaReport none = readVideo({{"Width", "640"}});
    EXPECT_TRUE(none.strVideoProfile.isEmpty());
    EXPECT_EQ(none.iVideoBitDepth, 0);
    EXPECT_EQ(none.iRotation, 0);
}

TEST(MediaReportAudio, FormatTableAndProfile)
{
    const std::pair<const char *, AudioFormat> cases[] = {
        {"AAC", AudioAac},     {"DTS", AudioDts},     {"AC-3", AudioAc3},    {"MPEG Audio", AudioMpegAudio},
        {"Vorbis", AudioVorbis}, {"WMA", AudioWma},   {"PCM", AudioPcm},     {"ADPCM", AudioPcm},
        {"AAC LC", AudioOther}, {"E-AC-3", AudioOther}, {"aac", AudioOther}, {"FLAC", AudioOther},
    };
    for (const auto &[format, expected] : cases)
        EXPECT_EQ(readAudio({{"Format", format}}).iFormat, expected) << format;

    EXPECT_TRUE(readAudio({{"Format", "AAC"}, {"Format profile", "LC"}}).bLC);
    EXPECT_FALSE(readAudio({{"Format", "AAC"}, {"Format profile", "HE-AAC / LC"}}).bLC);
    EXPECT_FALSE(readAudio({{"Format", "AAC"}, {"Format_AdditionalFeatures", "LC"}}).bLC);
}

TEST(MediaReportAudio, FieldsDefaultsAndRawForms)
{
    const AudioTrack d = readAudio({});
    EXPECT_EQ(d.iID, 0);
    EXPECT_EQ(d.iFormat, AudioNone);
    EXPECT_EQ(d.iSampleRate, 44000);
    EXPECT_EQ(d.iChannels, 1);
    EXPECT_EQ(d.iBitDepth, 8);
    EXPECT_TRUE(d.language().isEmpty());

    const AudioTrack t = readAudio({
        {"ID", "192 (0xC0)"}, {"Delay", "00:00:00.120"}, {"Delay", "120"}, {"Delay", "120ms"},
        {"Duration", "5400000"}, {"Duration", "1h 30mn"}, {"Duration", "1021.000000"},
        {"Bit rate", "128 kb/s"}, {"Bit rate", "128000"}, {"Bit rate", "128kbps"},
        {"Sampling rate", "48000"}, {"Sampling rate", "48.0 kHz"}, {"Sampling rate", "48000Hz"},
        {"Channel(s)", "6"}, {"Channel(s)", "6 channels"}, {"Channel(s)", "6ch"},
        {"Bit depth", "24"}, {"Bit depth", "24 bits"}, {"Bit depth", "24b"},
        {"Language", "ko"}, {"Language", "Korean"}, {"Language", "kor"},
    });
    EXPECT_EQ(t.iID, 192);
    EXPECT_EQ(t.iDelay, 120);
    EXPECT_EQ(t.iDuration, 1021);
    EXPECT_EQ(t.iBitRate, 128000);
    EXPECT_EQ(t.iSampleRate, 48000);
    EXPECT_EQ(t.iChannels, 6);
    EXPECT_EQ(t.iBitDepth, 24);
    EXPECT_EQ(t.language(), QStringLiteral("ko"));
    // Later two-letter codes overwrite.
    EXPECT_EQ(readAudio({{"Language", "ko"}, {"Language", "en"}}).language(), QStringLiteral("en"));
    // Numbers beyond int saturate rather than wrap (Ogg serials were such numbers).
    EXPECT_EQ(readAudio({{"ID", "2149116281"}}).iID, INT_MAX);
}

TEST(MediaReportText, TracksInReportOrder)
{
    const MediaReport r = read(general("Matroska") + section("Text #1", {{"ID", "5"}, {"Format", "UTF-8"}, {"Language", "ko"}})
                               + section("Text #2", {{"ID/String", "6"}, {"Format", "ASS"}})
                               + section("Text #3", {{"ID", "7"}, {"Format", "SSA"}, {"Language", "English"}})
                               + section("Text #4", {{"ID", "8"}, {"Format", "Timed text"}})
                               + section("Text #5", {{"ID", "9"}, {"Format", "Timed Text"}})
                               + section("Text #6", {{"ID", "10"}, {"Format", "UTF-16"}})
                               + section("Text #7", {{"Format", "UTF8"}}));
    ASSERT_EQ(r.iTextCount, 7);
    ASSERT_EQ(r.text.size(), 7);
    const TextFormat formats[] = {TextSrt, TextSsa, TextSsa, TextTtxt, TextUnknown, TextUnknown, TextSrt};
    const int ids[] = {5, 6, 7, 8, 9, 10, 0};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(r.text[i].iFormat, formats[i]) << i;
        EXPECT_EQ(r.text[i].iID, ids[i]) << i;
    }
    EXPECT_EQ(r.text[0].language(), QStringLiteral("ko"));
    EXPECT_TRUE(r.text[2].language().isEmpty());
}

TEST(MediaReportSections, HeadersEmptyLinesAndStrayKeys)
{
    // An empty line closes a section; keys outside any section, in a Menu section, or
    // of another section are ignored.
    const QByteArray bytes = "Format   : AVI\n"
                             "General\nFormat   : Matroska\n\n"
                             "Width    : 999\n"
                             "Menu\nWidth    : 640\nFormat   : AVI\n\n"
                             "Video\nWidth    : 720\nFile size  : 1073741824\n\n"
                             "Audio #1\nWidth    : 11\n\n"
                             "Audios\nFormat   : AC-3\n\n"
                             " Audio\nFormat   : DTS\n\n";
    const MediaReport r = read(bytes);
    EXPECT_EQ(r.iContainer, ContainerMkv);
    EXPECT_EQ(r.iWidth, 720);
    EXPECT_EQ(r.iFileSizeMB, 0);
    // "Audios" starts with "Audio"; " Audio" does not.
    ASSERT_EQ(r.iAudioCount, 2);
    EXPECT_EQ(r.audio[1].iFormat, AudioAc3);

    // CR LF line ends, and a control character at a line's start, which ends the section.
    const MediaReport crlf = read("General\r\nFormat   : AVI\r\n\r\nVideo\r\nWidth    : 640\r\n\x01Height  : 5\r\n"
                                  "Height   : 480\r\n");
    EXPECT_EQ(crlf.iContainer, ContainerAvi);
    EXPECT_EQ(crlf.iWidth, 640);
    EXPECT_EQ(crlf.iHeight, 0);

    // A later Video section overwrites the earlier one's values.
    const MediaReport two = read(general("ShockWave") + section("Video #1", {{"Width", "320"}})
                                 + section("Video #2", {{"Format", "H.263"}, {"Width", "352"}}));
    EXPECT_EQ(two.iWidth, 352);
    EXPECT_EQ(two.iVideoFormat, VideoH263);
}

TEST(MediaReportSections, LinesAreCutAt259BytesAndNeverSplit)
{
    // The rest of an over-long line is dropped, not read as a line of its own.
    QByteArray longName = "Complete name                            : ";
    longName += QByteArray(259 - longName.size(), 'a');
    const QByteArray hidden = longName + "Width                                    : 999\n";
    MediaReport r = read(general("AVI") + "Video\n" + hidden + line("Height", "480"));
    EXPECT_EQ(r.iWidth, 0);
    EXPECT_EQ(r.iHeight, 480);

    // A line of exactly 259 bytes does not leave an empty line behind that would
    // close the section.
    r = read("General\n" + QByteArray(259, 'x') + "\n" + line("Format", "AVI"));
    EXPECT_EQ(r.iContainer, ContainerAvi);

    // A value running past byte 259 is cut there.
    QByteArray cut = "Frame rate";
    cut += QByteArray(259 - cut.size() - 7, ' ');
    cut += ": 23.976 fps\n";
    r = read(general("AVI") + "Video\n" + cut);
    EXPECT_EQ(r.strFrameRate, QStringLiteral("23.97"));
}

TEST(MediaReportSections, ResetBetweenReads)
{
    MediaReport r(QStringLiteral("/x/MediaInfo"), QStringLiteral("/tmp/"));
    r.ReadReport(general("Matroska") + section("Video", {{"ID", "1"}, {"Format", "AVC"}, {"Width", "640"},
                                                         {"Pixel aspect ratio", "1.0"}, {"Format profile", "High@L4.1"}})
                 + section("Audio", {{"Format", "AAC"}}) + section("Text", {{"Format", "UTF-8"}}));
    ASSERT_EQ(r.iAudioCount, 1);
    r.ReadReport(general("ADTS") + section("Audio", {{"Format", "AC-3"}}) + section("Audio", {{"Format", "DTS"}}));
    EXPECT_EQ(r.iContainer, ContainerUnknown);
    EXPECT_EQ(r.iVideoFormat, VideoNone);
    EXPECT_EQ(r.iVideoID, -1);
    EXPECT_EQ(r.iWidth, 0);
    EXPECT_DOUBLE_EQ(r.dPixelAspect, -100.0);
    EXPECT_TRUE(r.strLevel.isEmpty());
    EXPECT_EQ(r.iTextCount, 0);
    EXPECT_TRUE(r.text.isEmpty());
    ASSERT_EQ(r.iAudioCount, 2);
    EXPECT_EQ(r.audio[0].iFormat, AudioAc3);
    EXPECT_EQ(r.audio[1].iFormat, AudioDts);
}

TEST(MediaReportRanking, LanguageThenFormatBonus)
{
    const QByteArray two = general("Matroska") + section("Audio #1", {{"Format", "AC-3"}, {"Language", "ko"}})
                           + section("Audio #2", {{"Format", "AAC"}, {"Language", "en"}});
    MediaReport r = read(two, QStringLiteral("en"));
    EXPECT_EQ(r.audio[0].iPriority, 84);
    EXPECT_EQ(r.audio[1].iPriority, 97);
    EXPECT_EQ(r.BestAudioTrack(), 1);
    r = read(two);
    EXPECT_EQ(r.audio[0].iPriority, 4);
    EXPECT_EQ(r.audio[1].iPriority, 7);
    r = read(two, QStringLiteral("ko"));
    EXPECT_EQ(r.audio[0].iPriority, 94);
    EXPECT_EQ(r.audio[1].iPriority, 77);
    EXPECT_EQ(r.BestAudioTrack(), 0);

    // Each known language, with each format's bonus, asking for Russian.
    const QByteArray six = general("Matroska") + section("Audio", {{"Format", "PCM"}, {"Language", "ko"}})
                           + section("Audio", {{"Format", "DTS"}, {"Language", "en"}})
                           + section("Audio", {{"Format", "MPEG Audio"}, {"Language", "ja"}})
                           + section("Audio", {{"Format", "Vorbis"}, {"Language", "de"}})
                           + section("Audio", {{"Format", "WMA"}, {"Language", "fr"}})
                           + section("Audio", {{"Format", "FLAC"}, {"Language", "ru"}})
                           + section("Audio", {{"Format", "ADPCM"}, {"Language", "sv"}})
                           + section("Audio", {{"Format", "AC-3"}});
    r = read(six, QStringLiteral("ru"));
    const int expected[] = {85, 76, 63, 52, 41, 90, 25, 24};
    ASSERT_EQ(r.iAudioCount, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(r.audio[i].iPriority, expected[i]) << i;
}

TEST(MediaReportRanking, AnyOtherLanguage)
{
    const QByteArray bytes = general("Matroska") + section("Audio", {{"Format", "AC-3"}, {"Language", "fr"}})
                             + section("Audio", {{"Format", "MPEG Audio"}, {"Language", "sv"}})
                             + section("Audio", {{"Format", "AAC"}, {"Language", "ko"}})
                             + section("Audio", {{"Format", "DTS"}});
    MediaReport r = read(bytes, QStringLiteral("**"));
    EXPECT_EQ(r.audio[0].iPriority, 44);
    EXPECT_EQ(r.audio[1].iPriority, 93);
    EXPECT_EQ(r.audio[2].iPriority, 87);
    // An untagged track counts as another language too.
    EXPECT_EQ(r.audio[3].iPriority, 96);
    EXPECT_EQ(r.BestAudioTrack(), 3);
    // Asking for a known language, other and untagged tracks get 20.
    r = read(bytes, QStringLiteral("de"));
    EXPECT_EQ(r.audio[1].iPriority, 23);
    EXPECT_EQ(r.audio[3].iPriority, 26);
}

TEST(MediaReportRanking, FirstOfEqualWinsAndNoTrackGivesMinusOne)
{
    MediaReport r = read(general("AVI") + section("Audio", {{"Format", "AC-3"}}) + section("Audio", {{"Format", "AC-3"}}));
    EXPECT_EQ(r.BestAudioTrack(), 0);
    r = read(general("AVI"));
    EXPECT_EQ(r.BestAudioTrack(), -1);
}

TEST(MediaReportBadInput, EmptyGarbageAndHugeReports)
{
    MediaReport r = read(QByteArray());
    EXPECT_EQ(r.iContainer, ContainerNone);
    EXPECT_EQ(r.iAudioCount, 0);

    r = read(QByteArray("General\n\0Format   : AVI\n", 24));
    EXPECT_EQ(r.iContainer, ContainerNone);

    std::mt19937 rng(4);
    for (int round = 0; round < 200; ++round) {
        QByteArray junk(static_cast<int>(rng() % 4096), '\0');
        for (char &c : junk)
            c = static_cast<char>(rng());
        if (round % 2)
            junk.prepend("General\nFormat   : AVI\n\nVideo\n");
        r = read(junk, QStringLiteral("**"));
        EXPECT_EQ(r.audio.size(), r.iAudioCount);
        EXPECT_EQ(r.text.size(), r.iTextCount);
    }

    QByteArray many = general("Matroska");
    for (int i = 0; i < 10000; ++i)
        many += section("Audio", {{"ID", QByteArray::number(i + 2).constData()}, {"Format", i == 7777 ? "AAC" : "AC-3"}});
    r = read(many, QStringLiteral("en"));
    ASSERT_EQ(r.iAudioCount, 10000);
    EXPECT_EQ(r.audio[9999].iID, 10001);
    EXPECT_EQ(r.BestAudioTrack(), 7777);
}
