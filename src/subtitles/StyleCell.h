#pragma once

#include <array>

// The style of one character of a timed-text sample. Colours are kept as the
// eight characters they were given in (red, green, blue, alpha), case included,
// so that runs split exactly where the source's colour text changes.
struct StyleCell {
    bool bold = false;
    bool italic = false;
    bool underlined = false;
    std::array<char, 8> colour { 'f', 'f', 'f', 'f', 'f', 'f', 'f', 'f' };

    bool isDefault() const { return *this == StyleCell(); }

    friend bool operator==(const StyleCell &, const StyleCell &) = default;
};
