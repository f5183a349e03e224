#include "Chanfold.h"

#include "Downmix.h"
#include "Progress.h"
#include "RawFile.h"
#include "WavSourceInfo.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kChunkFrames = 2048;
// Chunks moved per read and per write.
constexpr std::int64_t kTransferFrames = 32 * kChunkFrames;
// The progress line is printed for the first chunk and then for every 1001st one.
constexpr int kProgressEvery = 1000;

void printUsage(std::FILE *out)
{
    std::fputs("Usage: chanfold.exe source_file target_file\n", out);
    std::fputs("Target file name must be specified.\n", out);
}

void fail(std::FILE *out, const char *message)
{
    std::fputs(message, out);
    printUsage(out);
    std::fflush(out);
}

void putLe32(unsigned char *p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// A size field of the target; a total that no longer fits says "as large as it gets"
// rather than wrapping around to a small, wrong length.
std::uint32_t sizeField(std::int64_t value)
{
    return value > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

void putLe16(unsigned char *p, std::uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// 16-bit stereo PCM; both size fields stay 0 until the real total is known.
void targetHeader(unsigned char header[44], std::uint32_t sampleRate)
{
    std::memcpy(header, "RIFF\0\0\0\0WAVEfmt ", 16);
    putLe32(header + 16, 16);
    putLe16(header + 20, 1);
    putLe16(header + 22, 2);
    putLe32(header + 24, sampleRate);
    putLe32(header + 28, sampleRate * 4);
    putLe16(header + 32, 4);
    putLe16(header + 34, 16);
    std::memcpy(header + 36, "data\0\0\0\0", 8);
}

bool sameFile(const RawFile &source, const char *targetPath)
{
    struct stat a, b;
    return ::fstat(source.handle(), &a) == 0 && ::stat(targetPath, &b) == 0 && a.st_dev == b.st_dev
        && a.st_ino == b.st_ino;
}

bool isRegularFile(const RawFile &file)
{
    struct stat st;
    return ::fstat(file.handle(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

StreamResult downmixStream(
    RawFile &source, RawFile &target, const WavSourceInfo &info, std::FILE *out, std::int64_t &bytesWritten)
{
    // Two fixed buffers whatever the file size. Each holds a run of chunks, so the system is
    // asked once per run rather than once per chunk: on a virtual machine a call costs as much
    // as mixing a chunk.
    const std::size_t blockAlign = info.iBlockAlign;
    auto sourceBuffer = std::make_unique<unsigned char[]>(std::size_t(kTransferFrames) * blockAlign);
    auto outBuffer = std::make_unique<unsigned char[]>(std::size_t(kTransferFrames) * 4);

    bool barShown = false;
    auto failed = [&](StreamResult result) {
        // The bar line ends in a carriage return; the message goes below it.
        if (barShown)
            std::fputc('\n', out);
        return result;
    };

    std::int64_t framesDone = 0;
    int progressCounter = 0;
    while (framesDone < info.iFrameCount) {
        const std::int64_t left = info.iFrameCount - framesDone;
        const std::int64_t wanted = left < kTransferFrames ? left : kTransferFrames;
        const std::int64_t got = source.read(sourceBuffer.get(), std::size_t(wanted) * blockAlign);
        if (got < 0)
            return failed(StreamResult::ReadFailed);
        // A source shorter than its header ends at its last whole frame.
        const std::int64_t frames = got / std::int64_t(blockAlign);

        for (std::int64_t first = 0; first < frames; first += kChunkFrames) {
            const std::int64_t chunk = std::min(kChunkFrames, frames - first);
            mixFrames(info, sourceBuffer.get() + first * blockAlign, std::size_t(chunk),
                outBuffer.get() + first * 4);
            if (progressCounter == 0) {
                std::fputs(progressLine(framesDone + first + chunk, info.iFrameCount).c_str(), out);
                std::fflush(out);
                barShown = true;
            }
            if (++progressCounter > kProgressEvery)
                progressCounter = 0;
        }

        if (!target.write(outBuffer.get(), std::size_t(frames) * 4))
            return failed(StreamResult::WriteFailed);
        bytesWritten += frames * 4;
        framesDone += frames;
        if (frames < wanted)
            break;
    }
    return StreamResult::Finished;
}

bool patchTargetHeader(RawFile &target, std::int64_t bytesWritten)
{
    unsigned char field[4];
    putLe32(field, sizeField(bytesWritten - 8));
    if (!target.seek(4) || !target.write(field, 4))
        return false;
    putLe32(field, sizeField(bytesWritten - 44));
    return target.seek(40) && target.write(field, 4);
}

void runChanfold(int argc, const char *const argv[], std::FILE *out)
{
    if (argc != 3) {
        printUsage(out);
        std::fflush(out);
        return;
    }
    const char *sourcePath = argv[1];
    const char *targetPath = argv[2];

    WavSourceInfo info;
    if (!readWavSourceInfo(sourcePath, info)) {
        fail(out, "source file reading failed\n");
        return;
    }
    if (!isDownmixable(info)) {
        fail(out, "not a valid file for downmixing\n");
        return;
    }

    RawFile source;
    if (!source.openRead(sourcePath) || !source.seek(info.iDataOffset)) {
        fail(out, "source file reading failed\n");
        return;
    }
    // Emptying the target must never empty the source.
    if (sameFile(source, targetPath)) {
        fail(out, "file writing failed\n");
        return;
    }
    RawFile target;
    // Created or emptied through the C library first; the handle below only opens what exists.
    std::FILE *emptied = std::fopen(targetPath, "wb");
    const bool created = emptied != nullptr;
    if (emptied)
        std::fclose(emptied);
    if (!created || !target.openWrite(targetPath)) {
        source.close();
        // An empty file left here would pass for a finished downmix.
        struct stat st;
        if (created && ::lstat(targetPath, &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(targetPath);
        fail(out, "file writing failed\n");
        return;
    }

    // A target left half written would pass for a finished downmix, so it goes; but only a
    // file, never a device the target path may name.
    const bool removable = isRegularFile(target);
    auto abandon = [&](const char *message) {
        target.close();
        source.close();
        if (removable)
            ::unlink(targetPath);
        fail(out, message);
    };

    unsigned char header[44];
    targetHeader(header, info.iSampleRate);
    if (!target.write(header, sizeof header)) {
        abandon("file writing failed\n");
        return;
    }
    std::int64_t bytesWritten = sizeof header;

    switch (downmixStream(source, target, info, out, bytesWritten)) {
    case StreamResult::ReadFailed:
        abandon("source file reading failed\n");
        return;
    case StreamResult::WriteFailed:
        abandon("file writing failed\n");
        return;
    case StreamResult::Finished:
        break;
    }
    std::fprintf(out, "downmixing: |==============================| 100.00%%\n");
    std::fflush(out);

    // Some file systems report a failed write only when the file is closed.
    if (!patchTargetHeader(target, bytesWritten) || !target.close()) {
        abandon("file writing failed\n");
        return;
    }
    source.close();
}
