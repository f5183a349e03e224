#include "mkvextract/MkvTracks.h"

#include "common/JsonValue.h"

#include <cerrno>
#include <cstdlib>

bool readMkvTracks(const std::string &json, std::vector<MkvTrack> *tracks)
{
    tracks->clear();
    adapt::JsonValue root;
    if (!adapt::JsonValue::parse(json, &root) || root.type() != adapt::JsonValue::Type::Object)
        return false;
    if (!root["container"]["recognized"].toBool())
        return false;
    for (const auto &t : root["tracks"].items()) {
        MkvTrack track;
        track.id = static_cast<int>(t["id"].toNumber(-1));
        track.number = static_cast<long long>(t["properties"]["number"].toNumber(-1));
        track.type = t["type"].toString();
        track.codecId = t["properties"]["codec_id"].toString();
        if (track.id >= 0)
            tracks->push_back(track);
    }
    return true;
}

const MkvTrack *trackByNumber(const std::vector<MkvTrack> &tracks, long long number)
{
    for (const auto &t : tracks) {
        if (t.number == number)
            return &t;
    }
    return nullptr;
}

bool mkvextractRefuses(const MkvTrack &track)
{
    if (track.type != "video")
        return false;
    const std::string iso = "V_MPEG4/ISO/";
    if (track.codecId.rfind(iso, 0) == 0)
        return track.codecId != "V_MPEG4/ISO/AVC";
    return track.codecId.rfind("V_MPEG4/MS/", 0) == 0;
}

bool parseTrackSpec(const std::string &arg, long long *number, std::string *file)
{
    const auto colon = arg.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= arg.size())
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        if (arg[i] < '0' || arg[i] > '9')
            return false;
    }
    errno = 0;
    const long long n = std::strtoll(arg.substr(0, colon).c_str(), nullptr, 10);
    if (errno != 0)
        return false;
    *number = n;
    *file = arg.substr(colon + 1);
    return true;
}
