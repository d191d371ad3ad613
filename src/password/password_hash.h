// The password hash and the password file's text. No platform calls.
#pragma once

#include "password/pass_key.h"

#include <cstdint>
#include <string>
#include <string_view>

// The 32-bit legacy hash that stored PassHash values were made with. It resembles the ELF hash
// but is a different function (non-zero start, the top nibble ORed into bits 4-7 and never
// cleared); changing it would lock every existing image out. The empty text hashes to 0, which
// is also "no password".
uint32_t PasswordHash(std::string_view password);

// The legacy password file: a registry line for a PE image's build configuration, with the
// password repeated in a comment. Seven lines, each ended by CR LF. Set mode writes it only for
// the empty password, which means "no password".
std::string PasswordFileText(const std::string& password, uint32_t hash);

// The password file for a PassKey: the same frame, without the password; line 6 is the
// REG_BINARY registry line (each byte as two lower-case hexadecimal digits, joined by commas),
// and two comment lines follow: the reg add command for a mounted image and the reg delete
// command for the PassHash that must not stay beside the key. Nine lines, each ended by CR LF.
std::string PassKeyFileText(const TPassKey& key);
