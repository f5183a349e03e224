#pragma once

// What each generated media file of scripts/make-probe-reports.sh really is, as the
// probe must read it. Used on the committed reports and on fresh ones from the adapter.

#include "probe/MediaReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corpus {

struct Range {
    int lo;
    int hi;
};

struct AudioExpect {
    int id;
    AudioFormat format;
    const char *language;
    bool lc;
    int channels;
    int sampleRate;
    Range delay;
    // Every generated stream lasts one or two seconds, delays excluded.
    Range duration = {900, 2100};
};

struct TextExpect {
    int id;
    TextFormat format;
    const char *language;
};

struct MediaExpect {
    const char *file; // media file name; the report is the stem + ".txt"
    ContainerKind container;
    VideoFormat video;
    int videoId;
    int width;
    int height;
    const char *frameRate;
    const char *level;
    int divx;
    int bvop, qpel, gmc, matrix, scan;
    Range videoDelay;
    Range videoDuration;
    std::vector<AudioExpect> audio;
    std::vector<TextExpect> text;
};

constexpr Range kZero{0, 0};
constexpr Range kTwoSeconds{1990, 2060};
constexpr Range kOneSecond{990, 1060};

inline const std::vector<MediaExpect> &media()
{
    static const std::vector<MediaExpect> all = {
        {"avi_mpeg4.avi", ContainerAvi, VideoMpeg4Visual, 0, 320, 240, "25.000", "1", 0, 1, 1, 0, 1, 1, kZero, kTwoSeconds,
         {{1, AudioMpegAudio, "", false, 1, 48000, kZero}}, {}},
        {"avi_h264.avi", ContainerAvi, VideoH264, 0, 320, 240, "25.000", "1.3", 0, 0, 0, 0, 0, 1, kZero, kTwoSeconds,
         {{1, AudioAc3, "", false, 1, 48000, kZero}}, {}},
        {"avi_div3.avi", ContainerAvi, VideoMpeg4Visual, 0, 320, 240, "25.000", "", 3, 0, 0, 0, 0, 1, kZero, kTwoSeconds,
         {{1, AudioMpegAudio, "", false, 1, 48000, kZero}}, {}},
        // B-frames, quarter-pel and a custom quantiser matrix.
        {"avi_asp_qpel.avi", ContainerAvi, VideoMpeg4Visual, 0, 320, 240, "25.000", "1", 0, 2, 2, 0, 2, 1, kZero, kTwoSeconds,
         {{1, AudioPcm, "", false, 2, 48000, kZero}}, {}},
        {"avi_asp_gmc.avi", ContainerAvi, VideoMpeg4Visual, 0, 320, 240, "25.000", "5", 0, 1, 1, 3, 1, 1, kZero, kTwoSeconds,
         {{1, AudioPcm, "", false, 1, 48000, kZero}}, {}},
        // The MPEG default matrix counts as "other" like a custom one.
        {"avi_interlaced.avi", ContainerAvi, VideoMpeg4Visual, 0, 320, 240, "25.000", "1", 0, 1, 1, 0, 2, 2, kZero, kTwoSeconds,
         {}, {}},
        {"avi_cinepak.avi", ContainerAvi, VideoCinepack, 0, 160, 120, "10.000", "", 0, 0, 0, 0, 0, 1, kZero, kOneSecond, {}, {}},
        {"avi_mjpeg.avi", ContainerAvi, VideoMjpeg, 0, 160, 120, "10.000", "", 0, 0, 0, 0, 0, 1, kZero, kOneSecond, {}, {}},
        {"mkv.mkv", ContainerMkv, VideoH264, 1, 320, 240, "25.000", "1.3", 0, 0, 0, 0, 0, 1, {0, 40}, kTwoSeconds,
         {{2, AudioAc3, "ko", false, 1, 48000, {190, 240}},
          {3, AudioAac, "en", true, 1, 48000, kZero},
          {4, AudioVorbis, "ja", false, 1, 44100, {0, 40}}},
         {{5, TextSrt, "ko"}, {6, TextSsa, "en"}}},
        // The English audio starts 0.5 s late through an empty edit (less the encoder delay).
        {"mp4.mp4", ContainerMp4, VideoH264, 1, 320, 240, "25.000", "4.1", 0, 0, 0, 0, 0, 1, kZero, kTwoSeconds,
         {{2, AudioAac, "en", true, 1, 48000, {450, 500}}},
         {{3, TextTtxt, "ko"}}},
        {"mp4_720p.mp4", ContainerMp4, VideoH264, 1, 1280, 720, "23.976", "3.1", 0, 0, 0, 0, 0, 1, kZero, kOneSecond,
         {{2, AudioAac, "", true, 1, 48000, kZero}}, {}},
        {"mov.mov", ContainerQt, VideoH264, 1, 320, 240, "25.000", "1.3", 0, 0, 0, 0, 0, 1, kZero, kTwoSeconds,
         {{2, AudioAac, "", true, 1, 48000, kZero}}, {}},
        {"3gp.3gp", ContainerMp4, VideoH263, 1, 176, 144, "15.000", "", 0, 0, 0, 0, 0, 1, kZero, kTwoSeconds,
         {{2, AudioAac, "", true, 1, 8000, kZero}}, {}},
        // Sorenson Spark is none of the formats the engine names.
        {"flv.flv", ContainerFlv, VideoUnknown, -1, 320, 240, "25.000", "", 0, 0, 0, 0, 0, 0, {0, 40}, kTwoSeconds,
         {{0, AudioMpegAudio, "", false, 1, 44100, kZero}}, {}},
        {"flv_h264.flv", ContainerFlv, VideoH264, -1, 320, 240, "25.000", "1.3", 0, 0, 0, 0, 0, 1, kZero, kTwoSeconds,
         {{0, AudioAac, "", true, 2, 48000, kZero}}, {}},
        {"swf.swf", ContainerSwf, VideoH263, 0, 320, 240, "25.000", "", 0, 0, 0, 0, 0, 0, kZero, {0, 2060},
         {{0, AudioMpegAudio, "", false, 1, 44100, kZero}}, {}},
        // ffmpeg's Ogg uses random page serials; the IDs are the streams' page order.
        {"ogg.ogg", ContainerOgg, VideoUnknown, 0, 320, 240, "25.000", "", 0, 0, 0, 0, 0, 0, kZero, kTwoSeconds,
         {{1, AudioVorbis, "", false, 1, 48000, kZero}}, {}},
        {"ogm.ogm", ContainerOgg, VideoMpeg4Visual, 0, 320, 240, "25.000", "1", 0, 1, 1, 0, 1, 1, kZero, kTwoSeconds,
         {{1, AudioMpegAudio, "ko", false, 1, 44100, kZero}, {2, AudioAc3, "en", false, 1, 48000, kZero}},
         {{3, TextUnknown, "ko"}}},
        {"ogm_h264.ogm", ContainerOgg, VideoH264, 0, 320, 240, "25.000", "", 0, 0, 0, 0, 0, 0, kZero, kTwoSeconds,
         {{1, AudioMpegAudio, "", false, 1, 44100, kZero}}, {}},
        {"mpeg_ps.mpg", ContainerMpeg, VideoMpeg, 224, 320, 240, "25.000", "", 0, 1, 0, 0, 2, 1, {500, 600}, kTwoSeconds,
         {{192, AudioMpegAudio, "", false, 1, 48000, {500, 600}}}, {}},
        {"wmv.wmv", ContainerWmv, VideoWmv, 1, 320, 240, "25.000", "", 0, 0, 0, 0, 0, 0, kZero, kTwoSeconds,
         {{2, AudioWma, "", false, 1, 48000, kZero}}, {}},
        // A bare AAC stream: no video, one AAC-LC stereo track whose length MediaInfo
        // does not measure.
        {"aac_adts.aac", ContainerUnknown, VideoNone, -1, 0, 0, "", "", 0, 0, 0, 0, 0, 0, kZero, {0, 0},
         {{0, AudioAac, "", true, 2, 48000, kZero, {0, 0}}}, {}},
    };
    return all;
}

