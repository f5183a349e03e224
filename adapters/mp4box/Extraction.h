#pragma once

#include "CommandLine.h"

// The MP4Box calls that write one file out of another. Each returns the exit status;
// a failed call leaves no output file.
namespace mp4box {

// "-raw ID SRC -out F": the track with that ID, as a bare stream.
int extractRawTrack(const CommandLine &cmd);

// "-aviraw video AVI -out X": the AVI's video as a bare stream in X + "_video.h264"
// (X + "_video.m4v" for MPEG-4 Part 2); "-aviraw audio" gives X + "_audio." + format.
int extractAviStream(const CommandLine &cmd);

// "-ttxt ID SRC -out W": the text track as timed-text XML in W + "_" + ID + "_text.ttxt".
int dumpTextTrack(const CommandLine &cmd);

// "-ttxt F.srt": the SRT as timed-text XML beside it, F.ttxt.
int convertSrt(const CommandLine &cmd);

// Shared by the commands: prints "Error: message" and returns the failure status.
int fail(const std::string &message);

} // namespace mp4box
