#pragma once

#include <span>
#include <string_view>

// Colour names that subtitle authors write in font tags, with their red, green
// and blue values as six lowercase hexadecimal digits.
class ColourNameTable {
public:
    struct Row {
        const char *name;
        const char *colour;
    };

    static std::span<const Row> rows();

    // The colour of the first row whose name equals name without regard to
    // (ASCII) case, or nullptr.
    static const char *lookup(std::string_view name);
};
