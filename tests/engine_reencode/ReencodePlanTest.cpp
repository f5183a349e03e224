// Size, frame-rate and bit-rate arithmetic of the H.264 encode, and the bytes of one
// pass's script as the runner reads them back.
#include "engine/VideoReencodePlan.h"
#include "runner/CommandScript.h"
#include "runner/ScriptInterpreter.h"

#include <gtest/gtest.h>

namespace {

struct SizeCase
{
    int w0, h0, device;
    FrameSize expected;
};

TEST(ReencodePlan, TargetSizePerDevice)
{
    const SizeCase cases[] = {
        // iPhone 3: always about 640 x 480, bounded to 720 wide and 576 high.
        { 320, 240, 0, { 640, 480 } },
        { 1920, 1080, 0, { 720, 404 } }, // 739 wide is cut to 720, then 405 made even
        { 160, 120, 0, { 640, 480 } },
        { 480, 960, 0, { 288, 576 } }, // portrait: 783 high is cut to 576
        // iPhone 4 and 4S: the height capped at 720 / 1080, the width following the ratio.
        { 1920, 1080, 1, { 1280, 720 } },
        { 320, 240, 1, { 320, 240 } },
        { 853, 480, 1, { 852, 480 } },
        { 1920, 1080, 2, { 1920, 1080 } },
        { 2560, 1440, 2, { 1920, 1080 } },
        { 321, 241, 2, { 320, 240 } },
        // Today's iPhone and iPad: the long side at most 1920, either orientation.
        { 1920, 1080, 3, { 1920, 1080 } },
        { 3840, 2160, 3, { 1920, 1080 } },
        { 2160, 3840, 3, { 1080, 1920 } },
        { 4096, 2160, 3, { 1920, 1012 } },
        { 1280, 721, 3, { 1280, 720 } },
        { 1080, 1920, 3, { 1080, 1920 } },
        // An unknown device keeps the source size, made even.
        { 321, 241, 7, { 320, 240 } },
    };
    for (const SizeCase &c : cases)
        EXPECT_EQ(ReencodeTargetSize(c.w0, c.h0, c.device), c.expected)
            << c.w0 << "x" << c.h0 << " device " << c.device;
}

TEST(ReencodePlan, EncodedStreamStartsWithTheEarliestTrack)
{
    MediaReport r{ QString(), QString() };
    r.iVideoDelay = 1000;
    EXPECT_EQ(EncodedVideoStart(r), 1000); // nothing starts earlier
    r.audio.resize(2);
    r.audio[0].iDelay = 200;
    r.audio[1].iDelay = 1500;
    EXPECT_EQ(EncodedVideoStart(r), 200);
    r.iVideoDelay = 0;
    EXPECT_EQ(EncodedVideoStart(r), 0); // the audio is the later one
}

TEST(ReencodePlan, FrameRateTextCappedAtThirty)
{
    EXPECT_EQ(EncoderFrameRateText(QStringLiteral("29.970")), QStringLiteral("29.970"));
    EXPECT_EQ(EncoderFrameRateText(QStringLiteral("25.000")), QStringLiteral("25.000"));
    EXPECT_EQ(EncoderFrameRateText(QStringLiteral("50.000")), QStringLiteral("30"));
    EXPECT_EQ(EncoderFrameRateText(QStringLiteral("30.000")), QStringLiteral("30"));
    EXPECT_EQ(EncoderFrameRateText(QStringLiteral("59.940")), QStringLiteral("30"));
    // Not reported: the encoder still needs a rate.
    EXPECT_EQ(EncoderFrameRateText(QString()), QStringLiteral("30"));
    EXPECT_EQ(EncoderFrameRateText(QStringLiteral("N/A")), QStringLiteral("30"));
}

TEST(ReencodePlan, TodaysDevicesTakeSixtyFramesUnlessTheCheckIsOn)
{
    EXPECT_EQ(EncoderMaxFrameRate(3, false), 60);
    EXPECT_EQ(EncoderMaxFrameRate(3, true), 30);
    for (int device : { 0, 1, 2 })
        EXPECT_EQ(EncoderMaxFrameRate(device, false), 30) << device;
    EXPECT_EQ(EncoderFrameRateText(QStringLiteral("59.940"), 60), QStringLiteral("59.940"));
    EXPECT_EQ(EncoderFrameRateText(QStringLiteral("120.000"), 60), QStringLiteral("60"));
    EXPECT_EQ(EncoderFrameRateText(QString(), 60), QStringLiteral("30"));
}

TEST(ReencodePlan, BitRateCapsAndProfileRates)
{
    // A 5 Mbit/s source on every device and profile.
    const int source = 5000000;
    EXPECT_EQ(CappedBitRate(source, 0), 2400000);
    EXPECT_EQ(CappedBitRate(source, 1), 3000000);
    EXPECT_EQ(CappedBitRate(source, 2), 3000000);
    EXPECT_EQ(CappedBitRate(1500000, 0), 1500000);
    EXPECT_EQ(CappedBitRate(source, 3), 5000000);
    EXPECT_EQ(CappedBitRate(20000000, 3), 8000000);
    EXPECT_EQ(ProfileKbps(CappedBitRate(20000000, 3), 5), 16000); // HiBR
    for (int profile = 0; profile <= 4; ++profile) {
        EXPECT_EQ(ProfileKbps(CappedBitRate(source, 1), profile), 3000) << profile;
        EXPECT_EQ(ProfileKbps(CappedBitRate(source, 0), profile), 2400) << profile;
    }
    EXPECT_EQ(ProfileKbps(CappedBitRate(source, 2), 5), 6000);
    EXPECT_EQ(ProfileKbps(CappedBitRate(source, 0), 5), 4800);
    // Rounded to the nearest kbit/s (half up), HiBR doubles before rounding.
    EXPECT_EQ(ProfileKbps(1234499, 0), 1234);
    EXPECT_EQ(ProfileKbps(1234500, 0), 1235);
    EXPECT_EQ(ProfileKbps(1234250, 5), 2469);
    EXPECT_EQ(ProfileKbps(2147483647, 5), 4294967);

    const char *presets[] = { "slow", "fast", "veryfast", "superfast", "ultrafast", "slow" };
    for (int p = 0; p < 6; ++p)
        EXPECT_EQ(ProfilePresetName(p), QString::fromLatin1(presets[p]));
    EXPECT_EQ(ProfilePresetName(1, true), QStringLiteral("fast_high"));
}

TwoPassPass samplePass()
{
    TwoPassPass p;
    p.sourcePath = QStringLiteral("/media/my clip.wmv");
    p.outputPath = QStringLiteral("/tmp/work/convh264.mp4");
    p.ffmpegPath = QStringLiteral("/opt/conv/tools/ffmpeg");
    p.tempFolder = QStringLiteral("/tmp/work/");
    p.presetFolder = QStringLiteral("/opt/conv/tools/presets");
    p.profile = 5;
    p.size = { 720, 404 };
    p.frameRate = QStringLiteral("30");
    p.bitRate = 2400000;
    return p;
}

TEST(ReencodePlan, ScriptOfEachPassByteForByte)
{
    TwoPassPass p = samplePass();
    p.pass = 1;
    EXPECT_EQ(runner::commandScriptBytes(TwoPassScriptLines(p), runner::LastLine::Open),
              QByteArray("@echo off\r\nchcp 949\r\n"
                         "pushd \"/tmp/work/\"\r\n"
                         "set FFMPEG_DATADIR=/opt/conv/tools/presets\r\n"
                         "del \"/tmp/work/convh264.mp4\"\r\n"
                         "\"/opt/conv/tools/ffmpeg\" -i \"/media/my clip.wmv\"  -s 720x404 -an -pass 1 -vcodec libx264 "
                         "-vpre slow_firstpass -b 4800k -r 30 \"/tmp/work/convh264.mp4\""));

    p.pass = 2;
    p.profile = 3;
    p.deinterlace = true;
    const QStringList lines = TwoPassScriptLines(p);
    EXPECT_EQ(lines.last(), QStringLiteral("\"/opt/conv/tools/ffmpeg\" -i \"/media/my clip.wmv\" -deinterlace -s 720x404 "
                                           "-an -pass 2 -vcodec libx264 -vpre superfast -b 2400k -r 30 "
                                           "\"/tmp/work/convh264.mp4\""));
    // Today's devices: the presets that let x264 write High profile.
    p.highProfile = true;
    p.pass = 1;
    EXPECT_TRUE(TwoPassScriptLines(p).last().contains(QStringLiteral(" -vpre superfast_high_firstpass -b ")));
    p.pass = 2;
    EXPECT_TRUE(TwoPassScriptLines(p).last().contains(QStringLiteral(" -vpre superfast_high -b ")));
}

TEST(ReencodePlan, RunnerReadsTheScriptBackStepByStep)
{
    TwoPassPass p = samplePass();
    p.pass = 1;
    p.sourcePath = QStringLiteral("/media/%1 $(touch x) 한글.wmv");
    QString why;
    const auto script = runner::parseScript(runner::commandScriptBytes(TwoPassScriptLines(p), runner::LastLine::Open), &why);
    ASSERT_TRUE(script) << why.toStdString();
    ASSERT_EQ(script->lines.size(), 6u); // with "@echo off" and "chcp 949"
    EXPECT_EQ(script->lines[2].kind, runner::ScriptLine::Pushd);
    EXPECT_EQ(script->lines[2].value, QStringLiteral("/tmp/work/"));
    EXPECT_EQ(script->lines[3].kind, runner::ScriptLine::Set);
    EXPECT_EQ(script->lines[3].value, QStringLiteral("FFMPEG_DATADIR=/opt/conv/tools/presets"));
    EXPECT_EQ(script->lines[4].kind, runner::ScriptLine::Del);
    EXPECT_EQ(script->lines[4].value, QStringLiteral("/tmp/work/convh264.mp4"));
    const runner::ScriptLine &encoder = script->lines[5];
    EXPECT_EQ(encoder.kind, runner::ScriptLine::Command);
    // The empty deinterlace slot leaves no empty argument behind.
    EXPECT_EQ(encoder.arguments,
              (QStringList{ "-i", "/media/%1 $(touch x) 한글.wmv", "-s", "720x404", "-an", "-pass", "1", "-vcodec",
                            "libx264", "-vpre", "slow_firstpass", "-b", "4800k", "-r", "30", "/tmp/work/convh264.mp4" }));
}

} // namespace
