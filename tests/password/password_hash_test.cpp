#include "password/password_hash.h"

#include <gtest/gtest.h>

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
