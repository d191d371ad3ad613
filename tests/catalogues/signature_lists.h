// db contents for tests: EFI_SIGNATURE_LISTs built byte by byte, sound or broken on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace signature_lists {

const std::string kX509Type("\xa1\x59\xc0\xa5\xe4\x94\xa7\x4a\x87\xb5\xab\x15\x5c\x2b\xf0\x72", 16);
const std::string kSha256Type("\x26\x16\xc4\xc1\x4c\x50\x92\x40\xac\xa9\x41\xf9\x36\x93\x43\x28", 16);
const std::string kOwner("\xbd\x9a\xfa\x77\x59\x03\x32\x4d\xbd\x60\x28\xf4\xe7\x8f\x78\x4b", 16);

inline std::string Le32(uint32_t value)
{
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// A list with its sizes as given, followed by body (header and entries) as given.
inline std::string RawList(const std::string& type, uint32_t listSize, uint32_t headerSize, uint32_t entrySize,
                           const std::string& body)
{
    return type + Le32(listSize) + Le32(headerSize) + Le32(entrySize) + body;
}

// A sound list: each entry the owner GUID and one of data, which must all be of one size.
inline std::string List(const std::string& type, const std::vector<std::string>& data, const std::string& header = "")
{
    std::string body = header;
    for (const std::string& item : data) body += kOwner + item;
    const uint32_t entrySize = static_cast<uint32_t>(kOwner.size() + (data.empty() ? 16 : data[0].size()));
    return RawList(type, static_cast<uint32_t>(28 + body.size()), static_cast<uint32_t>(header.size()), entrySize, body);
}

}  // namespace signature_lists
