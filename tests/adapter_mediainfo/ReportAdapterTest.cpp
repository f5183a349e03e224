// The rewrite of Debian MediaInfo's report, on report text alone.
#include "OggPages.h"
#include "ReportAdapter.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

using mediainfo::adaptReport;

namespace {

using Line = std::pair<const char *, const char *>;

std::string line(const std::string &key, const std::string &value)
{
    std::string l = key;
    l.resize(41, ' ');
    return l + ": " + value + "\n";
}

std::string section(const char *header, std::initializer_list<Line> lines)
{
    std::string s = std::string(header) + "\n";
    for (const Line &l : lines)
        s += line(l.first, l.second);
    return s + "\n";
}

// The values of one key in one section, in order.
std::vector<std::string> values(const std::string &report, const std::string &header, const std::string &key)
{
    std::vector<std::string> out;
    bool in = false;
    size_t pos = 0;
    while (pos < report.size()) {
        size_t end = report.find('\n', pos);
        if (end == std::string::npos)
            end = report.size();
        const std::string l = report.substr(pos, end - pos);
        pos = end + 1;
        if (l.empty()) {
            in = false;
            continue;
        }
        if (l == header) {
            in = true;
            continue;
        }
        if (in && l.size() > 43 && l.compare(0, key.size(), key) == 0 && l.find_first_not_of(' ', key.size()) == 41)
            out.push_back(l.substr(43));
    }
    return out;
}

using Values = std::vector<std::string>;

} // namespace

TEST(MediaInfoAdapter, ContainerNames)
{
    const std::string ogg = adaptReport(section("General", {{"Format", "Ogg"}, {"Format", "Ogg"}}), {});
    EXPECT_EQ(values(ogg, "General", "Format"), (Values{"OGG", "OGG"}));

    const std::string mov = adaptReport(section("General", {{"Format", "MPEG-4"}, {"Format", "MPEG-4"},
                                                            {"Format profile", "QuickTime"}, {"Codec ID", "qt  "}}), {});
    EXPECT_EQ(values(mov, "General", "Format"), (Values{"QuickTime", "QuickTime"}));

    const std::string mp4 = adaptReport(section("General", {{"Format", "MPEG-4"}, {"Format profile", "Base Media"}}), {});
    EXPECT_EQ(values(mp4, "General", "Format"), (Values{"MPEG-4"}));
    // A file MediaInfo names by its major brand is MPEG-4 when its compatible brands say ISO media.
    const std::string iso6 = adaptReport(section("General", {{"Format", "iso6"}, {"Format", "iso6"}, {"Codec ID", "iso6"},
                                                             {"CodecID_Compatible", "mp42/iso6/avc1/isom"}}), {});
    EXPECT_EQ(values(iso6, "General", "Format"), (Values{"MPEG-4", "MPEG-4"}));
    const std::string other = adaptReport(section("General", {{"Format", "abcd"}, {"CodecID_Compatible", "abcd"}}), {});
    EXPECT_EQ(values(other, "General", "Format"), (Values{"abcd"}));
    // Only the General section names the container.
    const std::string video = adaptReport(section("General", {{"Format", "AVI"}}) + section("Video", {{"Format", "Ogg"}}), {});
    EXPECT_EQ(values(video, "Video", "Format"), (Values{"Ogg"}));
}

TEST(MediaInfoAdapter, VideoFrameRateBFramesAndCinepak)
{
    const std::string out = adaptReport(
        section("General", {{"Format", "AVI"}, {"Frame rate", "25.000 FPS"}})
            + section("Video", {{"Format", "Cinepak"}, {"Format settings, BVOP", "2"}, {"Format settings, BVOP", "2"},
                                {"Frame rate mode", "Constant"}, {"Frame rate", "23.976"},
                                {"Frame rate", "23.976 (24000/1001) FPS"}, {"FrameRate_Num", "24000"}}),
        {});
    EXPECT_EQ(values(out, "Video", "Frame rate"), (Values{"23.976", "23.976 fps"}));
    EXPECT_EQ(values(out, "Video", "Frame rate mode"), (Values{"Constant"}));
    EXPECT_EQ(values(out, "Video", "Format settings, BVOP"), (Values{"Yes", "Yes"}));
    EXPECT_EQ(values(out, "Video", "Format"), (Values{"Cinepack"}));
    // The General section's frame rate is nobody's concern.
    EXPECT_EQ(values(out, "General", "Frame rate"), (Values{"25.000 FPS"}));

    const std::string none = adaptReport(section("Video", {{"Format settings, BVOP", "0"}, {"Format settings, BVOP", "No"}}), {});
    EXPECT_EQ(values(none, "Video", "Format settings, BVOP"), (Values{"No", "No"}));
}

