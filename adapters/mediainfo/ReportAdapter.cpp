#include "ReportAdapter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mediainfo {
namespace {

// MediaInfo pads every key to this width before ": ".
constexpr size_t kKeyWidth = 41;

struct Block {
    std::vector<std::string> lines;
};

bool startsWith(const std::string &s, const std::string &prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::string trim(const std::string &s)
{
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string keyOf(const std::string &line)
{
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : trim(line.substr(0, colon));
}

std::string valueOf(const std::string &line)
{
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : trim(line.substr(colon + 1));
}

std::string withValue(const std::string &line, const std::string &value)
{
    const size_t colon = line.find(':');
    return line.substr(0, colon + 1) + " " + value;
}

std::string makeLine(const std::string &key, const std::string &value)
{
    std::string line = key;
    if (line.size() < kKeyWidth)
        line.append(kKeyWidth - line.size(), ' ');
    return line + ": " + value;
}

bool isNumber(const std::string &v)
{
    if (v.empty())
        return false;
    size_t i = v[0] == '-' ? 1 : 0;
    bool digits = false, dot = false;
    for (; i < v.size(); ++i) {
        if (v[i] >= '0' && v[i] <= '9')
            digits = true;
        else if (v[i] == '.' && !dot)
            dot = true;
        else
            return false;
    }
    return digits;
}

std::string clockText(long long ms)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return buf;
}

int findKey(const Block &b, const std::string &key)
{
    for (size_t i = 1; i < b.lines.size(); ++i) {
        if (keyOf(b.lines[i]) == key)
            return static_cast<int>(i);
    }
    return -1;
}

void setAll(Block &b, const std::string &key, const std::string &from, const std::string &to)
{
    for (size_t i = 1; i < b.lines.size(); ++i) {
        if (keyOf(b.lines[i]) == key && valueOf(b.lines[i]) == from)
            b.lines[i] = withValue(b.lines[i], to);
    }
}

// Ogg IDs are page serial numbers (often above 2^31); the demuxers the engine calls
// count streams from 0 in page order instead.
void renumberOggIds(Block &b, const std::vector<uint32_t> &serials)
{
    for (size_t i = 1; i < b.lines.size(); ++i) {
        if (keyOf(b.lines[i]) != "ID")
            continue;
        const std::string v = valueOf(b.lines[i]);
        char *end = nullptr;
        const unsigned long long serial = std::strtoull(v.c_str(), &end, 10);
        if (end == v.c_str())
            continue;
        const auto it = std::find(serials.begin(), serials.end(), serial);
        if (it == serials.end())
            continue;
        const long index = static_cast<long>(it - serials.begin());
        char buf[64];
        if (v.find(" (0x") != std::string::npos)
            std::snprintf(buf, sizeof buf, "%ld (0x%lX)", index, index);
        else
            std::snprintf(buf, sizeof buf, "%ld", index);
        b.lines[i] = withValue(b.lines[i], buf);
    }
}

// An MP4 track that starts with an empty edit shows its start only as Source_Delay and
// counts the gap in its Duration; the probe wants a Delay line and the media duration.
void addEditListDelay(Block &b)
{
    if (findKey(b, "Delay") >= 0)
        return;
    const int delayLine = findKey(b, "Source_Delay");
    const int originLine = findKey(b, "Source_Delay_Source");
    if (delayLine < 0 || originLine < 0 || valueOf(b.lines[originLine]) != "Container")
        return;
    const std::string delayText = valueOf(b.lines[delayLine]);
    if (!isNumber(delayText))
        return;
    const long long delay = std::llround(std::strtod(delayText.c_str(), nullptr));
    if (delay <= 0)
        return;

    std::vector<std::string> out;
    bool durationWritten = false;
    for (size_t i = 0; i < b.lines.size(); ++i) {
        const std::string key = i == 0 ? std::string() : keyOf(b.lines[i]);
        if (key == "Duration") {
            if (durationWritten)
                continue;
            durationWritten = true;
            // The first Duration line is the raw one in milliseconds.
            const std::string raw = valueOf(b.lines[i]);
            if (!isNumber(raw)) {
                out.push_back(b.lines[i]);
                continue;
            }
            const long long media = std::max(0LL, std::llround(std::strtod(raw.c_str(), nullptr)) - delay);
            out.push_back(makeLine("Duration", std::to_string(media)));
            out.push_back(makeLine("Duration", clockText(media)));
            continue;
        }
        if (static_cast<int>(i) == delayLine) {
            out.push_back(makeLine("Delay", std::to_string(delay)));
            out.push_back(makeLine("Delay", clockText(delay)));
        }
        out.push_back(b.lines[i]);
    }
    b.lines = std::move(out);
}

// MediaInfo names some ISO base-media files by their major brand ("iso6", "dash") instead of
// "MPEG-4"; the compatible brands say what they are.
bool isoBaseMediaBrand(const Block &b, const std::string &format)
{
    if (format.size() != 4 || format == "qt  ")
        return false;
    const int compatible = findKey(b, "CodecID_Compatible");
    const std::string brands = "/" + (compatible >= 0 ? valueOf(b.lines[compatible]) : std::string()) + "/";
    for (const char *known : { "/isom/", "/iso2/", "/mp41/", "/mp42/", "/avc1/", "/iso4/", "/iso5/", "/iso6/" }) {
        if (brands.find(known) != std::string::npos)
            return true;
    }
    return false;
}

void adaptGeneral(Block &b)
{
    const int format = findKey(b, "Format");
    if (format >= 0 && isoBaseMediaBrand(b, valueOf(b.lines[format])))
        setAll(b, "Format", valueOf(b.lines[format]), "MPEG-4");
    const int profile = findKey(b, "Format profile");
    if (profile >= 0 && valueOf(b.lines[profile]) == "QuickTime")
        setAll(b, "Format", "MPEG-4", "QuickTime");
    setAll(b, "Format", "Ogg", "OGG");
}

void adaptVideo(Block &b)
{
    for (size_t i = 1; i < b.lines.size(); ++i) {
        const std::string key = keyOf(b.lines[i]);
        const std::string v = valueOf(b.lines[i]);
        if (key == "Frame rate") {
            // "25.000 FPS" and "23.976 (24000/1001) FPS" come after the raw value and
            // would replace it; the older "23.976 fps" form is what the probe trims.
            const size_t space = v.find(' ');
            if (space != std::string::npos)
                b.lines[i] = withValue(b.lines[i], v.substr(0, space) + " fps");
        } else if (key == "Format settings, BVOP" && isNumber(v)) {
            b.lines[i] = withValue(b.lines[i], std::atoi(v.c_str()) > 0 ? "Yes" : "No");
        } else if (key == "Format" && v == "Cinepak") {
            b.lines[i] = withValue(b.lines[i], "Cinepack");
        }
    }
}

std::string aacProfile(const std::string &features)
{
    if (features == "LC SBR")
        return "HE-AAC / LC";
    if (features == "LC SBR PS")
        return "HE-AACv2 / HE-AAC / LC";
    return features;
}

void adaptAudio(Block &b)
{
    // The first Format line is the format's name; later ones add its features
    // ("AAC LC", "DTS XLL") and would replace the name.
    const int first = findKey(b, "Format");
    if (first < 0)
        return;
    const std::string name = valueOf(b.lines[first]);
    std::string features;
    int last = first;
    for (size_t i = first + 1; i < b.lines.size(); ++i) {
        if (keyOf(b.lines[i]) != "Format")
            continue;
        last = static_cast<int>(i);
        const std::string v = valueOf(b.lines[i]);
        if (v != name && startsWith(v, name + " ")) {
            features = v.substr(name.size() + 1);
            b.lines[i] = withValue(b.lines[i], name);
        }
    }
    if (name != "AAC" || findKey(b, "Format profile") >= 0)
        return;
    if (features.empty()) {
        const int extra = findKey(b, "Format_AdditionalFeatures");
        if (extra >= 0)
            features = valueOf(b.lines[extra]);
    }
    if (!features.empty())
        b.lines.insert(b.lines.begin() + last + 1, makeLine("Format profile", aacProfile(features)));
}

void adaptText(Block &b)
{
    setAll(b, "Format", "Timed Text", "Timed text");
}

} // namespace

std::string adaptReport(const std::string &raw, const std::vector<uint32_t> &oggSerials)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t end = raw.find('\n', pos);
        if (end == std::string::npos)
            end = raw.size();
        std::string line = raw.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }

    std::string out;
    bool mpeg4 = false;
    bool ogg = false;
    size_t i = 0;
    while (i < lines.size()) {
        if (lines[i].empty()) {
            out += '\n';
            ++i;
            continue;
        }
        Block b;
        while (i < lines.size() && !lines[i].empty())
            b.lines.push_back(lines[i++]);
        const std::string header = b.lines[0];
        if (startsWith(header, "General")) {
            const int format = findKey(b, "Format");
            const std::string container = format >= 0 ? valueOf(b.lines[format]) : std::string();
            ogg = container == "Ogg";
            adaptGeneral(b);
            mpeg4 = container == "MPEG-4" || (format >= 0 && valueOf(b.lines[format]) == "MPEG-4");
        } else if (startsWith(header, "Video") || startsWith(header, "Audio") || startsWith(header, "Text")) {
            if (ogg)
                renumberOggIds(b, oggSerials);
            if (mpeg4)
                addEditListDelay(b);
            if (startsWith(header, "Video"))
                adaptVideo(b);
            else if (startsWith(header, "Audio"))
                adaptAudio(b);
            else
                adaptText(b);
        }
        for (const std::string &l : b.lines) {
            out += l;
            out += '\n';
        }
    }
    return out;
}

} // namespace mediainfo
