#include "CommandLine.h"

#include "Languages.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace mp4box {
namespace {

    bool allDigits(std::string_view s)
    {
        if (s.empty() || s.size() > 9)
            return false;
        for (char c : s) {
            if (c < '0' || c > '9')
                return false;
        }
        return true;
    }

    bool parseInt64(std::string_view s, int64_t *out)
    {
        std::string t(s);
        if (t.empty())
            return false;
        char *end = nullptr;
        errno = 0;
        const long long v = std::strtoll(t.c_str(), &end, 10);
        if (*end != '\0' || errno != 0)
            return false;
        *out = v;
        return true;
    }

    bool parseRatio(std::string_view s, char sep, int *num, int *den)
    {
        const size_t p = s.find(sep);
        if (p == std::string_view::npos)
            return false;
        int64_t n, d;
        if (!parseInt64(s.substr(0, p), &n) || !parseInt64(s.substr(p + 1), &d))
            return false;
        if (n <= 0 || d <= 0 || n > 1000000 || d > 1000000)
            return false;
        *num = static_cast<int>(n);
        *den = static_cast<int>(d);
        return true;
    }

    bool parseLayout(std::string_view s, TrackLayout *out)
    {
        std::vector<int64_t> v;
        size_t i = 0;
        while (i <= s.size()) {
            // Fields are separated by 'x'; a '-' may start a field.
            size_t j = s.find('x', i);
            if (j == std::string_view::npos)
                j = s.size();
            int64_t n;
            if (!parseInt64(s.substr(i, j - i), &n) || n < -100000 || n > 100000)
                return false;
            v.push_back(n);
            i = j + 1;
        }
        if (v.size() != 2 && v.size() != 4)
            return false;
        if (v[0] < 0 || v[1] < 0)
            return false;
        out->width = static_cast<int>(v[0]);
        out->height = static_cast<int>(v[1]);
        if (v.size() == 4) {
            out->x = static_cast<int>(v[2]);
            out->y = static_cast<int>(v[3]);
        }
        return true;
    }

} // namespace

bool parseFps(std::string_view text, Rational *out)
{
    const size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        int64_t n, d;
        if (!parseInt64(text.substr(0, slash), &n) || !parseInt64(text.substr(slash + 1), &d) || n <= 0
            || d <= 0 || n > 100000000 || d > 100000000)
            return false;
        const int64_t g = std::gcd(n, d);
        *out = { n / g, d / g };
        return true;
    }
    std::string t(text);
    if (t.empty())
        return false;
    char *end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (*end != '\0' || !(v > 0.0) || v > 1000.0)
        return false;
    if (std::fabs(v - std::round(v)) < 1e-6) {
        *out = { static_cast<int64_t>(std::llround(v)), 1 };
        return true;
    }
    // NTSC rates are written rounded (23.976, 29.97): they stand for N*1000/1001.
    const double ntsc = v * 1.001;
    if (std::fabs(ntsc - std::round(ntsc)) < 0.005) {
        *out = { static_cast<int64_t>(std::llround(ntsc)) * 1000, 1001 };
        return true;
    }
    int64_t n = std::llround(v * 1000);
    int64_t d = 1000;
    const int64_t g = std::gcd(n, d);
    *out = { n / g, d / g };
    return true;
}

std::optional<int> parseLevel(std::string_view text, LevelForm form)
{
    static const int valid[]
        = { 9, 10, 11, 12, 13, 20, 21, 22, 30, 31, 32, 40, 41, 42, 50, 51, 52, 60, 61, 62 };
    int idc = -1;
    if (form == LevelForm::Idc) {
        if (!allDigits(text))
            return std::nullopt;
        idc = std::atoi(std::string(text).c_str());
    } else {
        if (text == "1b")
            return 9;
        std::string t(text);
        char *end = nullptr;
        if (t.empty() || !(t[0] >= '0' && t[0] <= '9'))
            return std::nullopt;
        const double v = std::strtod(t.c_str(), &end);
        if (*end != '\0' || v <= 0 || v > 10)
            return std::nullopt;
        idc = static_cast<int>(std::lround(v * 10));
    }
    for (int ok : valid) {
        if (ok == idc)
            return idc;
    }
    return std::nullopt;
}

