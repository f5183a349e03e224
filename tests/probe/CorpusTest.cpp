// The probe on real reports of generated media (tests/probe/reports, made by
// scripts/make-probe-reports.sh) and on hand-written reports of what ffmpeg cannot make.
#include "CorpusExpectations.h"

#include "probe/MediaReport.h"

#include <QDir>
#include <QFile>

#include "../QtPrinters.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString reportsDir()
{
    const char *src = std::getenv("MARBLEWAY_SOURCE_DIR");
    return QString::fromLocal8Bit(src ? src : ".") + QStringLiteral("/tests/probe/reports/");
}

QByteArray load(const QString &relative)
{
    QFile f(reportsDir() + relative);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << relative.toStdString();
    return f.readAll();
}

MediaReport readFile(const QString &relative, const QString &language = QString())
{
    MediaReport r(QStringLiteral("/x/MediaInfo"), QStringLiteral("/tmp/"));
    r.ReadReport(load(relative), language);
    return r;
}

} // namespace

TEST(ProbeCorpus, EveryGeneratedReportGivesWhatTheFileIs)
{
    for (const corpus::MediaExpect &e : corpus::media()) {
        const QString name = QString::fromStdString(corpus::stem(e.file)) + QStringLiteral(".txt");
        corpus::check(e, readFile(name));
    }
}

TEST(ProbeCorpus, EveryCommittedReportIsCovered)
{
    const QStringList files = QDir(reportsDir()).entryList({QStringLiteral("*.txt")}, QDir::Files);
    EXPECT_EQ(files.size(), static_cast<qsizetype>(corpus::media().size()));
    // Some real reports carry lines far longer than 259 bytes (x264's settings).
    bool sawLongLine = false;
    for (const QString &f : files) {
        for (const QByteArray &l : load(f).split('\n'))
            sawLongLine = sawLongLine || l.size() > 259;
    }
    EXPECT_TRUE(sawLongLine);
}

TEST(ProbeCorpus, MkvAudioRankingByLanguage)
{
    // Korean AC-3, English AAC, Japanese Vorbis.
    EXPECT_EQ(readFile(QStringLiteral("mkv.txt")).BestAudioTrack(), 1);
    EXPECT_EQ(readFile(QStringLiteral("mkv.txt"), QStringLiteral("ko")).BestAudioTrack(), 0);
    EXPECT_EQ(readFile(QStringLiteral("mkv.txt"), QStringLiteral("ja")).BestAudioTrack(), 2);
    const MediaReport r = readFile(QStringLiteral("mkv.txt"), QStringLiteral("en"));
    EXPECT_EQ(r.audio[0].iPriority, 84);
    EXPECT_EQ(r.audio[1].iPriority, 97);
    EXPECT_EQ(r.audio[2].iPriority, 62);
}

TEST(ProbeHandReports, Vc1InterlacedWithUnitFormsFirst)
{
    const MediaReport r = readFile(QStringLiteral("hand/wmv_vc1.txt"));
    EXPECT_EQ(r.iContainer, ContainerWmv);
    EXPECT_EQ(r.iVideoFormat, VideoVc1);
    EXPECT_EQ(r.iVideoID, 2);
    EXPECT_EQ(r.iWidth, 1920);
    EXPECT_EQ(r.iHeight, 1080);
    EXPECT_EQ(r.iVideoDuration, 5400000);
    EXPECT_EQ(r.iVideoBitRate, 6500000);
    EXPECT_EQ(r.iMaxBitRate, 9000000);
    EXPECT_EQ(r.iOverallBitRate, 7158000);
    EXPECT_EQ(r.iFileSizeMB, 4608);
    EXPECT_EQ(r.strFrameRate, QStringLiteral("29.970"));
    EXPECT_EQ(r.iFrameCount, 161838);
    EXPECT_EQ(r.strLevel, QStringLiteral("3"));
    EXPECT_EQ(r.iScanType, 2);
    ASSERT_EQ(r.iAudioCount, 1);
    const AudioTrack &a = r.audio[0];
    EXPECT_EQ(a.iFormat, AudioWma);
    EXPECT_FALSE(a.bLC);
    EXPECT_EQ(a.iDuration, 5400000);
    EXPECT_EQ(a.iBitRate, 384000);
    EXPECT_EQ(a.iChannels, 6);
    EXPECT_EQ(a.iSampleRate, 48000);
    EXPECT_EQ(a.iBitDepth, 24);
    EXPECT_EQ(a.language(), QStringLiteral("ko"));

    EXPECT_EQ(readFile(QStringLiteral("hand/asf_wmv3.txt")).iVideoFormat, VideoWmv);
}

