// Deriving and checking a PassKey with the platform's cryptography (CNG, bcrypt.dll, which
// Windows PE carries). Each call is self-contained and touches no window, so it may run on any
// thread. A failure of the platform raises AppError: with a password at stake, nothing is
// guessed.
#pragma once

#include "password/pass_key.h"

#include <string_view>

// PBKDF2-HMAC-SHA256 of the password's bytes and the salt, output bytes long.
void DerivePbkdf2Sha256(std::string_view password, const uint8_t* salt, size_t saltSize, uint32_t iterations,
                        uint8_t* output, size_t outputSize);

// A new key for the password: a fresh salt from the system's random generator and
// kPassKeyIterations, unless told otherwise.
TPassKey MakePassKey(std::string_view password, uint32_t iterations = kPassKeyIterations);

// Whether the password derives the key's digest. Takes as long as the key's iteration count
// asks for; the derived bytes are wiped before it returns.
bool PassKeyMatches(const TPassKey& key, std::string_view password);
