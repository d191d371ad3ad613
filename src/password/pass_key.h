// The stored form of the access password that only brute force can attack: PBKDF2-HMAC-SHA256
// of the password with a random salt, kept as the REG_BINARY value PassKey beside PassHash.
// This file holds the record and its bytes; no platform calls (the derivation is in
// pass_key_derive.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

constexpr size_t kPassKeySaltSize = 16;
constexpr size_t kPassKeyDigestSize = 32;
// Format byte, iteration count (4 bytes, little-endian), salt, digest.
constexpr size_t kPassKeySize = 1 + 4 + kPassKeySaltSize + kPassKeyDigestSize;
constexpr uint8_t kPassKeyFormat = 1;
// What set mode derives with: about 0.65 s for one check on the build machine under Wine.
constexpr uint32_t kPassKeyIterations = 600000;
// A stored count above this would keep the prompt busy for many seconds per entry: such a value
// was not written by set mode and is not trusted.
constexpr uint32_t kPassKeyMaxIterations = 10000000;

struct TPassKey {
    uint32_t Iterations = 0;
    std::array<uint8_t, kPassKeySaltSize> Salt{};
    std::array<uint8_t, kPassKeyDigestSize> Digest{};
};

using TPassKeyBytes = std::array<uint8_t, kPassKeySize>;

// The record of a stored value; nothing when the bytes cannot be trusted (another size, another
// format, an iteration count of 0 or above kPassKeyMaxIterations).
std::optional<TPassKey> ParsePassKey(const uint8_t* bytes, size_t size);
TPassKeyBytes PassKeyBytes(const TPassKey& key);

// True when both hold the same bytes. Takes as long whichever byte differs, so that the time a
// wrong entry takes tells nothing about how close its digest came.
bool SameBytesInConstantTime(const uint8_t* a, const uint8_t* b, size_t size);
