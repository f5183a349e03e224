#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mediainfo {

// Rewrites a full report of Debian's MediaInfo (23.04) into the forms the probe reads
// (section headers, "key : value" lines, first-matching keys, raw values before values
// with units). oggSerials are the file's Ogg stream serials in page order (empty for
// other files); Ogg stream IDs become the 0-based index in that order.
std::string adaptReport(const std::string &raw, const std::vector<uint32_t> &oggSerials);

} // namespace mediainfo
