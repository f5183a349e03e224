#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The two checks the audio chain makes on WAV files.

// True when the file starts with a RIFF/WAVE header whose "fmt " chunk comes first,
// is shorter than 256 bytes and has format tag 1 (PCM) or 0xFFFE (extensible).
// A missing or short file gives false.
bool IsPcmWave(const QString &path);

// The channel count of a file IsPcmWave accepts; 0 for any other file.
int PcmWaveChannels(const QString &path);

// The 44-byte canonical header of a PCM WAV file holding dataLength bytes.
QByteArray WaveHeader(std::uint32_t dataLength, std::uint32_t sampleRate, int bitsPerSample, int channels);

// A WAV file with the samples of path: path itself when it already starts with
// "RIFF"...."WAVE", else (raw PCM, as some demuxers write it) a copy at path + ".wav"
// behind a 44-byte header, holding whole sample frames only. Empty when the file
// cannot be read, the format gives no frame size, or the copy cannot be written.
QString EnsureWaveHeader(const QString &path, int sampleRate, int bitsPerSample, int channels);
