#include "password/password_hash.h"

#include <gtest/gtest.h>

#include <vector>

// Expected values worked out by hand from the rule: start 0x5D2E4A80; per byte shift left by 4
// and add; a non-zero top nibble is ORed into bits 4 to 7 and stays.
TEST(PasswordHash, FollowsTheLegacyRuleByteForByte)
{
    EXPECT_EQ(PasswordHash(""), 0u);
    // 0xD2E4A800 + 0x61 = 0xD2E4A861; top nibble D folds in: 0x61 | 0xD0 = 0xF1.
    EXPECT_EQ(PasswordHash("a"), 0xD2E4A8F1u);
    // Unsigned byte: 0xD2E4A800 + 0x80 = 0xD2E4A880, then | 0xD0.
    EXPECT_EQ(PasswordHash("\x80"), 0xD2E4A8D0u);
    // 0xD2E4A8F1 << 4 = 0x2E4A8F10, + 0x62 = 0x2E4A8F72; the fold ORs 0x20 into bits already set.
    EXPECT_EQ(PasswordHash("ab"), 0x2E4A8F72u);
    EXPECT_EQ(PasswordHash("secret"), 0x8FBFEAC4u);
    EXPECT_EQ(PasswordHash("The quick brown fox jumps over the lazy dog"), 0x80FF6BD7u);
    EXPECT_NE(PasswordHash("Secret"), PasswordHash("secret"));
    EXPECT_NE(PasswordHash("secret "), PasswordHash("secret"));
}

TEST(PasswordFileText, IsTheSevenLinesByteForByte)
{
    EXPECT_EQ(PasswordFileText("secret", 0x8FBFEAC4u),
              "; Note: for set password, please add noncomment contents of this file\r\n"
              "; in Tarn Desk plyg-in ini file and recompile yours Corvin`s PE\r\n"
              "; current password: \"secret\"\r\n"
              "\r\n"
              "[Software.AddReg]\r\n"
              "0x4, \"Quillon\\TarnDesk\\1.5\",\"PassHash\", 0x8FBFEAC4\r\n"
              "\r\n");
}

TEST(PasswordFileText, WritesPasswordsUnchangedAndHashesAsEightUpperCaseDigits)
{
    auto line = [](const std::string& text, int index) {
        size_t start = 0;
        for (int i = 0; i < index; ++i) start = text.find("\r\n", start) + 2;
        return text.substr(start, text.find("\r\n", start) - start);
    };
    EXPECT_EQ(line(PasswordFileText("say \"hi\"", 1), 2), "; current password: \"say \"hi\"\"");
    std::string long29(29, 'x');
    EXPECT_EQ(line(PasswordFileText(long29, 1), 2), "; current password: \"" + long29 + "\"");
    EXPECT_EQ(line(PasswordFileText("p", 0xABCDu), 5), "0x4, \"Quillon\\TarnDesk\\1.5\",\"PassHash\", 0x0000ABCD");
    EXPECT_EQ(line(PasswordFileText("p", 0xFFFFFFFFu), 5).substr(40), "0xFFFFFFFF");
    EXPECT_EQ(line(PasswordFileText("", 0), 5).substr(40), "0x00000000");
}

namespace {

// Salt 00..0f, digest e0..ff, 600,000 iterations.
TPassKey SampleKey()
{
    TPassKey key;
    key.Iterations = 600000;
    for (size_t i = 0; i < key.Salt.size(); ++i) key.Salt[i] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < key.Digest.size(); ++i) key.Digest[i] = static_cast<uint8_t>(0xE0 + i);
    return key;
}

}  // namespace

TEST(PassKeyFileText, IsTheNineLinesByteForByte)
{
    EXPECT_EQ(PassKeyFileText(SampleKey()),
              "; Note: for set password, please add noncomment contents of this file\r\n"
              "; in Tarn Desk plyg-in ini file and recompile yours Corvin`s PE\r\n"
              "; the password itself is not stored here\r\n"
              "\r\n"
              "[Software.AddReg]\r\n"
              "0x3, \"Quillon\\TarnDesk\\1.5\",\"PassKey\", 01,c0,27,09,00,00,01,02,03,04,05,06,07,08,09,0a,0b,0c,"
              "0d,0e,0f,e0,e1,e2,e3,e4,e5,e6,e7,e8,e9,ea,eb,ec,ed,ee,ef,f0,f1,f2,f3,f4,f5,f6,f7,f8,f9,fa,fb,fc,fd,"
              "fe,ff\r\n"
              "\r\n"
              "; reg add \"HKLM\\PE_SOFT\\Quillon\\TarnDesk\\1.5\" /v PassKey /t REG_BINARY /d 01c0270900000102030405"
              "060708090a0b0c0d0e0fe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff\r\n"
              "; reg delete \"HKLM\\PE_SOFT\\Quillon\\TarnDesk\\1.5\" /v PassHash /f\r\n");
}

TEST(ParsePassKey, TrustsOnlyFiftyThreeBytesOfFormatOneWithASaneIterationCount)
{
    const TPassKeyBytes good = PassKeyBytes(SampleKey());
    std::optional<TPassKey> parsed = ParsePassKey(good.data(), good.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(PassKeyBytes(*parsed), good);

    auto withIterations = [&](uint32_t count) {
        TPassKeyBytes bytes = good;
        for (int i = 0; i < 4; ++i) bytes[1 + i] = static_cast<uint8_t>(count >> (8 * i));
        return ParsePassKey(bytes.data(), bytes.size());
    };
    EXPECT_EQ(withIterations(1)->Iterations, 1u);
    EXPECT_EQ(withIterations(10000000)->Iterations, 10000000u);
    EXPECT_FALSE(withIterations(0));
    EXPECT_FALSE(withIterations(10000001));
    EXPECT_FALSE(withIterations(0xFFFFFFFFu));
    for (uint8_t format : {0, 2, 0x81}) {
        TPassKeyBytes bytes = good;
        bytes[0] = format;
        EXPECT_FALSE(ParsePassKey(bytes.data(), bytes.size())) << int(format);
    }
    std::vector<uint8_t> longer(good.begin(), good.end());
    longer.push_back(0);
    EXPECT_FALSE(ParsePassKey(longer.data(), longer.size()));
    EXPECT_FALSE(ParsePassKey(good.data(), good.size() - 1));
    EXPECT_FALSE(ParsePassKey(good.data(), 0));
}
