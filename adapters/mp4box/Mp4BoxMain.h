#pragma once

#include "CommandLine.h"

namespace mp4box {

int mp4boxMain(int argc, char **argv, LevelForm form);

} // namespace mp4box
