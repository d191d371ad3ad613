// The head of a Windows image file as tests need it: "MZ", e_lfanew at 0x3C, and at that
// offset "PE\0\0" and the Machine field, as far as they fit into size bytes. Free of the
// platform, for the portable tests too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

inline std::string PeImage(uint16_t machine, uint32_t lfanew = 0xE8, size_t size = 0x200)
{
    std::string bytes(std::max<size_t>(size, 0x40), '\0');
    bytes.replace(0, 2, "MZ");
    for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<char>(lfanew >> (8 * i));
    const std::string nt = std::string("PE\0\0", 4) + static_cast<char>(machine & 0xFF) + static_cast<char>(machine >> 8);
    for (size_t i = 0; i < nt.size() && uint64_t{lfanew} + i < bytes.size(); ++i) bytes[lfanew + i] = nt[i];
    return bytes;
}
