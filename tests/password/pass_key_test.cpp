#include "password/pass_key_derive.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const uint8_t* bytes, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) text += {digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    return text;
}

std::string Derive(const std::string& password, const std::string& salt, uint32_t iterations, size_t size = 32)
{
    std::string output(size, '\0');
    DerivePbkdf2Sha256(password, reinterpret_cast<const uint8_t*>(salt.data()), salt.size(), iterations,
                       reinterpret_cast<uint8_t*>(output.data()), size);
    return Hex(reinterpret_cast<const uint8_t*>(output.data()), size);
}

}  // namespace

// The published PBKDF2-HMAC-SHA256 vectors: the common ones for "password"/"salt" and RFC 7914
// section 11 (64 bytes each).
TEST(PassKeyDerive, GivesThePublishedPbkdf2HmacSha256Values)
{
    EXPECT_EQ(Derive("password", "salt", 1), "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    EXPECT_EQ(Derive("password", "salt", 2), "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
    EXPECT_EQ(Derive("password", "salt", 4096), "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    EXPECT_EQ(Derive("passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096),
              "348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c4e2a1fb8dd53e1");
    EXPECT_EQ(Derive(std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096),
              "89b69d0516f829893c696226650a86878c029ac13ee276509d5ae58b6466a724");
    EXPECT_EQ(Derive("passwd", "salt", 1, 64),
              "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
              "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
    EXPECT_EQ(Derive("Password", "NaCl", 80000, 64),
              "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
              "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d");
}

TEST(PassKeyDerive, KeysMatchOnlyTheirOwnPasswordInFull)
{
    const std::string phrase = "a passphrase of well over twenty-nine characters";
    TPassKey key = MakePassKey(phrase, 1000);
    EXPECT_EQ(key.Iterations, 1000u);
    EXPECT_TRUE(PassKeyMatches(key, phrase));
    EXPECT_FALSE(PassKeyMatches(key, phrase.substr(0, 29)));
    EXPECT_FALSE(PassKeyMatches(key, phrase + " "));
    EXPECT_FALSE(PassKeyMatches(key, ""));
    EXPECT_EQ(MakePassKey(phrase).Iterations, 600000u);
}
