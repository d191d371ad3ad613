// The stored password (registry) and the password file written by "setpass".
#pragma once

#include <string>

// Where the image's registry keeps the password, below HKEY_LOCAL_MACHINE: the legacy 32-bit
// hash (REG_DWORD) and the PBKDF2 key (REG_BINARY, see pass_key.h).
constexpr const char* kPasswordKey = "Software\\Quillon\\TarnDesk\\1.5";
constexpr const char* kPasswordValue = "PassHash";
constexpr const char* kPassKeyValue = "PassKey";

// Sets StoredKey from PassKey when that value exists, and then ignores PassHash; otherwise sets
// StoredHash from PassHash (0 when missing). A key or value that is there but cannot be read or
// trusted stops the program (last-resort box): with a password configured, failing closed is
// right.
void ReadStoredPassword();

// tarn_password.txt in the executable's folder.
std::string PasswordFilePath();

// Writes StoredKey into the password file, replacing it; without a key, the legacy file of the
// empty password (no password). A file that cannot be written stops the program with the path
// and the system's reason.
void WritePasswordFile();
