#pragma once

#include <string>
#include <vector>

// Rules every adapter follows when it hands work to Debian's ffmpeg. The engine judges each
// step only by the files left behind, so what ffmpeg writes must be complete or absent.
namespace adapt {

// Options to place right before the output name: WAV files get "-fflags +bitexact" so that
// "data" follows "fmt " directly (no LIST chunk, which the downmix tool refuses); a name without
// an extension (e.g. "extractedaudio.") gets Matroska, since ffmpeg cannot guess a format for it.
// formatGiven: the call already names the output format with -f.
std::vector<std::string> outputOptionsFor(const std::string &output, bool formatGiven);

// Runs Debian's ffmpeg with -nostdin in front of args; args must end with output. When ffmpeg
// fails or leaves an empty file, output is removed, unless it was there before the run and the
// call did not ask to overwrite it (-y). Returns ffmpeg's exit status.
int runFfmpeg(const std::vector<std::string> &args, const std::string &output);

} // namespace adapt
