#pragma once

#include <string>
#include <vector>

// The command line of Nero's AAC encoder, as far as this adapter can honour it.
struct NeroArguments {
    std::string input; // -if
    std::string output; // -of
    long bitRate = 0; // -br / -cbr in bit/s; 0 leaves the encoder's default
    std::string error; // why the line cannot be honoured; empty when it can
};

// Accepts -lc, -br N, -cbr N, -if FILE, -of FILE and -ignorelength. HE-AAC (-he, -hev2) and the
// quality mode (-q) have no counterpart in ffmpeg's native AAC encoder and are refused.
NeroArguments parseNeroArguments(const std::vector<std::string> &args);
