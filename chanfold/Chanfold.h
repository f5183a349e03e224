#pragma once

#include <cstdint>
#include <cstdio>

class RawFile;
struct WavSourceInfo;

// The whole console run: chanfold source_file target_file. Messages and the progress bar go
// to out. There is no failure status: the caller judges the run by the target file, which
// exists only when the downmix was written completely.
void runChanfold(int argc, const char *const argv[], std::FILE *out);

enum class StreamResult { Finished, ReadFailed, WriteFailed };

// Mixes the source's frames, from its current position, into target after its header, in
// chunks of 2048 frames, printing the progress bar to out for the first chunk and every 1001st. A source that
// ends early stops at its last whole frame (Finished). Adds every byte written to bytesWritten.
StreamResult downmixStream(
    RawFile &source, RawFile &target, const WavSourceInfo &info, std::FILE *out, std::int64_t &bytesWritten);

// Writes the two size fields of the 44-byte target header for a file of bytesWritten bytes.
bool patchTargetHeader(RawFile &target, std::int64_t bytesWritten);
