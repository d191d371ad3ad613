// What the fuzz targets share: a broken invariant ends the run the way a crash does, so that
// libFuzzer keeps the input that broke it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline void Require(bool holds, const char* invariant)
{
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

inline std::string BytesAsText(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A little-endian unsigned number of up to four bytes from the input, or 0 past its end.
inline uint32_t TakeUnsigned(const uint8_t*& data, size_t& size, size_t bytes = 4)
{
    uint32_t value = 0;
    for (size_t i = 0; i < bytes && size > 0; ++i, ++data, --size) value |= static_cast<uint32_t>(*data) << (8 * i);
    return value;
}
