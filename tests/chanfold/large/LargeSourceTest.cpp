// A source above 4 GiB, as ffmpeg leaves it when the RIFF size field has wrapped. Sparse,
// so only its first and last frames take disk space; the target is about 512 MiB.
#include "WavFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

using namespace wavtest;

namespace {

std::string readRange(const std::string &path, std::uint64_t offset, std::size_t len)
{
    std::ifstream f(path, std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    std::string s(len, '\0');
    f.read(s.data(), static_cast<std::streamsize>(len));
    s.resize(static_cast<std::size_t>(f.gcount()));
    return s;
}

} // namespace

TEST(LargeSource, AWrappedRiffSizeAboveFourGiBIsReadToTheEndOfTheFile)
{
    TempDir dir;
    const std::string in = dir.path("in.wav");
    const std::string out = dir.path("out.wav");

    // Eight 32-bit channels: 32-byte frames, so 2^27 frames fill 4 GiB; 1000 more go past it.
    const std::uint64_t frames = (std::uint64_t(1) << 27) + 1000;
    const std::uint64_t size = 44 + frames * 32;
    const std::size_t edge = 700; // frames written at each end; the middle is a hole of zeros
    const auto head = randomSamples(8 * edge, 1);
    const auto tail = randomSamples(8 * edge, 2);

    WavSpec spec;
    spec.channels = 8;
    spec.bits = 32;
    spec.riffSize = static_cast<std::uint32_t>(size - 8); // wrapped: announces about 1000 frames
    {
        // Its data size field counts the head only; that field is not read anyway.
        const std::string start = makeWav(spec, packSamples(head, 32));
        const int fd = open(in.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, start.data(), start.size(), 0), ssize_t(start.size()));
        const std::string tailBytes = packSamples(tail, 32);
        ASSERT_EQ(pwrite(fd, tailBytes.data(), tailBytes.size(), off_t(size - tailBytes.size())),
            ssize_t(tailBytes.size()));
        ASSERT_EQ(ftruncate(fd, off_t(size)), 0);
        close(fd);
    }

    const ToolRun run = runChanfoldTool({ in, out });
    ASSERT_GE(run.out.size(), std::strlen(kEndLine));
    EXPECT_EQ(run.out.substr(run.out.size() - std::strlen(kEndLine)), kEndLine);

    const std::uint64_t outSize = 44 + frames * 4;
    std::ifstream probe(out, std::ios::binary | std::ios::ate);
    ASSERT_EQ(std::uint64_t(probe.tellg()), outSize);

    const std::string header = readRange(out, 0, 44);
    EXPECT_EQ(readLe32(header, 4), outSize - 8);
    EXPECT_EQ(readLe32(header, 40), outSize - 44);

    auto stereoAt = [&](std::uint64_t frame, std::size_t count) {
        const std::string bytes = readRange(out, 44 + frame * 4, count * 4);
        std::vector<std::int16_t> v;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            v.push_back(static_cast<std::int16_t>(
                static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
        return v;
    };
    EXPECT_EQ(stereoAt(0, edge), referenceMix(8, head));
    EXPECT_EQ(stereoAt(frames - edge, edge), referenceMix(8, tail));
    EXPECT_EQ(stereoAt(frames / 2, 4), std::vector<std::int16_t>(8, 0));
}
