#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// WAV files built byte by byte for the tests, and an independent reference of the fold-down.
namespace wavtest {

struct WavSpec {
    std::uint16_t format = 1;
    std::uint16_t channels = 6;
    std::uint32_t sampleRate = 48000;
    std::uint16_t bits = 16;
    std::optional<std::uint16_t> blockAlign; // default: channels * bits / 8
    std::uint32_t fmtSize = 16; // 16, 18 or 40 (extensible)
    std::uint32_t subFormat = 1; // first field of the extensible sub-format GUID
    std::string between; // raw chunks between "fmt " and "data"
    std::optional<std::uint32_t> riffSize; // default: the true size
};

std::string le16(std::uint16_t v);
std::string le32(std::uint32_t v);
std::uint32_t readLe32(const std::string &bytes, std::size_t offset);

// Header (and optional chunks) followed by data.
std::string makeWav(const WavSpec &spec, const std::string &data);

// Interleaved samples given by their top 16 bits, stored at the given width; the bytes below
// the top 16 bits are filled with noise from seed, since the mix must ignore them.
std::string packSamples(const std::vector<std::int16_t> &samples, int bits, unsigned seed = 1);
std::vector<std::int16_t> randomSamples(std::size_t count, unsigned seed);
// The top 16 bits of each little-endian sample of the given width.
std::vector<std::int16_t> unpackTop16(const std::string &data, int bits);

// Reference fold-down from a second copy of the tables: every channel's term in channel
// order, truncated toward zero.
std::vector<std::int16_t> referenceMix(int channels, const std::vector<std::int16_t> &interleaved);
// The untruncated sum of one output (side 0 left, 1 right) for one frame.
double referenceSum(int channels, int side, const std::int16_t *frame);

// The 44-byte stereo header followed by the stereo samples, as the tool must write them.
std::string expectedTarget(std::uint32_t sampleRate, const std::vector<std::int16_t> &stereo);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string path(const std::string &name) const { return dir + "/" + name; }

private:
    std::string dir;
};

bool writeFile(const std::string &path, const std::string &bytes);
std::string readFile(const std::string &path);
bool fileExists(const std::string &path);

struct ToolRun {
    int status = -1;
    std::string out;
};
// Runs the built tool (build/bin/tools/chanfold) with the given arguments and collects its standard output.
// fileSizeLimit > 0 caps the size of any file it writes (RLIMIT_FSIZE).
ToolRun runChanfoldTool(const std::vector<std::string> &args, long fileSizeLimit = 0);
// Runs a command (absolute path first) quietly; its exit status.
int runQuiet(const std::vector<std::string> &argv);

extern const char *const kUsage;
extern const char *const kEndLine;

} // namespace wavtest
