#include "engine/WaveFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

QString write(const QTemporaryDir &dir, const char *name, const QByteArray &bytes)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

quint32 u32(const QByteArray &b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }
quint16 u16(const QByteArray &b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }

// A header whose "fmt " chunk has the given size and format tag.
QByteArray fmtHeader(quint32 fmtSize, quint16 tag)
{
    QByteArray h("RIFF\0\0\0\0WAVEfmt ", 16);
    char b[4];
    qToLittleEndian(fmtSize, b);
    h.append(b, 4);
    qToLittleEndian(tag, b);
    h.append(b, 2);
    h.append(QByteArray(22, '\0'));
    return h;
}

// Raw bytes with a recognisable pattern (so a shifted or truncated copy shows).
QByteArray pattern(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return b;
}

} // namespace

TEST(IsPcmWave, AcceptsPcmAndExtensibleOnly)
{
    QTemporaryDir dir;
    EXPECT_TRUE(IsPcmWave(write(dir, "pcm.wav", fmtHeader(16, 1))));
    EXPECT_TRUE(IsPcmWave(write(dir, "ext.wav", fmtHeader(40, 0xFFFE))));
    EXPECT_FALSE(IsPcmWave(write(dir, "float.wav", fmtHeader(16, 3))));
    EXPECT_FALSE(IsPcmWave(write(dir, "mp3.wav", fmtHeader(30, 0x55))));
    // A format chunk of 256 bytes or more is not a plain PCM header.
    EXPECT_FALSE(IsPcmWave(write(dir, "bigfmt.wav", fmtHeader(256, 1))));
    EXPECT_FALSE(IsPcmWave(write(dir, "hugefmt.wav", fmtHeader(0x01000010, 1))));
    // "fmt " must come first (a JUNK chunk in front is not accepted).
    QByteArray junk = fmtHeader(16, 1);
    junk.replace(12, 4, "JUNK");
    EXPECT_FALSE(IsPcmWave(write(dir, "junk.wav", junk)));
    QByteArray rifx = fmtHeader(16, 1);
    rifx.replace(8, 4, "AVI ");
    EXPECT_FALSE(IsPcmWave(write(dir, "avi.wav", rifx)));
}

TEST(IsPcmWave, MissingOrShortFilesAreNot)
{
    QTemporaryDir dir;
    EXPECT_FALSE(IsPcmWave(dir.filePath(QStringLiteral("none.wav"))));
    EXPECT_FALSE(IsPcmWave(QString()));
    EXPECT_FALSE(IsPcmWave(write(dir, "short.wav", fmtHeader(16, 1).left(23))));
    EXPECT_FALSE(IsPcmWave(write(dir, "empty.wav", QByteArray())));
    EXPECT_FALSE(IsPcmWave(dir.path()));
}

TEST(WaveHeader, FortyFourBytesLittleEndian)
{
    // 16-bit stereo at 48 kHz: block size 4, byte rate 192000.
    const QByteArray h = WaveHeader(1000, 48000, 16, 2);
    ASSERT_EQ(h.size(), 44);
    EXPECT_EQ(h.left(4), "RIFF");
    EXPECT_EQ(u32(h, 4), 1036u);
    EXPECT_EQ(h.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(h, 16), 16u);
    EXPECT_EQ(u16(h, 20), 1u);
    EXPECT_EQ(u16(h, 22), 2u);
    EXPECT_EQ(u32(h, 24), 48000u);
    EXPECT_EQ(u32(h, 28), 192000u);
    EXPECT_EQ(u16(h, 32), 4u);
    EXPECT_EQ(u16(h, 34), 16u);
    EXPECT_EQ(h.mid(36, 4), "data");
    EXPECT_EQ(u32(h, 40), 1000u);

    // 24-bit 6 channels: 18-byte frames; 12-bit samples round up to 2 bytes.
    const QByteArray h24 = WaveHeader(0, 44100, 24, 6);
    EXPECT_EQ(u16(h24, 32), 18u);
    EXPECT_EQ(u32(h24, 28), 18u * 44100u);
    EXPECT_EQ(u16(WaveHeader(0, 8000, 12, 1), 32), 2u);
}

TEST(EnsureWaveHeader, RawPcmGetsAHeaderAndWholeFrames)
{
    QTemporaryDir dir;
    // More than two copy blocks and a partial frame at the end (3 stray bytes).
    const QByteArray raw = pattern(65536 * 2 + 4 * 1000 + 3);
    const QString path = write(dir, "extractedaudio.wav", raw);
    const QString fixed = EnsureWaveHeader(path, 48000, 16, 2);
    EXPECT_EQ(fixed, path + QStringLiteral(".wav"));
    const QByteArray out = read(fixed);
    const quint32 dataLength = static_cast<quint32>(raw.size() - 3);
    ASSERT_EQ(out.size(), 44 + static_cast<int>(dataLength));
    EXPECT_EQ(out.left(44), WaveHeader(dataLength, 48000, 16, 2));
    EXPECT_EQ(out.mid(44), raw.left(static_cast<int>(dataLength)));
    EXPECT_TRUE(IsPcmWave(fixed));
    // The demuxed file itself is left as it was.
    EXPECT_EQ(read(path), raw);
}

TEST(EnsureWaveHeader, ExistingRiffFileIsUsedAsItIs)
{
    QTemporaryDir dir;
    const QString path = write(dir, "a.wav", WaveHeader(4, 48000, 16, 2) + QByteArray(4, '\1'));
    EXPECT_EQ(EnsureWaveHeader(path, 48000, 16, 2), path);
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".wav")));
    // Only "RIFF" and "WAVE" are looked at, not the format chunk.
    QByteArray odd = fmtHeader(16, 0x55);
    const QString mp3 = write(dir, "b.wav", odd);
    EXPECT_EQ(EnsureWaveHeader(mp3, 44100, 16, 2), mp3);
}

TEST(EnsureWaveHeader, NothingUsableGivesEmpty)
{
    QTemporaryDir dir;
    EXPECT_EQ(EnsureWaveHeader(dir.filePath(QStringLiteral("none.pcm")), 48000, 16, 2), QString());
    const QString raw = write(dir, "raw.pcm", pattern(100));
    EXPECT_EQ(EnsureWaveHeader(raw, 48000, 0, 2), QString());
    EXPECT_EQ(EnsureWaveHeader(raw, 48000, 16, 0), QString());
    // A file shorter than one frame still gets a valid, empty WAV.
    const QString tiny = write(dir, "tiny.pcm", pattern(3));
    const QString fixed = EnsureWaveHeader(tiny, 48000, 16, 2);
    ASSERT_FALSE(fixed.isEmpty());
    EXPECT_EQ(read(fixed), WaveHeader(0, 48000, 16, 2));
}
