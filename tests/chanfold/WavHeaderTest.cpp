#include "WavFixture.h"
#include "WavSourceInfo.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace wavtest;

namespace {

bool readFromMemory(const std::string &bytes, WavSourceInfo &info)
{
    ReadAt readAt = [&](std::uint64_t offset, void *buffer, std::size_t len) {
        if (offset > bytes.size() || len > bytes.size() - offset)
            return false;
        std::memcpy(buffer, bytes.data() + offset, len);
        return true;
    };
    return readWavSourceInfo(bytes.size(), readAt, info);
}

const std::uint64_t kFourGiB = std::uint64_t(1) << 32;

} // namespace

TEST(WavFrameCount, RiffSizeIsTrustedOnlyWhenItFitsTheFileBelowFourGiB)
{
    // fmt size 16, 6 channels of 16 bits: 44-byte header, 12-byte frames.
    const std::uint64_t size = 44 + 12 * 100;
    EXPECT_EQ(wavFrameCount(size - 8, size, 16, 12), 100);
    EXPECT_EQ(wavFrameCount(size - 8 - 12 * 10, size, 16, 12), 90); // shorter RIFF size wins
    EXPECT_EQ(wavFrameCount(size - 7, size, 16, 12), 100); // one byte too long: file size
    EXPECT_EQ(wavFrameCount(0xFFFFFFFFu, size, 16, 12), 100); // unknown size left by a stream writer
    EXPECT_EQ(wavFrameCount(0, size, 16, 12), 0); // never negative
    EXPECT_EQ(wavFrameCount(size - 8, size, 40, 12), (size - 8 - 60) / 12);

    // At 4 GiB and above the field has wrapped; the file's own size counts.
    const std::uint64_t big = kFourGiB + 44 + 12 * 5;
    const auto wrapped = static_cast<std::uint32_t>(big - 8);
    EXPECT_EQ(wavFrameCount(wrapped, big, 16, 12), std::int64_t((big - 44) / 12));
    EXPECT_EQ(wavFrameCount(40, kFourGiB, 16, 12), std::int64_t((kFourGiB - 44) / 12));
}

TEST(WavHeader, ReadsPcmAndExtensibleHeaders)
{
    WavSpec pcm;
    pcm.channels = 5;
    pcm.bits = 24;
    pcm.sampleRate = 44100;
    WavSourceInfo info;
    ASSERT_TRUE(readFromMemory(makeWav(pcm, std::string(15 * 7, '\0')), info));
    EXPECT_EQ(info.iChannels, 5);
    EXPECT_EQ(info.iBitsPerSample, 24);
    EXPECT_EQ(info.iSampleRate, 44100u);
    EXPECT_EQ(info.iBlockAlign, 15);
    EXPECT_EQ(info.iFrameCount, 7);
    EXPECT_EQ(info.iDataOffset, 44);
    EXPECT_FALSE(info.bFloatSamples);

    WavSpec withCbSize;
    withCbSize.fmtSize = 18;
    ASSERT_TRUE(readFromMemory(makeWav(withCbSize, std::string(12 * 3, '\0')), info));
    EXPECT_EQ(info.iDataOffset, 46);
    EXPECT_EQ(info.iFrameCount, 3);

    WavSpec extensible;
    extensible.format = 0xFFFE;
    extensible.fmtSize = 40;
    extensible.channels = 8;
    extensible.bits = 32;
    ASSERT_TRUE(readFromMemory(makeWav(extensible, std::string(32 * 4, '\0')), info));
    EXPECT_EQ(info.iDataOffset, 68);
    EXPECT_EQ(info.iFrameCount, 4);
    EXPECT_FALSE(info.bFloatSamples);
    EXPECT_TRUE(isDownmixable(info));

    extensible.subFormat = 3; // IEEE float
    ASSERT_TRUE(readFromMemory(makeWav(extensible, std::string(32 * 4, '\0')), info));
    EXPECT_TRUE(info.bFloatSamples);
    EXPECT_FALSE(isDownmixable(info));
}

TEST(WavHeader, RefusesWhatIsNotAPlainWavWithDataRightAfterFmt)
{
    const std::string data(12 * 4, '\x11');
    const std::string good = makeWav(WavSpec {}, data);
    WavSourceInfo info;
    ASSERT_TRUE(readFromMemory(good, info));

    auto patched = [&](std::size_t offset, const std::string &bytes) {
        std::string s = good;
        s.replace(offset, bytes.size(), bytes);
        return s;
    };
    WavSpec list;
    list.between = "LIST" + le32(4) + "INFO";
    WavSpec fact;
    fact.between = "fact" + le32(4) + le32(4);
    WavSpec floatTag;
    floatTag.format = 3;
    WavSpec mp3Tag;
    mp3Tag.format = 0x55;
    WavSpec tinyFmt;
    tinyFmt.fmtSize = 12;
    WavSpec noBlockAlign;
    noBlockAlign.blockAlign = 0;

    const std::pair<const char *, std::string> cases[] = {
        { "43 bytes", good.substr(0, 43) },
        { "RIFX", patched(0, "RIFX") },
        { "no WAVEfmt", patched(8, "WAVEjunk") },
        { "LIST chunk", makeWav(list, data) },
        { "fact chunk", makeWav(fact, data) },
        { "float tag", makeWav(floatTag, data) },
        { "mp3 tag", makeWav(mp3Tag, data) },
        { "fmt smaller than its fields", makeWav(tinyFmt, data) },
        { "block align 0", makeWav(noBlockAlign, data) },
        { "fmt size past the end", patched(16, le32(5000)) },
        { "fmt size near 4 GiB", patched(16, le32(0xFFFFFFF0u)) },
    };
    for (const auto &[name, bytes] : cases)
        EXPECT_FALSE(readFromMemory(bytes, info)) << name;
}

TEST(WavHeader, OnlyFiveToEightPackedIntegerChannelsCanBeMixed)
{
    auto info = [](std::uint16_t channels, std::uint16_t bits) {
        WavSourceInfo i;
        i.iChannels = channels;
        i.iBitsPerSample = bits;
        i.iBlockAlign = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
        return i;
    };
    for (std::uint16_t channels = 5; channels <= 8; ++channels)
        for (std::uint16_t bits : { 16, 24, 32 })
            EXPECT_TRUE(isDownmixable(info(channels, bits))) << channels << " x " << bits;
    EXPECT_FALSE(isDownmixable(info(4, 16)));
    EXPECT_FALSE(isDownmixable(info(9, 16)));
    EXPECT_FALSE(isDownmixable(info(6, 8)));
    EXPECT_FALSE(isDownmixable(info(6, 9)));
    EXPECT_FALSE(isDownmixable(info(6, 20)));

    // A block align that disagrees with the sample layout would walk frames out of step
    // (and, larger, beyond the read buffer).
    auto padded = info(6, 16);
    padded.iBlockAlign = 16;
    EXPECT_FALSE(isDownmixable(padded));
    padded.iBlockAlign = 65535;
    EXPECT_FALSE(isDownmixable(padded));
}