bool parseCommandLine(const std::vector<std::string> &args, CommandLine *cmd, std::string *error)
{
    CommandLine c;
    bool haveCommand = false;
    auto setCommand = [&](Command k, const std::string &opt) {
        if (haveCommand && c.command != k) {
            *error = "option " + opt + " cannot be combined with the other action given";
            return false;
        }
        haveCommand = true;
        c.command = k;
        return true;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const bool hasNext = i + 1 < args.size();
        auto need = [&](const char *what) {
            if (!hasNext) {
                *error = "option " + a + " needs " + what;
                return false;
            }
            return true;
        };
        if (a == "-raw") {
            if (!need("a track ID") || !setCommand(Command::Raw, a))
                return false;
            if (!allDigits(args[i + 1])) {
                *error = "-raw needs a track ID, not \"" + args[i + 1] + "\"";
                return false;
            }
            c.trackId = std::atoi(args[++i].c_str());
        } else if (a == "-aviraw") {
            if (!need("\"video\" or \"audio\"") || !setCommand(Command::AviRaw, a))
                return false;
            c.aviStream = args[++i];
            if (c.aviStream != "video" && c.aviStream != "audio") {
                *error = "-aviraw takes \"video\" or \"audio\", not \"" + c.aviStream + "\"";
                return false;
            }
        } else if (a == "-ttxt") {
            // "-ttxt ID FILE" dumps a track; "-ttxt FILE.srt" converts a subtitle file.
            if (i + 2 < args.size() && allDigits(args[i + 1])) {
                if (!setCommand(Command::TtxtTrack, a))
                    return false;
                c.trackId = std::atoi(args[++i].c_str());
            } else if (!setCommand(Command::TtxtFile, a)) {
                return false;
            }
        } else if (a == "-out") {
            if (!need("a file name"))
                return false;
            c.out = args[++i];
        } else if (a == "-add") {
            if (!need("a file"))
                return false;
            c.adds.push_back(args[++i]);
        } else if (a == "-ipod") {
            c.ipod = true;
        } else if (a == "-par") {
            if (!need("TRACK=N:D"))
                return false;
            const std::string &v = args[++i];
            const size_t eq = v.find('=');
            ParSpec p;
            int64_t track;
            if (eq == std::string::npos || !parseInt64(std::string_view(v).substr(0, eq), &track)
                || track <= 0 || track > 1000
                || !parseRatio(std::string_view(v).substr(eq + 1), ':', &p.num, &p.den)) {
                *error = "-par needs TRACK=N:D, not \"" + v + "\"";
                return false;
            }
            p.track = static_cast<int>(track);
            c.pars.push_back(p);
        } else if (a == "-fps") {
            if (!need("a frame rate"))
                return false;
            Rational r;
            if (!parseFps(args[++i], &r)) {
                *error = "-fps needs a frame rate, not \"" + args[i] + "\"";
                return false;
            }
            c.defaultFps = r;
        } else if (a == "-new") {
            // The destination is always written anew.
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option \"" + a + "\"";
            return false;
        } else {
            if (!c.file.empty()) {
                *error = "more than one file given: \"" + c.file + "\" and \"" + a + "\"";
                return false;
            }
            c.file = a;
        }
    }
    if (!haveCommand && c.adds.empty()) {
        *error = "nothing to do: give -add, -raw, -aviraw or -ttxt";
        return false;
    }
    if (haveCommand && !c.adds.empty()) {
        *error = "-add cannot be combined with an extraction";
        return false;
    }
    if (c.file.empty()) {
        *error = haveCommand ? "no source file given" : "no destination file given";
        return false;
    }
    *cmd = std::move(c);
    return true;
}

AddSpec splitAddSpec(const std::string &arg, const std::function<bool(const std::string &)> &isFile)
{
    const size_t slash = arg.rfind('/');
    const size_t from = slash == std::string::npos ? 0 : slash + 1;
    std::vector<size_t> cuts;
    for (size_t p = from; p < arg.size(); ++p) {
        if (arg[p] == '#' || arg[p] == ':')
            cuts.push_back(p);
    }
    cuts.push_back(arg.size());
    size_t cut = cuts.front();
    for (size_t p : cuts) {
        if (p > 0 && isFile(arg.substr(0, p))) {
            cut = p;
            break;
        }
    }
    AddSpec spec;
    spec.path = arg.substr(0, cut);
    std::string rest = arg.substr(cut);
    if (!rest.empty() && rest[0] == '#') {
        const size_t colon = rest.find(':');
        spec.selector = rest.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
        rest = colon == std::string::npos ? std::string() : rest.substr(colon);
    }
    size_t i = 0;
    while (i < rest.size()) {
        // rest starts with ':'
        size_t j = rest.find(':', i + 1);
        if (j == std::string::npos)
            j = rest.size();
        const std::string item = rest.substr(i + 1, j - i - 1);
        if (!item.empty()) {
            const size_t eq = item.find('=');
            if (eq == std::string::npos)
                spec.options.emplace_back(item, std::string());
            else
                spec.options.emplace_back(item.substr(0, eq), item.substr(eq + 1));
        }
        i = j;
    }
    return spec;
}

bool parseTrackOptions(const AddSpec &spec, LevelForm form, TrackOptions *out,
    std::vector<std::string> *warnings, std::string *error)
{
    TrackOptions o;
    for (const auto &[key, value] : spec.options) {
        if (key == "fps") {
            Rational r;
            if (parseFps(value, &r))
                o.fps = r;
            else
                warnings->push_back(
                    "frame rate \"" + value + "\" not understood, the stream's own rate is kept");
        } else if (key == "level") {
            if (auto idc = parseLevel(value, form))
                o.levelIdc = idc;
            else
                warnings->push_back("level \"" + value + "\" not understood (this build takes "
                    + (form == LevelForm::Idc ? "\"31\"" : "\"3.1\"") + "), level left unchanged");
        } else if (key == "delay") {
            int64_t d;
            if (!parseInt64(value, &d) || d < -86400000 || d > 86400000) {
                *error = "delay \"" + value + "\" is not a number of milliseconds";
                return false;
            }
            o.delayMs = d;
        } else if (key == "lang") {
            o.language = languageCode3(value);
            if (o.language.empty()) {
                warnings->push_back("language \"" + value + "\" unknown, set to und");
                o.language = "und";
            }
        } else if (key == "layout") {
            TrackLayout l;
            if (!parseLayout(value, &l)) {
                *error = "layout \"" + value + "\" is not WxH or WxHxXxY";
                return false;
            }
            o.layout = l;
        } else if (key == "hdlr") {
            if (value.size() != 4) {
                *error = "handler \"" + value + "\" is not four characters";
                return false;
            }
            o.handler = value;
        } else if (key == "group") {
            int64_t g;
            if (!parseInt64(value, &g) || g < 0 || g > 32767) {
                *error = "group \"" + value + "\" is not a number";
                return false;
            }
            o.group = static_cast<int>(g);
        } else if (key == "disable") {
            o.disable = true;
        } else {
            warnings->push_back("option \"" + key + "\" is not supported here and was ignored");
        }
    }
    *out = std::move(o);
    return true;
}

} // namespace mp4box
