#pragma once

#include <cstdint>

// Appends numbers in the MP4 byte order (most significant byte first) to a byte buffer
// (std::string or std::vector<uint8_t>).
namespace mp4box {

template <class Bytes> void put8(Bytes *b, uint32_t v)
{
    b->push_back(static_cast<typename Bytes::value_type>(v & 0xff));
}

template <class Bytes> void put16(Bytes *b, uint32_t v)
{
    put8(b, v >> 8);
    put8(b, v);
}

template <class Bytes> void put32(Bytes *b, uint32_t v)
{
    put16(b, v >> 16);
    put16(b, v);
}

template <class Bytes> void put64(Bytes *b, uint64_t v)
{
    put32(b, static_cast<uint32_t>(v >> 32));
    put32(b, static_cast<uint32_t>(v));
}

} // namespace mp4box
