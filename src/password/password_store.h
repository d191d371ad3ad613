// The stored password hash (registry) and the password file written by "setpass".
#pragma once

#include <string>

// Where the image's registry keeps the hash, below HKEY_LOCAL_MACHINE.
constexpr const char* kPasswordKey = "Software\\Quillon\\TarnDesk\\1.5";
constexpr const char* kPasswordValue = "PassHash";

// Sets StoredHash from the registry; 0 when the key or the value is missing. A value of another
// type or size stops the program (last-resort box): with a password configured, failing closed
// is right.
void ReadStoredHash();

// tarn_password.txt in the executable's folder.
std::string PasswordFilePath();

// Writes NewPassword and StoredHash into the password file, replacing it. A file that cannot be
// written stops the program with the path and the system's reason.
void WritePasswordFile();
