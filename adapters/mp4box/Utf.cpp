#include "Utf.h"

namespace mp4box {
namespace {

    // Decodes one UTF-8 sequence at s[i]; returns its length, 0 when invalid.
    size_t decodeUtf8(std::string_view s, size_t i, char32_t *c)
    {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            *c = b0;
            return 1;
        }
        size_t len;
        char32_t v;
        char32_t min;
        if ((b0 & 0xE0) == 0xC0) {
            len = 2, v = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3, v = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            len = 4, v = b0 & 0x07, min = 0x10000;
        } else {
            return 0;
        }
        if (i + len > s.size())
            return 0;
        for (size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                return 0;
            v = (v << 6) | (b & 0x3F);
        }
        if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
            return 0;
        *c = v;
        return len;
    }

} // namespace

bool isValidUtf8(std::string_view s)
{
    char32_t c;
    for (size_t i = 0; i < s.size();) {
        const size_t n = decodeUtf8(s, i, &c);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void appendUtf16(std::u16string *out, char32_t c)
{
    if (c >= 0x10000) {
        c -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out->push_back(static_cast<char16_t>(c));
    }
}

std::u16string utf8ToUtf16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    char32_t c;
    for (size_t i = 0; i < s.size();) {
        const size_t n = decodeUtf8(s, i, &c);
        if (n == 0) {
            out.push_back(u'\uFFFD');
            ++i;
        } else {
            appendUtf16(&out, c);
            i += n;
        }
    }
    return out;
}

std::u16string latin1ToUtf16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (char ch : s)
        out.push_back(static_cast<unsigned char>(ch));
    return out;
}

std::string utf16ToUtf8(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(&out, c);
    }
    return out;
}

} // namespace mp4box