TEST(MediaInfoAdapter, AudioFormatNamesAndAacProfile)
{
    const std::string lc = adaptReport(section("Audio", {{"ID", "2"}, {"Format", "AAC"}, {"Format", "AAC LC"},
                                                         {"Format/Info", "Advanced Audio Codec Low Complexity"},
                                                         {"Format_AdditionalFeatures", "LC"}}), {});
    EXPECT_EQ(values(lc, "Audio", "Format"), (Values{"AAC", "AAC"}));
    EXPECT_EQ(values(lc, "Audio", "Format profile"), (Values{"LC"}));
    // The profile line follows the Format lines.
    EXPECT_LT(lc.find("Format profile"), lc.find("Format/Info"));

    const std::string he = adaptReport(section("Audio #1", {{"Format", "AAC"}, {"Format", "AAC LC SBR"}})
                                           + section("Audio #2", {{"Format", "AAC"}, {"Format", "AAC LC SBR PS"}}), {});
    EXPECT_EQ(values(he, "Audio #1", "Format profile"), (Values{"HE-AAC / LC"}));
    EXPECT_EQ(values(he, "Audio #2", "Format profile"), (Values{"HE-AACv2 / HE-AAC / LC"}));

    // Only the additional-features line, and a profile already present.
    const std::string extra = adaptReport(section("Audio", {{"Format", "AAC"}, {"Format_AdditionalFeatures", "LC"}}), {});
    EXPECT_EQ(values(extra, "Audio", "Format profile"), (Values{"LC"}));
    const std::string present = adaptReport(section("Audio", {{"Format", "AAC"}, {"Format", "AAC LC"},
                                                              {"Format profile", "LC"}}), {});
    EXPECT_EQ(values(present, "Audio", "Format profile"), (Values{"LC"}));

    const std::string dts = adaptReport(section("Audio", {{"Format", "DTS"}, {"Format", "DTS XLL"}}), {});
    EXPECT_EQ(values(dts, "Audio", "Format"), (Values{"DTS", "DTS"}));
    EXPECT_TRUE(values(dts, "Audio", "Format profile").empty());
    const std::string eac3 = adaptReport(section("Audio", {{"Format", "E-AC-3"}, {"Format", "E-AC-3"}}), {});
    EXPECT_EQ(values(eac3, "Audio", "Format"), (Values{"E-AC-3", "E-AC-3"}));
}

TEST(MediaInfoAdapter, TimedTextName)
{
    const std::string out = adaptReport(section("Text", {{"Format", "Timed Text"}, {"Format", "Timed Text"},
                                                         {"Commercial name", "Timed Text"}}), {});
    EXPECT_EQ(values(out, "Text", "Format"), (Values{"Timed text", "Timed text"}));
    EXPECT_EQ(values(out, "Text", "Commercial name"), (Values{"Timed Text"}));
}

TEST(MediaInfoAdapter, OggIdsBecomePageOrder)
{
    const std::string raw = section("General", {{"Format", "Ogg"}})
                            + section("Video", {{"ID", "2149116281"}, {"ID", "2149116281 (0x8018E979)"}})
                            + section("Audio", {{"ID", "201396023"}, {"ID", "201396023 (0xC010F37)"}})
                            + section("Text", {{"ID", "77"}});
    const std::string out = adaptReport(raw, {201396023u, 2149116281u});
    EXPECT_EQ(values(out, "Video", "ID"), (Values{"1", "1 (0x1)"}));
    EXPECT_EQ(values(out, "Audio", "ID"), (Values{"0", "0 (0x0)"}));
    // A serial that is not among the file's streams is left alone.
    EXPECT_EQ(values(out, "Text", "ID"), (Values{"77"}));
    // Other containers keep their IDs.
    const std::string avi = adaptReport(section("General", {{"Format", "AVI"}}) + section("Video", {{"ID", "201396023"}}),
                                        {201396023u});
    EXPECT_EQ(values(avi, "Video", "ID"), (Values{"201396023"}));
}

