#pragma once

#include <string>

namespace mp4box {

// MP4Box's progress form, "Importing AVC-H264: |=========           | (45/100)",
// which the engine's runner picks out of the output ("mporti", "riting").
class ProgressLine {
public:
    explicit ProgressLine(std::string label);
    void update(int percent);
    void finish();

private:
    std::string m_label;
    int m_shown = -1;
};

} // namespace mp4box
