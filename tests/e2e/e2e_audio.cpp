// The audio stages end to end: marbleway-cli with the real tools on one-second media.
// The mux that would put the AAC into the finished MP4 is a later stage, so these
// tests run with --keep-temp and look at what the audio chain left in the work
// folder (temp.aac, or the demuxed AAC kept as it is), at the diagnostic log and at
// the row's status text.
#include "E2eSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#include <map>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

// One second of 160x120 MPEG-4 Part 2 video, which every conversion mode accepts.
const QStringList kVideo = { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1" };

QStringList tone(int channels, int frequency = 440)
{
    return { "-f", "lavfi", "-i",
             QStringLiteral("sine=frequency=%1:sample_rate=48000:duration=1,aformat=channel_layouts=%2")
                 .arg(frequency)
                 .arg(channels == 6 ? QStringLiteral("5.1") : channels == 2 ? QStringLiteral("stereo")
                                                                            : QStringLiteral("mono")) };
}

// The media the tests copy from, each made the first time a test asks for it (every
// test runs in a process of its own, so nothing is made that the test does not use).
class Media
{
public:
    static Media &get()
    {
        static Media media;
        return media;
    }
    // Path of a generated file; empty when ffmpeg could not make it.
    QString path(const char *name)
    {
        const QString file = m_dir.filePath(QString::fromLatin1(name));
        if (QFileInfo::exists(file))
            return file;
        const auto recipe = m_recipes.find(QString::fromLatin1(name));
        if (recipe == m_recipes.end() || !ffmpeg(recipe->second, file))
            return QString();
        return file;
    }

private:
    Media()
    {
        const QStringList mpeg4 = { "-c:v", "mpeg4", "-q:v", "5" };
        m_recipes = {
            { "mkv_ac3_51.mkv", kVideo + tone(6) + mpeg4 + QStringList{ "-c:a", "ac3", "-b:a", "192k" } },
            { "mkv_ac3_aac.mkv", kVideo + tone(6) + tone(2, 660) + mpeg4
                  + QStringList{ "-map", "0:v", "-map", "1:a", "-map", "2:a", "-c:a:0", "ac3", "-c:a:1", "aac",
                                 "-b:a:1", "96k" } },
            { "mkv_aac_6ch.mkv", kVideo + tone(6) + mpeg4 + QStringList{ "-c:a", "aac", "-b:a", "192k" } },
            { "mkv_ac3_pcm.mkv", kVideo + tone(6) + tone(2, 660) + mpeg4
                  + QStringList{ "-map", "0:v", "-map", "1:a", "-map", "2:a", "-c:a:0", "ac3", "-c:a:1",
                                 "pcm_s16le" } },
            { "mkv_video_only.mkv", kVideo + mpeg4 },
            { "mpeg_ps_mp2.mpg", kVideo + tone(2) + QStringList{ "-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob" } },
            { "wmv_wma.wmv", kVideo + tone(2) + QStringList{ "-c:v", "wmv2", "-c:a", "wmav2", "-b:a", "64k" } },
            { "avi_video.avi", kVideo + mpeg4 },
            { "audio_51.ac3", tone(6) + QStringList{ "-c:a", "ac3", "-b:a", "192k" } },
            // Quiet, so that normalize really changes it.
            { "quiet.wav", tone(2) + QStringList{ "-af", "volume=-40dB", "-c:a", "pcm_s16le" } },
        };
    }
    QTemporaryDir m_dir;
    std::map<QString, QStringList> m_recipes;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The payload checksums of the first audio stream's packets (without ADTS headers or
// timestamps), so that a bare AAC stream compares with the track it came from.
QStringList packetHashes(const QString &file)
{
    const QString out = run(QStringLiteral("/usr/bin/ffmpeg"),
                            { "-nostdin", "-loglevel", "error", "-i", file, "-map", "0:a:0", "-c", "copy", "-bsf:a",
                              "aac_adtstoasc", "-f", "framemd5", "-" });
    QStringList hashes;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.startsWith(QLatin1Char('#')))
            hashes << line.section(QLatin1Char(','), 5, 5).trimmed(); // stream, dts, pts, duration, size, hash
    }
    return hashes;
}

