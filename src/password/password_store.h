// The stored password (registry) and the password file written by "setpass".
#pragma once

#include "password/pass_key.h"

#include <cstdint>
#include <optional>
#include <string>

// Where the image's registry keeps the password, below HKEY_LOCAL_MACHINE: the legacy 32-bit
// hash (REG_DWORD) and the PBKDF2 key (REG_BINARY, see pass_key.h).
constexpr const char* kPasswordKey = "Software\\Quillon\\TarnDesk\\1.5";
constexpr const char* kPasswordValue = "PassHash";
constexpr const char* kPassKeyValue = "PassKey";

// The password an image is configured with. The password itself is never kept.
struct StoredPassword {
    uint32_t Hash = 0;             // the legacy PassHash; 0: none
    std::optional<TPassKey> Key;  // PassKey; when set, it alone decides
    bool IsSet() const { return Key || Hash != 0; }
};

// Key from PassKey when that value exists, and then PassHash is not read; otherwise Hash from
// PassHash (0 when missing). A key or value that is there but cannot be read or trusted stops
// the program (last-resort box): with a password configured, failing closed is right.
StoredPassword ReadStoredPassword();

// tarn_password.txt in the executable's folder.
std::string PasswordFilePath();

// Writes the key into the password file, replacing it; without a key, the legacy file of the
// empty password (no password). A file that cannot be written stops the program with the path
// and the system's reason.
void WritePasswordFile(const std::optional<TPassKey>& key);