TEST(MediaInfoAdapter, Mp4EmptyEditBecomesDelay)
{
    const std::string audio = section("Audio", {{"ID", "2"}, {"Duration", "2500"}, {"Duration", "2 s 500 ms"},
                                                {"Duration", "00:00:02.500"}, {"Source duration", "2021"},
                                                {"Source_Delay", "478"}, {"Source_Delay_Source", "Container"}});
    const std::string out = adaptReport(section("General", {{"Format", "MPEG-4"}}) + audio, {});
    EXPECT_EQ(values(out, "Audio", "Delay"), (Values{"478", "00:00:00.478"}));
    EXPECT_EQ(values(out, "Audio", "Duration"), (Values{"2022", "00:00:02.022"}));
    EXPECT_EQ(values(out, "Audio", "Source duration"), (Values{"2021"}));

    // A long delay in the clock form.
    const std::string longDelay = adaptReport(
        section("General", {{"Format", "MPEG-4"}, {"Format profile", "QuickTime"}})
            + section("Video", {{"Duration", "3725000"}, {"Source_Delay", "3723004"}, {"Source_Delay_Source", "Container"}}),
        {});
    EXPECT_EQ(values(longDelay, "Video", "Delay"), (Values{"3723004", "01:02:03.004"}));
    EXPECT_EQ(values(longDelay, "Video", "Duration"), (Values{"1996", "00:00:01.996"}));

    // Left alone: the encoder delay (negative), a track that has its Delay line, a
    // delay from the stream, and other containers.
    for (const std::string &raw : {
             section("General", {{"Format", "MPEG-4"}})
                 + section("Audio", {{"Duration", "2000"}, {"Source_Delay", "-21"}, {"Source_Delay_Source", "Container"}}),
             section("General", {{"Format", "MPEG-4"}})
                 + section("Audio", {{"Duration", "2000"}, {"Delay", "0"}, {"Source_Delay", "300"}, {"Source_Delay_Source", "Container"}}),
             section("General", {{"Format", "MPEG-4"}})
                 + section("Audio", {{"Duration", "2000"}, {"Source_Delay", "300"}, {"Source_Delay_Source", "Stream"}}),
             section("General", {{"Format", "Matroska"}})
                 + section("Audio", {{"Duration", "2000"}, {"Source_Delay", "300"}, {"Source_Delay_Source", "Container"}}),
         }) {
        EXPECT_EQ(adaptReport(raw, {}), raw);
    }
}

TEST(MediaInfoAdapter, OtherSectionsAndLinesPassUnchanged)
{
    const std::string raw = section("General", {{"Format", "Matroska"}, {"Complete name", "a: b.mkv"}})
                            + section("Menu", {{"00:00:00.000", "Chapter 1"}, {"Format", "Ogg"}})
                            + "no header here\n\n";
    EXPECT_EQ(adaptReport(raw, {}), raw);
    EXPECT_EQ(adaptReport("", {}), "");
    // CR LF line ends come out as LF only, as the tool writes on this system.
    EXPECT_EQ(adaptReport("General\r\nFormat   : Ogg\r\n", {}), "General\nFormat   : OGG\n");
}

TEST(MediaInfoAdapter, CommittedReportsAreAlreadyAdapted)
{
    // Adapting twice changes nothing, so the corpus cannot hide a half-done rewrite.
    const char *src = std::getenv("MARBLEWAY_SOURCE_DIR");
    const QString dir = QString::fromLocal8Bit(src ? src : ".") + QStringLiteral("/tests/probe/reports/");
    const QStringList files = QDir(dir).entryList({QStringLiteral("*.txt")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString &name : files) {
        QFile f(dir + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const std::string report = f.readAll().toStdString();
        EXPECT_EQ(adaptReport(report, {}), report) << name.toStdString();
    }
}

namespace {

std::string oggPage(uint32_t serial, bool bos, size_t bodySize)
{
    std::string p = "OggS";
    p += '\0';
    p += static_cast<char>(bos ? 0x02 : 0x00);
    p += std::string(8, '\0'); // granule position
    for (int i = 0; i < 4; ++i)
        p += static_cast<char>((serial >> (8 * i)) & 0xFF);
    p += std::string(8, '\0'); // sequence number, checksum
    p += static_cast<char>(1);
    p += static_cast<char>(bodySize);
    return p + std::string(bodySize, 'x');
}

} // namespace

TEST(MediaInfoAdapter, OggSerialsFromBosPages)
{
    const std::string file = oggPage(0x8018E979u, true, 30) + oggPage(7, true, 58) + oggPage(0x8018E979u, false, 200)
                             + oggPage(99, true, 10);
    EXPECT_EQ(mediainfo::oggStreamSerialsFromBytes(file), (std::vector<uint32_t>{0x8018E979u, 7}));
    EXPECT_TRUE(mediainfo::oggStreamSerialsFromBytes("RIFF....AVI LIST").empty());
    EXPECT_TRUE(mediainfo::oggStreamSerialsFromBytes("").empty());
    // A page cut short ends the walk without reading past the bytes.
    const std::string cut = oggPage(5, true, 30) + oggPage(6, true, 40).substr(0, 28);
    EXPECT_EQ(mediainfo::oggStreamSerialsFromBytes(cut), (std::vector<uint32_t>{5}));
}