// What the final AAC must be: AAC-LC, at most two channels, about a second long
// (counted from its packets, since ADTS carries no duration).
void expectPlayableAac(const QString &file, int expectedChannels = 0)
{
    ASSERT_TRUE(QFileInfo::exists(file)) << file.toStdString();
    const QList<QJsonObject> audio = streams(probe(file), QStringLiteral("audio"));
    ASSERT_EQ(audio.size(), 1);
    const QJsonObject s = audio.first();
    EXPECT_EQ(s.value("codec_name").toString(), QStringLiteral("aac"));
    EXPECT_EQ(s.value("profile").toString(), QStringLiteral("LC"));
    const int channels = s.value("channels").toInt();
    EXPECT_GE(channels, 1);
    EXPECT_LE(channels, 2);
    if (expectedChannels > 0) {
        EXPECT_EQ(channels, expectedChannels);
    }
    const int rate = s.value("sample_rate").toString().toInt();
    const int packets = run(QStringLiteral("/usr/bin/ffprobe"),
                            { "-v", "error", "-select_streams", "a:0", "-count_packets", "-show_entries",
                              "stream=nb_read_packets", "-of", "csv=p=0", file })
                            .trimmed()
                            .toInt();
    ASSERT_GT(rate, 0);
    const double seconds = packets * 1024.0 / rate;
    EXPECT_NEAR(seconds, 1.0, 0.1) << file.toStdString();
}

int wavChannels(const QString &file)
{
    const QByteArray h = readAll(file).left(24);
    return h.size() == 24 ? qFromLittleEndian<quint16>(h.constData() + 22) : -1;
}

class AudioE2e : public ::testing::Test
{
protected:
    // Copies a generated file into the sandbox's media folder under name.
    QString place(const char *generated, const QString &name)
    {
        const QString target = box.mediaDir() + QLatin1Char('/') + name;
        const QString made = Media::get().path(generated);
        EXPECT_FALSE(made.isEmpty()) << "could not make " << generated;
        EXPECT_TRUE(QFile::copy(made, target));
        return target;
    }

    // One conversion with the log on; the log is read afterwards.
    RunResult convert(const QString &source, QStringList args, const QString &programFolder = QString())
    {
        args << QStringLiteral("--log") << source;
        RunResult r = box.runCli(args, programFolder, 120000);
        log = box.diagnosticLog();
        status = r.statusByPath()[source];
        return r;
    }
    QString work(const char *name) const { return box.keptWorkFolder() + QLatin1String(name); }
    bool logged(const QString &line) const { return log.contains(line); }

    // A copy of the built tools folder in which some tools are replaced by scripts.
    QString toolsWith(const std::map<QString, QByteArray> &scripts)
    {
        const QString folder = box.root() + QStringLiteral("/program/");
        QDir().mkpath(folder + QStringLiteral("tools"));
        const QDir built(binDir() + QStringLiteral("/tools"));
        for (const QString &name : built.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            const QString target = folder + QStringLiteral("tools/") + name;
            const auto script = scripts.find(name);
            if (script == scripts.end()) {
                QFile::link(built.filePath(name), target);
                continue;
            }
            QFile f(target);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(script->second);
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        return folder;
    }

    void externalAc3(const QString &name)
    {
        const QString src = place("avi_video.avi", QStringLiteral("movie.avi"));
        const QString ext = place("audio_51.ac3", name);
        const QByteArray before = fileHash(ext);
        convert(src, { "--keep-temp" });
        EXPECT_TRUE(logged(QStringLiteral("external audio file: ") + ext));
        EXPECT_FALSE(logged("Extracting audio"));
        EXPECT_FALSE(logged("Extracting and Converting audio"));
        EXPECT_EQ(wavChannels(work("temp.wav")), 2);
        expectPlayableAac(work("temp.aac"), 2);
        EXPECT_EQ(fileHash(ext), before);
    }

    Sandbox box;
    QString log;
    QString status;
};

} // namespace

TEST_F(AudioE2e, Mkv51Ac3IsDecodedToStereoAndEncoded)
{
    const QString src = place("mkv_ac3_51.mkv", QStringLiteral("movie.mkv"));
    convert(src, { "--keep-temp" });
    EXPECT_TRUE(logged("File info: MKV / MPEG4(160x120"));
    EXPECT_TRUE(logged(" / AC3(int) / no sub"));
    // A single AC-3 track takes the converting extraction, "-ac 2" included.
    EXPECT_TRUE(logged("Extracting and Converting audio to PCM"));
    EXPECT_EQ(wavChannels(work("extractedaudio.wav")), 2);
    // chanfold still runs; on stereo it leaves nothing and the PCM is encoded as it is.
    EXPECT_TRUE(logged("Downmixing PCM audio to 2.0"));
    EXPECT_TRUE(logged("Downmix audio failed"));
    EXPECT_FALSE(QFileInfo::exists(work("temp.wav")));
    EXPECT_TRUE(logged("AAC Filename: "));
    expectPlayableAac(work("temp.aac"), 2);
}

