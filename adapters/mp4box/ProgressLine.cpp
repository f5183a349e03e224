#include "ProgressLine.h"

#include <algorithm>
#include <cstdio>

namespace mp4box {

ProgressLine::ProgressLine(std::string label)
    : m_label(std::move(label))
{
}

void ProgressLine::update(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == m_shown)
        return;
    m_shown = percent;
    const int bars = percent / 5;
    std::fprintf(stderr, "%s: |%s%s| (%02d/100)\r", m_label.c_str(),
        std::string(static_cast<size_t>(bars), '=').c_str(),
        std::string(static_cast<size_t>(20 - bars), ' ').c_str(), percent);
    std::fflush(stderr);
}

void ProgressLine::finish()
{
    update(100);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace mp4box
