#include "password/pass_key_derive.h"

#include "common/errors.h"
#include "common/guards.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

namespace {

[[noreturn]] void RaiseCryptoFailure(const char* step, NTSTATUS status)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
    throw AppError("Password error", std::string(step) + " failed (status " + code + ")");
}

// The derived bytes of a check are as good as the password to anyone who reads this memory later.
struct WipedDigest {
    uint8_t bytes[kPassKeyDigestSize] = {};
    ~WipedDigest() { SecureZeroMemory(bytes, sizeof bytes); }
};

}  // namespace

void DerivePbkdf2Sha256(std::string_view password, const uint8_t* salt, size_t saltSize, uint32_t iterations,
                        uint8_t* output, size_t outputSize)
{
    UniqueAlgorithm hmac;
    NTSTATUS status = BCryptOpenAlgorithmProvider(hmac.put(), BCRYPT_SHA256_ALGORITHM, nullptr,
                                                  BCRYPT_ALG_HANDLE_HMAC_FLAG);
    if (!BCRYPT_SUCCESS(status)) RaiseCryptoFailure("Opening HMAC-SHA256", status);
    // The interface takes non-const buffers but only reads the password and the salt.
    status = BCryptDeriveKeyPBKDF2(hmac.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
                                   static_cast<ULONG>(password.size()), const_cast<PUCHAR>(salt),
                                   static_cast<ULONG>(saltSize), iterations, output, static_cast<ULONG>(outputSize), 0);
    if (!BCRYPT_SUCCESS(status)) RaiseCryptoFailure("Deriving the password key", status);
}

TPassKey MakePassKey(std::string_view password, uint32_t iterations)
{
    TPassKey key;
    key.Iterations = iterations;
    NTSTATUS status = BCryptGenRandom(nullptr, key.Salt.data(), static_cast<ULONG>(key.Salt.size()),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (!BCRYPT_SUCCESS(status)) RaiseCryptoFailure("Drawing a salt", status);
    DerivePbkdf2Sha256(password, key.Salt.data(), key.Salt.size(), iterations, key.Digest.data(), key.Digest.size());
    return key;
}

bool PassKeyMatches(const TPassKey& key, std::string_view password)
{
    // Set mode never makes a key for the empty password (that means "no password"), and CNG
    // need not accept an empty HMAC key.
    if (password.empty()) return false;
    WipedDigest derived;
    DerivePbkdf2Sha256(password, key.Salt.data(), key.Salt.size(), key.Iterations, derived.bytes, sizeof derived.bytes);
    return SameBytesInConstantTime(derived.bytes, key.Digest.data(), kPassKeyDigestSize);
}
