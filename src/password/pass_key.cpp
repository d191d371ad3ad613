#include "password/pass_key.h"

std::optional<TPassKey> ParsePassKey(const uint8_t* bytes, size_t size)
{
    if (size != kPassKeySize || bytes[0] != kPassKeyFormat) return std::nullopt;
    TPassKey key;
    for (int i = 0; i < 4; ++i) key.Iterations |= static_cast<uint32_t>(bytes[1 + i]) << (8 * i);
    if (key.Iterations == 0 || key.Iterations > kPassKeyMaxIterations) return std::nullopt;
    const uint8_t* salt = bytes + 5;
    for (size_t i = 0; i < kPassKeySaltSize; ++i) key.Salt[i] = salt[i];
    const uint8_t* digest = salt + kPassKeySaltSize;
    for (size_t i = 0; i < kPassKeyDigestSize; ++i) key.Digest[i] = digest[i];
    return key;
}

TPassKeyBytes PassKeyBytes(const TPassKey& key)
{
    TPassKeyBytes bytes{};
    bytes[0] = kPassKeyFormat;
    for (int i = 0; i < 4; ++i) bytes[1 + i] = static_cast<uint8_t>(key.Iterations >> (8 * i));
    size_t at = 5;
    for (uint8_t b : key.Salt) bytes[at++] = b;
    for (uint8_t b : key.Digest) bytes[at++] = b;
    return bytes;
}

bool SameBytesInConstantTime(const uint8_t* a, const uint8_t* b, size_t size)
{
    // Every byte is visited and the differences only gathered; volatile keeps the compiler from
    // turning the loop back into an early exit.
    volatile uint8_t difference = 0;
    for (size_t i = 0; i < size; ++i) difference = difference | static_cast<uint8_t>(a[i] ^ b[i]);
    return difference == 0;
}
