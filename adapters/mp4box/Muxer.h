#pragma once

#include "CommandLine.h"

namespace mp4box {

// The mux: every "-add" becomes one or more tracks of a new MP4 written by ffmpeg
// (stream copy; timed text through the mov_text encoder), with the track header
// fields ffmpeg cannot set (enabled flag, alternate group, text layout, handler) set in
// the finished file before it is moved to its name. Returns the exit status; a failed
// mux leaves no output file.
int runMux(const CommandLine &cmd, LevelForm form);

} // namespace mp4box