TEST_F(AudioE2e, StereoAacTrackIsKeptUnchanged)
{
    const QString src = place("mkv_ac3_aac.mkv", QStringLiteral("movie.mkv"));
    convert(src, { "--keep-temp" });
    EXPECT_TRUE(logged(" / AAC(int, out of 2)"));
    EXPECT_TRUE(logged("Extracting audio from MKV"));
    // Logged while the run's folder still had its working name.
    QString during = work("extractedaudio.aac");
    during.replace(QStringLiteral("/kept-"), QStringLiteral("/run-"));
    EXPECT_TRUE(logged(QStringLiteral("Audio file name: ") + during));
    EXPECT_FALSE(QFileInfo::exists(work("temp.aac")));
    expectPlayableAac(work("extractedaudio.aac"), 2);
    // The payload is the source track's, packet for packet.
    const QString reference = box.root() + QStringLiteral("/reference.mka");
    ASSERT_TRUE(ffmpeg({ "-i", src, "-map", "0:a:1", "-c", "copy" }, reference));
    const QStringList kept = packetHashes(work("extractedaudio.aac"));
    EXPECT_GT(kept.size(), 40);
    EXPECT_TRUE(kept == packetHashes(reference));
}

TEST_F(AudioE2e, ReencodeAacModes)
{
    const QString src = place("mkv_ac3_aac.mkv", QStringLiteral("movie.mkv"));
    // 1: always re-encoded, through its own PCM file.
    convert(src, { "--keep-temp", "--aac", "1" });
    EXPECT_TRUE(logged("Extracting audio from MKV"));
    EXPECT_EQ(wavChannels(work("AACConversionTemp.wav")), 2);
    expectPlayableAac(work("temp.aac"), 2);
    EXPECT_FALSE(packetHashes(work("temp.aac")) == packetHashes(work("extractedaudio.aac")));

    // 2 keeps even a six-channel AAC; 0 decodes, downmixes and re-encodes it.
    const QString six = place("mkv_aac_6ch.mkv", QStringLiteral("six.mkv"));
    QDir(box.tempDir()).removeRecursively();
    QDir().mkpath(box.tempDir());
    convert(six, { "--keep-temp", "--aac", "2" });
    EXPECT_TRUE(logged("Extracting audio from MKV"));
    EXPECT_FALSE(QFileInfo::exists(work("temp.aac")));
    EXPECT_FALSE(QFileInfo::exists(work("AACConversionTemp.wav")));
    const QList<QJsonObject> kept = streams(probe(work("extractedaudio.aac")), QStringLiteral("audio"));
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept.first().value("channels").toInt(), 6);

    convert(six, { "--keep-temp", "--aac", "0" });
    EXPECT_EQ(wavChannels(work("AACConversionTemp.wav")), 6);
    EXPECT_EQ(wavChannels(work("temp_downmixed.wav")), 2);
    EXPECT_TRUE(logged("Downmix audio finished"));
    expectPlayableAac(work("temp.aac"), 2);
}

TEST_F(AudioE2e, RawPcmFromTheDemuxerGetsAHeader)
{
    // A demuxer that writes the PCM track as bare samples, with no RIFF header.
    const QByteArray rawMkvextract = "#!/bin/sh\n"
                                     "out=${3#*:}\n"
                                     "exec /usr/bin/ffmpeg -nostdin -loglevel error -y -i \"$2\" -map 0:a:1 "
                                     "-c:a pcm_s16le -f s16le \"$out\"\n";
    const QString program = toolsWith({ { QStringLiteral("mkvextract"), rawMkvextract } });
    const QString src = place("mkv_ac3_pcm.mkv", QStringLiteral("movie.mkv"));
    convert(src, { "--keep-temp", "--audio-language", "8" }, program);
    EXPECT_TRUE(logged(" / PCM(int, out of 2)"));
    EXPECT_TRUE(logged("Validating PCM audio finished"));
    const QByteArray raw = readAll(work("extractedaudio.wav"));
    const QByteArray fixed = readAll(work("extractedaudio.wav.wav"));
    ASSERT_EQ(raw.size(), 192000); // one second of 16-bit stereo at 48 kHz
    ASSERT_EQ(fixed.size(), 44 + raw.size());
    EXPECT_EQ(fixed.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint32>(fixed.constData() + 24), 48000u);
    EXPECT_EQ(qFromLittleEndian<quint32>(fixed.constData() + 28), 192000u);
    EXPECT_EQ(qFromLittleEndian<quint16>(fixed.constData() + 32), 4u);
    EXPECT_EQ(fixed.mid(44), raw);
    expectPlayableAac(work("temp.aac"), 2);

    // Without --keep-temp nothing of the chain stays, the header-fixed copy included.
    QDir(box.tempDir()).removeRecursively();
    QDir().mkpath(box.tempDir());
    convert(src, { "--audio-language", "8" }, program);
    EXPECT_TRUE(logged("AAC Filename: "));
    for (const QString &left : box.leftoverTempFiles())
        EXPECT_FALSE(left.contains(QLatin1String(".wav")) || left.contains(QLatin1String(".aac")))
            << left.toStdString();
}

