// The password hash and the password file's text. No platform calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The 32-bit legacy hash that stored PassHash values were made with. It resembles the ELF hash
// but is a different function (non-zero start, the top nibble ORed into bits 4-7 and never
// cleared); changing it would lock every existing image out. The empty text hashes to 0, which
// is also "no password".
uint32_t PasswordHash(std::string_view password);

// The password file: a registry line for a PE image's build configuration, with the password
// repeated in a comment. Seven lines, each ended by CR LF.
std::string PasswordFileText(const std::string& password, uint32_t hash);
