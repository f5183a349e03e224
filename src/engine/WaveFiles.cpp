#include "engine/WaveFiles.h"

#include <QFile>
#include <QtEndian>

namespace {

void put32(QByteArray &out, std::uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void put16(QByteArray &out, std::uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

constexpr qint64 kCopyBlock = 65536;

} // namespace

bool IsPcmWave(const QString &path)
{
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray h = f.read(24);
    if (h.size() < 24)
        return false;
    if (!h.startsWith("RIFF") || h.mid(8, 4) != "WAVE" || h.mid(12, 4) != "fmt ")
        return false;
    if (h.at(17) != 0 || h.at(18) != 0 || h.at(19) != 0)
        return false;
    const quint16 tag = qFromLittleEndian<quint16>(h.constData() + 20);
    return tag == 1 || tag == 0xFFFE;
}

int PcmWaveChannels(const QString &path)
{
    if (!IsPcmWave(path))
        return 0;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray h = f.read(24);
    return h.size() < 24 ? 0 : qFromLittleEndian<quint16>(h.constData() + 22);
}

QByteArray WaveHeader(std::uint32_t dataLength, std::uint32_t sampleRate, int bitsPerSample, int channels)
{
    const std::uint32_t blockSize = static_cast<std::uint32_t>((bitsPerSample + 7) / 8 * channels);
    QByteArray h;
    h.reserve(44);
    h.append("RIFF");
    put32(h, dataLength + 36);
    h.append("WAVE");
    h.append("fmt ");
    put32(h, 16);
    put16(h, 1);
    put16(h, static_cast<std::uint16_t>(channels));
    put32(h, sampleRate);
    put32(h, blockSize * sampleRate);
    put16(h, static_cast<std::uint16_t>(blockSize));
    put16(h, static_cast<std::uint16_t>(bitsPerSample));
    h.append("data");
    put32(h, dataLength);
    return h;
}

QString EnsureWaveHeader(const QString &path, int sampleRate, int bitsPerSample, int channels)
{
    QFile in(path);
    if (path.isEmpty() || !in.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = in.peek(44);
    if (head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE")
        return path;

    if (bitsPerSample <= 0 || channels <= 0 || channels > 0xFFFF || sampleRate <= 0)
        return QString();
    const qint64 blockSize = static_cast<qint64>((bitsPerSample + 7) / 8) * channels;
    if (blockSize <= 0 || blockSize > 0xFFFF)
        return QString();
    // The RIFF sizes are 32-bit: a longer stream keeps as many whole frames as fit.
    const qint64 maxData = (0xFFFFFFFFLL - 36) / blockSize * blockSize;
    const qint64 dataLength = std::min(in.size() / blockSize * blockSize, maxData);

    const QString target = path + QStringLiteral(".wav");
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    bool ok = out.write(WaveHeader(static_cast<std::uint32_t>(dataLength), static_cast<std::uint32_t>(sampleRate),
                                   bitsPerSample, channels))
        == 44;
    qint64 copied = 0;
    while (ok && copied < dataLength) {
        const QByteArray block = in.read(std::min(kCopyBlock, dataLength - copied));
        if (block.isEmpty())
            break;
        ok = out.write(block) == block.size();
        copied += block.size();
    }
    if (!ok) {
        // A half-written copy must not pass for the soundtrack.
        out.close();
        QFile::remove(target);
        return QString();
    }
    return target;
}