inline std::string stem(const char *file)
{
    const std::string f(file);
    return f.substr(0, f.rfind('.'));
}

inline void expectIn(Range r, int v, const char *what)
{
    EXPECT_GE(v, r.lo) << what;
    EXPECT_LE(v, r.hi) << what;
}

inline void check(const MediaExpect &e, const MediaReport &r)
{
    SCOPED_TRACE(e.file);
    EXPECT_EQ(r.iContainer, e.container);
    EXPECT_EQ(r.iVideoFormat, e.video);
    EXPECT_EQ(r.iVideoID, e.videoId);
    EXPECT_EQ(r.iWidth, e.width);
    EXPECT_EQ(r.iHeight, e.height);
    EXPECT_EQ(r.strFrameRate.toStdString(), e.frameRate);
    EXPECT_EQ(r.strLevel.toStdString(), e.level);
    EXPECT_EQ(r.iDivXVersion, e.divx);
    EXPECT_EQ(r.iBVOP, e.bvop);
    EXPECT_EQ(r.iQPel, e.qpel);
    EXPECT_EQ(r.iGMC, e.gmc);
    EXPECT_EQ(r.iMatrix, e.matrix);
    EXPECT_EQ(r.iScanType, e.scan);
    expectIn(e.videoDelay, r.iVideoDelay, "video delay");
    expectIn(e.videoDuration, r.iVideoDuration, "video duration");
    EXPECT_EQ(r.iFileSizeMB, 0);
    if (e.video != VideoNone) {
        EXPECT_GT(r.iOverallBitRate, 0);
        EXPECT_DOUBLE_EQ(r.dPixelAspect, 1.0);
    }

    ASSERT_EQ(r.iAudioCount, static_cast<int>(e.audio.size()));
    ASSERT_EQ(r.audio.size(), e.audio.size());
    for (size_t i = 0; i < e.audio.size(); ++i) {
        SCOPED_TRACE("audio " + std::to_string(i));
        const AudioTrack &t = r.audio[static_cast<qsizetype>(i)];
        const AudioExpect &a = e.audio[i];
        EXPECT_EQ(t.iID, a.id);
        EXPECT_EQ(t.iFormat, a.format);
        EXPECT_EQ(t.language().toStdString(), a.language);
        EXPECT_EQ(t.bLC, a.lc);
        EXPECT_EQ(t.iChannels, a.channels);
        EXPECT_EQ(t.iSampleRate, a.sampleRate);
        expectIn(a.delay, t.iDelay, "audio delay");
        expectIn(a.duration, t.iDuration, "audio duration");
    }
    ASSERT_EQ(r.iTextCount, static_cast<int>(e.text.size()));
    ASSERT_EQ(r.text.size(), e.text.size());
    for (size_t i = 0; i < e.text.size(); ++i) {
        SCOPED_TRACE("text " + std::to_string(i));
        const TextTrack &t = r.text[static_cast<qsizetype>(i)];
        EXPECT_EQ(t.iID, e.text[i].id);
        EXPECT_EQ(t.iFormat, e.text[i].format);
        EXPECT_EQ(t.language().toStdString(), e.text[i].language);
    }
}

} // namespace corpus
