#include "common/JsonValue.h"

#include "common/Utf8.h"

#include <cstdlib>
#include <string>

namespace adapt {

class JsonParser {
public:
    explicit JsonParser(std::string_view text)
        : m_text(text)
    {
    }

    bool parseDocument(JsonValue *out)
    {
        if (!parseValue(out, 0))
            return false;
        skipSpace();
        return m_pos == m_text.size();
    }

private:
    // Deep nesting is refused rather than risking the stack on hostile input.
    static constexpr int maxDepth = 200;

    void skipSpace()
    {
        while (m_pos < m_text.size()
            && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    bool consume(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    bool parseValue(JsonValue *v, int depth)
    {
        if (depth > maxDepth)
            return false;
        skipSpace();
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos];
        if (c == '{')
            return parseObject(v, depth);
        if (c == '[')
            return parseArray(v, depth);
        if (c == '"') {
            v->m_type = JsonValue::Type::String;
            return parseString(&v->m_string);
        }
        if (consume("true")) {
            v->m_type = JsonValue::Type::Bool;
            v->m_bool = true;
            return true;
        }
        if (consume("false")) {
            v->m_type = JsonValue::Type::Bool;
            return true;
        }
        if (consume("null"))
            return true;
        return parseNumber(v);
    }

    bool parseNumber(JsonValue *v)
    {
        const size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '-')
            ++m_pos;
        bool digits = false;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c >= '0' && c <= '9')
                digits = true;
            else if (c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-')
                break;
            ++m_pos;
        }
        if (!digits)
            return false;
        const std::string number(m_text.substr(start, m_pos - start));
        char *end = nullptr;
        v->m_number = std::strtod(number.c_str(), &end);
        if (end != number.c_str() + number.size())
            return false;
        v->m_type = JsonValue::Type::Number;
        return true;
    }

    bool parseHex4(unsigned *out)
    {
        if (m_pos + 4 > m_text.size())
            return false;
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        *out = value;
        return true;
    }

    bool parseString(std::string *out)
    {
        ++m_pos; // opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            const char e = m_text[m_pos++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out->push_back(e);
                break;
            case 'b':
                out->push_back('\b');
                break;
            case 'f':
                out->push_back('\f');
                break;
            case 'n':
                out->push_back('\n');
                break;
            case 'r':
                out->push_back('\r');
                break;
            case 't':
                out->push_back('\t');
                break;
            case 'u': {
                unsigned cp = 0;
                if (!parseHex4(&cp))
                    return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    unsigned low = 0;
                    if (!consume("\\u") || !parseHex4(&low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return false;
                }
                appendUtf8(out, static_cast<char32_t>(cp));
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool parseArray(JsonValue *v, int depth)
    {
        ++m_pos;
        v->m_type = JsonValue::Type::Array;
        skipSpace();
        if (consume("]"))
            return true;
        for (;;) {
            JsonValue item;
            if (!parseValue(&item, depth + 1))
                return false;
            v->m_items.push_back(std::move(item));
            skipSpace();
            if (consume("]"))
                return true;
            if (!consume(","))
                return false;
        }
    }

    bool parseObject(JsonValue *v, int depth)
    {
        ++m_pos;
        v->m_type = JsonValue::Type::Object;
        skipSpace();
        if (consume("}"))
            return true;
        for (;;) {
            skipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"')
                return false;
            std::string key;
            if (!parseString(&key))
                return false;
            skipSpace();
            if (!consume(":"))
                return false;
            JsonValue member;
            if (!parseValue(&member, depth + 1))
                return false;
            v->m_members.emplace_back(std::move(key), std::move(member));
            skipSpace();
            if (consume("}"))
                return true;
            if (!consume(","))
                return false;
        }
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

bool JsonValue::parse(std::string_view text, JsonValue *out)
{
    JsonValue value;
    JsonParser parser(text);
    if (!parser.parseDocument(&value)) {
        *out = JsonValue();
        return false;
    }
    *out = std::move(value);
    return true;
}

const JsonValue &JsonValue::operator[](std::string_view key) const
{
    static const JsonValue null;
    for (const auto &member : m_members) {
        if (member.first == key)
            return member.second;
    }
    return null;
}

} // namespace adapt
