#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Child processes for the adapters: always an argument vector, never a shell.
namespace adapt {

// Absolute path of a Debian tool (e.g. "ffmpeg" -> "/usr/bin/ffmpeg"). The
// environment variable MARBLEWAY_SYSTEM_<NAME> (upper case, '-' as '_') overrides it;
// the adapters never search PATH, because PATH may hold the adapters themselves.
std::string systemTool(const std::string &name);

// Runs argv[0] with the given arguments, standard output and error inherited.
// Returns the exit status, 128 + signal when it died of a signal, -1 when it could not start.
int run(const std::vector<std::string> &argv);

// As run(), with standard output captured into *out (standard error inherited unless
// quietErrors, then discarded).
int capture(const std::vector<std::string> &argv, std::string *out, bool quietErrors = false);

// As capture(), but each piece of standard output is handed to onOutput as soon as it
// arrives, so an adapter can turn a tool's progress into its own progress lines.
// onStarted gets the child's process ID once it runs (for a cancel handler).
int captureStreaming(const std::vector<std::string> &argv,
    const std::function<void(std::string_view)> &onOutput, bool quietErrors = false,
    const std::function<void(pid_t)> &onStarted = {});

} // namespace adapt
