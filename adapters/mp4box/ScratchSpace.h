#pragma once

#include <string>

namespace mp4box {

// The temporary files of one run, in a hidden folder in $TMPDIR when that is on the file
// system of the file the run writes, else beside that file (either way the finished file
// is moved into place by a rename). The folder
// goes at the end of the run, and also when the run is cancelled by SIGTERM, SIGINT or
// SIGHUP: a cancelled run leaves nothing behind. A folder left by a run that was killed
// outright is removed by the next run using the same folders.
class ScratchSpace {
public:
    ScratchSpace() = default;
    ~ScratchSpace();
    ScratchSpace(const ScratchSpace &) = delete;
    ScratchSpace &operator=(const ScratchSpace &) = delete;

    bool create(const std::string &destination, std::string *error);
    // A path inside the folder, registered for removal.
    std::string file(const std::string &name);
    void removeAll();

    static void installSignalHandlers();
};

} // namespace mp4box
