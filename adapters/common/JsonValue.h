#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace adapt {

// A parsed JSON value, enough to read the reports of mkvmerge -J and ffprobe -of json.
class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    // Parses a complete JSON text; false (and *out left Null) on any syntax error.
    static bool parse(std::string_view text, JsonValue *out);

    Type type() const { return m_type; }
    bool isNull() const { return m_type == Type::Null; }
    double toNumber(double fallback = 0) const { return m_type == Type::Number ? m_number : fallback; }
    bool toBool(bool fallback = false) const { return m_type == Type::Bool ? m_bool : fallback; }
    const std::string &toString() const { return m_string; }
    const std::vector<JsonValue> &items() const { return m_items; }

    // Member of an object; a shared Null value when absent or when this is no object.
    const JsonValue &operator[](std::string_view key) const;

private:
    friend class JsonParser;
    Type m_type = Type::Null;
    bool m_bool = false;
    double m_number = 0;
    std::string m_string;
    std::vector<JsonValue> m_items;
    std::vector<std::pair<std::string, JsonValue>> m_members;
};

} // namespace adapt
