#include "common/errors.h"
#include "common/registry.h"
#include "password/password_hash.h"
#include "password/password_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

class StoredHashTest : public testing::Test {
protected:
    void SetUp() override { DeleteRegTree("\\Software\\Quillon"); }
    void TearDown() override { DeleteRegTree("\\Software\\Quillon"); }
    void SetRaw(DWORD type, const std::string& bytes)
    {
        UniqueKey key = CreateRegKey(kPasswordKey, KEY_ALL_ACCESS);
        ASSERT_TRUE(key);
        RegSetValueExA(key.get(), kPasswordValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    }
};

}  // namespace

TEST_F(StoredHashTest, MissingKeyOrValueMeansNoPassword)
{
    EXPECT_EQ(ReadStoredPassword().Hash, 0u);
    ASSERT_TRUE(CreateRegKey(kPasswordKey, KEY_ALL_ACCESS));
    EXPECT_EQ(ReadStoredPassword().Hash, 0u);
}

TEST_F(StoredHashTest, KeepsAllThirtyTwoBits)
{
    SetRaw(REG_DWORD, std::string("\xC4\xEA\xBF\x8F", 4));  // 0x8FBFEAC4, negative as a signed value
    EXPECT_EQ(ReadStoredPassword().Hash, 0x8FBFEAC4u);
}

TEST_F(StoredHashTest, AValueOfAnotherTypeOrSizeIsAnError)
{
    SetRaw(REG_SZ, std::string("8FBFEAC4\0", 9));
    EXPECT_THROW(ReadStoredPassword(), RegistryError);
    SetRaw(REG_BINARY, std::string(8, '\1'));
    EXPECT_THROW(ReadStoredPassword(), RegistryError);
    SetRaw(REG_DWORD, std::string(8, '\1'));
    try {
        ReadStoredPassword();
        FAIL() << "no error";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'PassHash'");
    }
}

TEST_F(StoredHashTest, APassKeyAloneDecidesAndAPassHashBesideItIsNotEvenRead)
{
    SetRaw(REG_SZ, std::string("8FBFEAC4\0", 9));  // would stop the program on its own
    const TPassKey key{1000, {7}, {9}};
    const TPassKeyBytes bytes = PassKeyBytes(key);
    {
        UniqueKey open = CreateRegKey(kPasswordKey, KEY_ALL_ACCESS);
        WriteRegBinary(open.get(), kPassKeyValue, std::string(bytes.begin(), bytes.end()));
    }
    const StoredPassword stored = ReadStoredPassword();
    ASSERT_TRUE(stored.Key);
    EXPECT_EQ(PassKeyBytes(*stored.Key), bytes);
    EXPECT_EQ(stored.Hash, 0u);
}

TEST(PasswordFile, IsWrittenNextToTheExecutableAndReplacedEachTime)
{
    std::string path = PasswordFilePath();
    EXPECT_EQ(path, BinFolder() + "tarn_password.txt");
    ScopeExit remove([&] {
        DeleteFileA(path.c_str());
        RemoveDirectoryA(path.c_str());
    });
    WriteBytes(path, std::string(5000, 'x'));
    const TPassKey key{600000, {1}, {2}};
    WritePasswordFile(key);
    EXPECT_EQ(ReadBytes(path), PassKeyFileText(key));

    // A folder in the file's place cannot be replaced by a file (read-only files can be, for root under Wine).
    DeleteFileA(path.c_str());
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    try {
        WritePasswordFile(key);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("\"" + path + "\""), std::string::npos) << e.what();
        EXPECT_GT(std::string(e.what()).size(), path.size() + 25) << "the system's reason follows: " << e.what();
    }
}
