// Registry access for the whole program. Every key lies under HKEY_LOCAL_MACHINE, in the
// system's own (64-bit) view also when the 32-bit build runs on 64-bit Windows. A path that
// begins with a backslash is taken from that root; any other path is relative to the parent
// key given (the root when none is). Keys are opened, never created, unless a call says so.
//
// Reading a value of the wrong type, or failing to read or write one that is there, raises
// RegistryError with the value's name in the message; the program does not try to recover.
#pragma once

#include "common/guards.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An open key, or an empty guard when the key does not exist or access is denied.
UniqueKey OpenRegKey(const std::string& path, REGSAM access);
UniqueKey OpenRegKey(HKEY parent, const std::string& path, REGSAM access);
// The same, with the platform's answer in status, for callers that must tell a key that is not
// there (ERROR_FILE_NOT_FOUND) from one that is there but could not be opened.
UniqueKey OpenRegKey(const std::string& path, REGSAM access, LONG& status);
UniqueKey OpenRegKey(HKEY parent, const std::string& path, REGSAM access, LONG& status);
// Opens the key, creating it and its missing parents; an empty guard when that fails.
UniqueKey CreateRegKey(const std::string& path, REGSAM access);

bool RegValueExists(HKEY key, const std::string& name);

// A REG_SZ or REG_EXPAND_SZ value as stored (not expanded). A missing value reads as empty text.
std::string ReadRegString(HKEY key, const std::string& name);
// A REG_SZ or REG_EXPAND_SZ value up to its first zero byte (a value without data reads as empty
// text); nothing for a missing value or one of another type. Never raises.
std::optional<std::string> ReadRegTextIfString(HKEY key, const std::string& name);

// The same as text, empty also for a value of another type: for catalogues read from an image
// that may be damaged, where one bad value must not end the program or drop what follows it.
std::string ReadRegStringOrEmpty(HKEY key, const std::string& name);

// A REG_DWORD value. A missing value is "Failed to get data for 'name'".
uint32_t ReadRegDword(HKEY key, const std::string& name);
// The same, but nothing for a missing value; every other failure still raises.
std::optional<uint32_t> ReadRegDwordIfPresent(HKEY key, const std::string& name);

// A REG_BINARY value's bytes, or nothing for a missing value. A value of another type is
// "Invalid data type for 'name'"; one that is there but cannot be read, "Failed to get data".
std::optional<std::vector<uint8_t>> ReadRegBinaryIfPresent(HKEY key, const std::string& name);

void WriteRegString(HKEY key, const std::string& name, const std::string& value);
void WriteRegExpandString(HKEY key, const std::string& name, const std::string& value);
void WriteRegDword(HKEY key, const std::string& name, uint32_t value);
void WriteRegBinary(HKEY key, const std::string& name, const std::string& bytes);

// False when the value was not there or could not be deleted.
bool DeleteRegValue(HKEY key, const std::string& name);
// Deletes a key that has no subkeys; false when it was not there or could not be deleted.
bool DeleteRegKey(HKEY parent, const std::string& name);
// Deletes a key with everything below it; false when it was not there or could not be deleted.
bool DeleteRegTree(const std::string& path);

// The names of the key's values, or of its direct subkeys, in the registry's order.
std::vector<std::string> RegValueNames(HKEY key);
std::vector<std::string> RegSubKeyNames(HKEY key);