TEST(ProbeHandReports, DivXWithOldStyleKeysAndClockDelays)
{
    const MediaReport r = readFile(QStringLiteral("hand/divx_asp.txt"));
    EXPECT_EQ(r.iContainer, ContainerDivx);
    EXPECT_EQ(r.iVideoFormat, VideoMpeg4Visual);
    EXPECT_EQ(r.iDivXVersion, 3);
    EXPECT_EQ(r.strLevel, QStringLiteral("5"));
    EXPECT_EQ(r.iBVOP, 2);
    EXPECT_EQ(r.iQPel, 2);
    EXPECT_EQ(r.iGMC, 2);
    EXPECT_EQ(r.iMatrix, 2);
    EXPECT_EQ(r.iScanType, 1);
    EXPECT_EQ(r.iVideoDelay, 1500);
    EXPECT_EQ(r.iVideoDuration, 5400000);
    EXPECT_EQ(r.iWidth, 720);
    EXPECT_EQ(r.iHeight, 400);
    EXPECT_NEAR(r.dPixelAspect, 0.889, 1e-9);
    EXPECT_EQ(r.strFrameRate, QStringLiteral("23.976"));
    EXPECT_EQ(r.iOverallBitRate, 1024000);
    EXPECT_EQ(r.iFileSizeMB, 700);
    ASSERT_EQ(r.iAudioCount, 1);
    EXPECT_EQ(r.audio[0].iDelay, 120);
    EXPECT_EQ(r.audio[0].iDuration, 5400000);
    EXPECT_EQ(r.audio[0].iBitRate, 128000);
    EXPECT_EQ(r.audio[0].iChannels, 2);
}

TEST(ProbeHandReports, FourLanguagesAndAnUntaggedTrack)
{
    MediaReport r = readFile(QStringLiteral("hand/mkv_four_languages.txt"), QStringLiteral("fr"));
    EXPECT_EQ(r.iContainer, ContainerMkv);
    EXPECT_EQ(r.iVideoFormat, VideoH264);
    EXPECT_EQ(r.strLevel, QStringLiteral("4.1"));
    EXPECT_EQ(r.iWidth, 1920);
    EXPECT_EQ(r.iHeight, 1080);
    EXPECT_EQ(r.iVideoDuration, 5400000);
    EXPECT_EQ(r.iVideoDelay, 42);
    EXPECT_EQ(r.iFileSizeMB, 4096);
    ASSERT_EQ(r.iAudioCount, 5);
    const int ids[] = {2, 3, 4, 5, 6};
    const char *langs[] = {"ko", "en", "fr", "sv", ""};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r.audio[i].iID, ids[i]);
        EXPECT_EQ(r.audio[i].language().toStdString(), langs[i]);
    }
    EXPECT_EQ(r.audio[0].iChannels, 6);
    EXPECT_TRUE(r.audio[1].bLC);
    EXPECT_EQ(r.audio[4].iBitDepth, 16);
    EXPECT_EQ(r.BestAudioTrack(), 2); // French DTS: 90 + 6
    EXPECT_EQ(r.audio[0].iPriority, 84);

    r = readFile(QStringLiteral("hand/mkv_four_languages.txt"), QStringLiteral("**"));
    EXPECT_EQ(r.audio[2].iPriority, 46);
    EXPECT_EQ(r.audio[3].iPriority, 93);
    EXPECT_EQ(r.audio[4].iPriority, 95);
    EXPECT_EQ(r.BestAudioTrack(), 4);

    r = readFile(QStringLiteral("hand/mkv_four_languages.txt"));
    EXPECT_EQ(r.BestAudioTrack(), 1); // AAC's bonus alone

    ASSERT_EQ(r.iTextCount, 3);
    EXPECT_EQ(r.text[0].iFormat, TextSrt);
    EXPECT_EQ(r.text[1].iFormat, TextSsa);
    EXPECT_EQ(r.text[2].iFormat, TextUnknown);
    EXPECT_EQ(r.text[2].iID, 9);
    EXPECT_EQ(r.text[2].language(), QStringLiteral("ja"));
}
