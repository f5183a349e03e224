#pragma once

#include "common/Utf8.h"

#include <string>
#include <string_view>

// UTF-8 / UTF-16 conversions for subtitle text. Bad input never fails: an invalid
// byte or a lone surrogate becomes U+FFFD, so no text is silently dropped.
namespace mp4box {

bool isValidUtf8(std::string_view s);
std::u16string utf8ToUtf16(std::string_view s);
std::u16string latin1ToUtf16(std::string_view s);
std::string utf16ToUtf8(std::u16string_view s);
using adapt::appendUtf8;
void appendUtf16(std::u16string *out, char32_t c);

} // namespace mp4box
