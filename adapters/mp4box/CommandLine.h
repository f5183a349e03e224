#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The MP4Box command line: the extraction calls, the SRT conversion and the mux with
// its "-add FILE[#selector][:option...]" track options.
namespace mp4box {

// How ":level=" is written: "3.1" for the regular build, the level_idc "31" for the
// Nightly build.
enum class LevelForm { Decimal, Idc };

enum class Command { Mux, Raw, AviRaw, TtxtTrack, TtxtFile };

struct Rational {
    int64_t num = 0;
    int64_t den = 1;
};

struct ParSpec {
    int track = 0; // 1-based, in the order tracks are added
    int num = 1;
    int den = 1;
};

struct CommandLine {
    Command command = Command::Mux;
    int trackId = 0;
    std::string aviStream; // "video" or "audio"
    std::string file; // the one plain argument: the source, or the file the mux writes
    std::string out;
    bool ipod = false;
    std::optional<Rational> defaultFps;
    std::vector<std::string> adds;
    std::vector<ParSpec> pars;
};

struct AddSpec {
    std::string path;
    std::string selector; // after '#': "video", "audio", "text", "trackID=N", "N"; empty for all
    std::vector<std::pair<std::string, std::string>> options;
};

struct TrackLayout {
    int width = 0; // 0: the widest visual track
    int height = 0; // 0: the tallest visual track
    int x = 0;
    int y = 0; // -1: at the bottom of the visual area
};

struct TrackOptions {
    std::optional<Rational> fps;
    std::optional<int> levelIdc;
    std::optional<int64_t> delayMs;
    std::string language; // three letters
    std::optional<TrackLayout> layout;
    std::string handler;
    std::optional<int> group;
    bool disable = false;
};

bool parseCommandLine(const std::vector<std::string> &args, CommandLine *cmd, std::string *error);

// A file name may itself hold ':' or '#': the split is made at the first of those
// characters after the last '/' where the text before it names an existing file.
AddSpec splitAddSpec(const std::string &arg, const std::function<bool(const std::string &)> &isFile);

bool parseTrackOptions(const AddSpec &spec, LevelForm form, TrackOptions *out,
    std::vector<std::string> *warnings, std::string *error);

// "23.976" -> 24000/1001, "25" -> 25/1, "12.5" -> 25/2, "30000/1001" as given.
bool parseFps(std::string_view text, Rational *out);

// level_idc from the option text, by the build's form; nullopt when it is not a level.
std::optional<int> parseLevel(std::string_view text, LevelForm form);

} // namespace mp4box