TEST_F(AudioE2e, MpegAndWindowsMediaTakeTheConvertingExtraction)
{
    const QString mpg = place("mpeg_ps_mp2.mpg", QStringLiteral("movie.mpg"));
    convert(mpg, { "--keep-temp", "--mode", "2" });
    EXPECT_TRUE(logged(" / MP3(int) / no sub"));
    EXPECT_TRUE(logged("Extracting and Converting audio to PCM"));
    EXPECT_EQ(wavChannels(work("extractedaudio.wav")), 2);
    expectPlayableAac(work("temp.aac"), 2);

    QDir(box.tempDir()).removeRecursively();
    QDir().mkpath(box.tempDir());
    const QString wmv = place("wmv_wma.wmv", QStringLiteral("clip.wmv"));
    convert(wmv, { "--keep-temp", "--mode", "2" });
    EXPECT_TRUE(logged(" / WMA(int) / no sub"));
    EXPECT_TRUE(logged("Extracting and Converting audio to PCM"));
    expectPlayableAac(work("temp.aac"), 2);
}

TEST_F(AudioE2e, VideoOnlySourceGoesOnWithoutAudio)
{
    const QString src = place("mkv_video_only.mkv", QStringLiteral("movie.mkv"));
    convert(src, { "--keep-temp" });
    EXPECT_TRUE(logged("No Audio Found. But, Force Extracting and Converting audio to PCM"));
    EXPECT_TRUE(logged("Force Audio extraction finished"));
    EXPECT_TRUE(logged("Definitly No Audio"));
    EXPECT_FALSE(QFileInfo::exists(work("temp.aac")));
    EXPECT_NE(status, QStringLiteral("오디오 변환 실패"));
    EXPECT_FALSE(status.startsWith(QStringLiteral("중단")));
}

// No internal track is touched: the companion is decoded to stereo "temp.wav" and encoded.
TEST_F(AudioE2e, ExternalAc3BesideTheVideo)
{
    externalAc3(QStringLiteral("movie.ac3"));
}

TEST_F(AudioE2e, ExternalAc3WithADelayInItsName)
{
    externalAc3(QStringLiteral("movie DELAY -300ms.ac3"));
}

TEST_F(AudioE2e, ExternalWavIsNeverNormalisedInPlace)
{
    const QString src = place("avi_video.avi", QStringLiteral("movie.avi"));
    const QString wav = place("quiet.wav", QStringLiteral("movie.wav"));
    const QByteArray before = fileHash(wav);
    convert(src, { "--keep-temp", "--normalize" });
    EXPECT_TRUE(logged("Normalizing PCM audio"));
    EXPECT_TRUE(logged("Normalization audio finished"));
    EXPECT_EQ(fileHash(wav), before);
    // The copy in the work folder is what normalize rewrote and what was encoded.
    EXPECT_TRUE(QFileInfo::exists(work("temp.wav")));
    EXPECT_NE(fileHash(work("temp.wav")), before);
    expectPlayableAac(work("temp.aac"), 2);
    // Without --keep-temp the user's file must not be taken for an intermediate.
    convert(src, { "--normalize" });
    EXPECT_TRUE(QFileInfo::exists(wav));
    EXPECT_EQ(fileHash(wav), before);
}

TEST_F(AudioE2e, StopDuringTheEncoderEndsTheRun)
{
    // An encoder that presses Stop: it interrupts the marbleway-cli above it and waits.
    const QByteArray stoppingEncoder = "#!/bin/sh\n"
                                       "pid=$$\n"
                                       "while [ \"$pid\" -gt 1 ]; do\n"
                                       "  pid=$(sed -n 's/^PPid:[[:space:]]*//p' /proc/$pid/status)\n"
                                       "  if [ \"$(cat /proc/$pid/comm)\" = marbleway-cli ]; then kill -INT $pid; break; fi\n"
                                       "done\n"
                                       "exec sleep 30\n";
    const QString program = toolsWith({ { QStringLiteral("neroAacEnc"), stoppingEncoder } });
    const QString src = place("mkv_ac3_51.mkv", QStringLiteral("movie.mkv"));
    const RunResult r = convert(src, {}, program);
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_TRUE(logged("Converting audio to AAC"));
    EXPECT_TRUE(logged("Audio conversion stopped"));
    EXPECT_FALSE(logged("AAC Filename: "));
    EXPECT_TRUE(status.startsWith(QStringLiteral("중단: "))) << status.toStdString();
}
