#pragma once

#include <string>
#include <string_view>

namespace mp4box {

// The three-letter (ISO 639-2, bibliographic) code an MP4 track language needs:
// "ko" -> "kor", "de" -> "ger"; a three-letter code is kept (lower case). Empty when
// the text is neither.
std::string languageCode3(std::string_view code);

} // namespace mp4box
