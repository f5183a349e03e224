#include "MediaProbe.h"

#include "common/Process.h"

#include <cstdlib>
#include <map>
#include <sstream>

namespace mp4box {

bool ProbedMedia::formatIs(const std::string &name) const
{
    std::stringstream ss(format);
    std::string part;
    while (std::getline(ss, part, ',')) {
        if (part == name)
            return true;
    }
    return false;
}

ProbedMedia parseFlatProbe(const std::string &text)
{
    ProbedMedia m;
    std::map<int, ProbedStream> streams;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (key == "format.format_name") {
            m.format = value;
        } else if (key == "format.start_time") {
            m.startTime = std::atof(value.c_str());
        } else if (key == "format.duration") {
            m.duration = std::atof(value.c_str());
        } else if (key.rfind("streams.stream.", 0) == 0) {
            const size_t dot = key.find('.', 15);
            if (dot == std::string::npos)
                continue;
            const int n = std::atoi(key.substr(15, dot - 15).c_str());
            const std::string field = key.substr(dot + 1);
            ProbedStream &s = streams[n];
            if (field == "index") {
                s.index = std::atoi(value.c_str());
            } else if (field == "id") {
                char *end = nullptr;
                const long long v = std::strtoll(value.c_str(), &end, 0);
                if (end != value.c_str() && *end == '\0')
                    s.id = v;
            } else if (field == "codec_type") {
                s.type = value;
            } else if (field == "codec_name") {
                s.codec = value;
            } else if (field == "width") {
                s.width = std::atoi(value.c_str());
            } else if (field == "height") {
                s.height = std::atoi(value.c_str());
            } else if (field == "r_frame_rate") {
                Rational r;
                if (parseFps(value, &r))
                    s.frameRate = r;
            } else if (field == "start_time") {
                s.startTime = std::atof(value.c_str());
            } else if (field == "tags.language") {
                s.language = value;
            }
        }
    }
    for (auto &[n, s] : streams)
        m.streams.push_back(s);
    return m;
}

bool probeMedia(const std::string &path, ProbedMedia *out, std::string *error)
{
    std::string text;
    const int rc = adapt::capture(
        { adapt::systemTool("ffprobe"), "-v", "error", "-show_entries",
            "format=format_name,duration,start_time:stream=index,id,codec_type,codec_name,width,height,"
            "r_frame_rate,start_time:stream_tags=language",
            "-of", "flat", "file:" + path },
        &text, true);
    if (rc != 0) {
        *error = "cannot read " + path + " as media";
        return false;
    }
    *out = parseFlatProbe(text);
    if (out->streams.empty()) {
        *error = path + " holds no stream";
        return false;
    }
    return true;
}

bool readAdts(std::string_view bytes, AdtsStream *out)
{
    static const int rates[] = { 96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025,
        8000, 7350 };
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t size = bytes.size();
    AdtsStream s;
    size_t pos = 0;
    while (pos < size) {
        if (size - pos < 7 || p[pos] != 0xFF || (p[pos + 1] & 0xF6) != 0xF0)
            return false; // no sync word, or a layer other than 0
        const int rateIndex = p[pos + 2] >> 2 & 0x0F;
        if (rateIndex >= 13 || (s.sampleRate && rates[rateIndex] != s.sampleRate))
            return false;
        const int objectType = (p[pos + 2] >> 6) + 1;
        const int channels = (p[pos + 2] & 0x01) << 2 | p[pos + 3] >> 6;
        if (s.frames.empty()) {
            s.sampleRate = rates[rateIndex];
            s.rateIndex = rateIndex;
            s.objectType = objectType;
            s.channelConfig = channels;
        }
        AdtsFrame f;
        f.offset = pos;
        f.length = static_cast<uint32_t>((static_cast<size_t>(p[pos + 3] & 0x03) << 11)
            | (static_cast<size_t>(p[pos + 4]) << 3) | (p[pos + 5] >> 5));
        f.headerLength = (p[pos + 1] & 1) ? 7 : 9;
        f.blocks = (p[pos + 6] & 0x03) + 1;
        if (f.length < f.headerLength || f.length > size - pos)
            return false;
        if (f.headerLength != 7 || f.blocks != 1 || objectType != s.objectType || channels != s.channelConfig
            || f.length == f.headerLength)
            s.plain = false;
        s.samples += 1024 * f.blocks;
        s.frames.push_back(f);
        pos += f.length;
    }
    if (s.frames.empty())
        return false;
    *out = std::move(s);
    return true;
}

bool probeAdts(std::string_view bytes, ProbedMedia *out)
{
    AdtsStream adts;
    if (!readAdts(bytes, &adts))
        return false;
    ProbedMedia m;
    m.format = "aac";
    m.duration = static_cast<double>(adts.samples) / adts.sampleRate;
    ProbedStream s;
    s.type = "audio";
    s.codec = "aac";
    m.streams.push_back(s);
    *out = m;
    return true;
}

} // namespace mp4box
