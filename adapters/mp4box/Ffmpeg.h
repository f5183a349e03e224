#pragma once

#include <string>
#include <vector>

namespace mp4box {

class ProgressLine;

// Runs the system ffmpeg with the given arguments (after the fixed "-nostdin
// -hide_banner -loglevel error -y") and turns its progress into the percentage of
// totalSeconds. True when ffmpeg ended with success.
bool runFfmpeg(const std::vector<std::string> &args, double totalSeconds, ProgressLine *progress);

// "file:" keeps ffmpeg from reading a name as a protocol ("a:b") or an option.
std::string ffmpegPath(const std::string &path);

} // namespace mp4box
