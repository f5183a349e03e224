#include "WavFixture.h"

#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <signal.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace wavtest {

const char *const kUsage
    = "Usage: chanfold.exe source_file target_file\nTarget file name must be specified.\n";
const char *const kEndLine = "downmixing: |==============================| 100.00%\n";

namespace {

    // The mixing tables typed in a second time on purpose: a slip in the tool's copy shows.
    const double kReference[4][2][8] = {
        { { 0.332054513, 0, -0.235076592, -0.235076592, 0.197792303, 0, 0, 0 },
            { 0, 0.332054513, 0.235076592, 0.235076592, 0.197792303, 0, 0, 0 } },
        { { 0.268853377, 0.190333615, 0, -0.190333615, -0.190333615, 0.160145779, 0, 0 },
            { 0, 0.190333615, 0.268853377, 0.190333615, 0.190333615, 0.160145779, 0, 0 } },
        { { 0.343145, 0.171572, 0, 0.24264, 0, 0.24264, 0, 0 },
            { 0, 0.171572, 0.343145, 0, 0.24264, 0, 0.24264, 0 } },
        { { 0.343145, 0.171572, 0, 0, 0.24264, 0, 0.24264, 0 },
            { 0, 0.171572, 0.343145, 0, 0, 0.24264, 0, 0.24264 } },
    };

    int waitStatus(pid_t pid)
    {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

} // namespace

std::string le16(std::uint16_t v) { return { char(v & 0xFF), char(v >> 8) }; }

std::string le32(std::uint32_t v)
{
    return { char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24) };
}

std::uint32_t readLe32(const std::string &bytes, std::size_t offset)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(bytes.at(offset + i));
    return v;
}

std::string makeWav(const WavSpec &spec, const std::string &data)
{
    const std::uint16_t blockAlign = spec.blockAlign.value_or(spec.channels * spec.bits / 8);
    std::string fmt = le16(spec.format) + le16(spec.channels) + le32(spec.sampleRate)
        + le32(spec.sampleRate * blockAlign) + le16(blockAlign) + le16(spec.bits);
    if (spec.fmtSize >= 18)
        fmt += le16(static_cast<std::uint16_t>(spec.fmtSize - 18));
    if (spec.fmtSize >= 40) {
        fmt += le16(spec.bits) + le32(0) + le32(spec.subFormat);
        fmt += std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
    }
    fmt.resize(spec.fmtSize, '\0');
    std::string body = "WAVEfmt " + le32(spec.fmtSize) + fmt + spec.between + "data"
        + le32(static_cast<std::uint32_t>(data.size())) + data;
    return "RIFF" + le32(spec.riffSize.value_or(static_cast<std::uint32_t>(body.size()))) + body;
}

std::vector<std::int16_t> randomSamples(std::size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    std::vector<std::int16_t> v(count);
    for (auto &s : v)
        s = static_cast<std::int16_t>(dist(rng));
    return v;
}

std::string packSamples(const std::vector<std::int16_t> &samples, int bits, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(samples.size() * bits / 8);
    for (std::int16_t s : samples) {
        for (int i = 0; i < (bits - 16) / 8; ++i)
            out += static_cast<char>(rng() & 0xFF);
        out += le16(static_cast<std::uint16_t>(s));
    }
    return out;
}

double referenceSum(int channels, int side, const std::int16_t *frame)
{
    double sum = 0;
    for (int k = 0; k < 8; ++k)
        sum += kReference[channels - 5][side][k] * (k < channels ? frame[k] : 0);
    return sum;
}

std::vector<std::int16_t> unpackTop16(const std::string &data, int bits)
{
    std::vector<std::int16_t> v;
    const std::size_t width = std::size_t(bits) / 8;
    for (std::size_t i = 0; i + width <= data.size(); i += width)
        v.push_back(static_cast<std::int16_t>(static_cast<unsigned char>(data[i + width - 2])
            | static_cast<unsigned char>(data[i + width - 1]) << 8));
    return v;
}

std::vector<std::int16_t> referenceMix(int channels, const std::vector<std::int16_t> &interleaved)
{
    std::vector<std::int16_t> stereo;
    for (std::size_t f = 0; f + channels <= interleaved.size(); f += channels) {
        const std::int16_t *frame = interleaved.data() + f;
        for (int side = 0; side < 2; ++side) {
            const double t = std::trunc(referenceSum(channels, side, frame));
            if (t < -32768 || t > 32767)
                throw std::runtime_error("reference mix out of range");
            stereo.push_back(static_cast<std::int16_t>(t));
        }
    }
    return stereo;
}

std::string expectedTarget(std::uint32_t sampleRate, const std::vector<std::int16_t> &stereo)
{
    const auto dataBytes = static_cast<std::uint32_t>(stereo.size() * 2);
    std::string out = "RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + le16(1) + le16(2)
        + le32(sampleRate) + le32(sampleRate * 4) + le16(4) + le16(16) + "data" + le32(dataBytes);
    for (std::int16_t s : stereo)
        out += le16(static_cast<std::uint16_t>(s));
    return out;
}

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/chanfold-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

bool writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bool(f.flush());
}

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

ToolRun runChanfoldTool(const std::vector<std::string> &args, long fileSizeLimit)
{
    const std::string tool = CHANFOLD_TOOL;
    TempDir capture;
    const std::string outPath = capture.path("stdout");

    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(tool.c_str()));
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0)
            _exit(126);
        if (fileSizeLimit > 0) {
            // Past the limit a write fails with EFBIG instead of killing the process.
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit { rlim_t(fileSizeLimit), rlim_t(fileSizeLimit) };
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    ToolRun run;
    run.status = pid > 0 ? waitStatus(pid) : -1;
    run.out = readFile(outPath);
    return run;
}

int runQuiet(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid > 0 ? waitStatus(pid) : -1;
}

} // namespace wavtest
