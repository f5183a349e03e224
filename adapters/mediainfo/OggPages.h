#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mediainfo {

// Serial numbers of an Ogg file's logical streams in the order their first (BOS) pages
// appear, which is the order demuxers number them in. Empty when the file is not Ogg.
std::vector<uint32_t> oggStreamSerials(const std::string &path);

// The same over bytes already read from the start of the file.
std::vector<uint32_t> oggStreamSerialsFromBytes(const std::string &head);

} // namespace mediainfo
