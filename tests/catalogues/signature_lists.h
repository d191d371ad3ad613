// db and dbx contents for tests: EFI_SIGNATURE_LISTs built byte by byte, sound or broken on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace signature_lists {

const std::string kX509Type("\xa1\x59\xc0\xa5\xe4\x94\xa7\x4a\x87\xb5\xab\x15\x5c\x2b\xf0\x72", 16);
const std::string kSha256Type("\x26\x16\xc4\xc1\x4c\x50\x92\x40\xac\xa9\x41\xf9\x36\x93\x43\x28", 16);
// Certificates revoked by the hash of their TBSCertificate; each entry's data the hash and an EFI_TIME.
const std::string kX509Sha256Type("\x92\xa4\xd2\x3b\xc0\x96\x79\x40\xb4\x20\xfc\xf9\x8e\xf1\x03\xed", 16);
const std::string kX509Sha384Type("\x6e\x87\x76\x70\xc2\x80\xe6\x4e\xaa\xd2\x28\xb3\x49\xa6\x86\x5b", 16);
const std::string kX509Sha512Type("\x63\xbf\x6d\x44\x02\x25\xda\x4c\xbc\xfa\x24\x65\xd2\xb0\xfe\x9d", 16);
const std::string kRevokedAlways(16, '\0');  // an EFI_TIME of zero
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
