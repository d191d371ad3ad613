#include "common/errors.h"
#include "common/registry.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Each case works in its own key below HKLM and removes it afterwards.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        path_ = "\\Software\\TarnTests\\" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name());
        DeleteRegTree(path_);
        key_ = CreateRegKey(path_, KEY_ALL_ACCESS);
        ASSERT_TRUE(key_);
    }
    void TearDown() override
    {
        key_.reset();
        DeleteRegTree(path_);
    }
    void SetRaw(const std::string& name, DWORD type, const std::string& bytes)
    {
        ASSERT_EQ(RegSetValueExA(key_.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    template <class F>
    std::string RegistryMessage(F action)
    {
        try {
            action();
        } catch (const RegistryError& e) {
            return e.what();
        }
        return "no error";
    }

    std::string path_;
    UniqueKey key_;
};

}  // namespace

TEST_F(RegistryTest, PathsWithLeadingBackslashStartAtTheRootOthersBelowTheParent)
{
    ASSERT_TRUE(CreateRegKey(path_ + "\\Child", KEY_ALL_ACCESS));
    EXPECT_TRUE(OpenRegKey(path_, KEY_READ));
    EXPECT_TRUE(OpenRegKey(path_.substr(1), KEY_READ)) << "a relative path without parent is below the root";
    EXPECT_TRUE(OpenRegKey(key_.get(), "Child", KEY_READ));
    EXPECT_TRUE(OpenRegKey(key_.get(), path_ + "\\Child", KEY_READ)) << "a leading backslash ignores the parent";
    EXPECT_FALSE(OpenRegKey(key_.get(), "\\Child", KEY_READ));
    EXPECT_FALSE(OpenRegKey(path_ + "\\Missing", KEY_READ)) << "opening never creates";
    EXPECT_FALSE(OpenRegKey(path_ + "\\Missing", KEY_READ));
}

TEST_F(RegistryTest, StringsReadAsStoredMissingOnesAsEmptyText)
{
    WriteRegString(key_.get(), "Plain", "C:\\Windows");
    WriteRegExpandString(key_.get(), "Expand", "%SystemRoot%\\x");
    SetRaw("Unterminated", REG_SZ, "abc");  // stored without its zero byte
    SetRaw("Inner", REG_SZ, std::string("ab\0cd\0", 6));
    SetRaw("Empty", REG_SZ, "");

    EXPECT_EQ(ReadRegString(key_.get(), "Plain"), "C:\\Windows");
    EXPECT_EQ(ReadRegString(key_.get(), "Expand"), "%SystemRoot%\\x");
    EXPECT_EQ(ReadRegString(key_.get(), "Unterminated"), "abc");
    EXPECT_EQ(ReadRegString(key_.get(), "Inner"), "ab");
    EXPECT_EQ(ReadRegString(key_.get(), "Empty"), "");
    EXPECT_EQ(ReadRegString(key_.get(), "Missing"), "");
    // Around the one-query buffer of 256 bytes: a value longer than it is read at its size.
    for (size_t length : {255u, 256u, 257u, 5000u}) {
        std::string longText(length, 'x');
        WriteRegString(key_.get(), "Long", longText);
        EXPECT_EQ(ReadRegString(key_.get(), "Long"), longText) << length;
        EXPECT_EQ(ReadRegStringOrEmpty(key_.get(), "Long"), longText) << length;
        SetRaw("LongUnterminated", REG_SZ, longText);
        EXPECT_EQ(ReadRegString(key_.get(), "LongUnterminated"), longText) << length;
    }
}

TEST_F(RegistryTest, ReadingAsTextIfStringGivesEmptyTextForEverythingElse)
{
    WriteRegString(key_.get(), "Text", "abc");
    WriteRegDword(key_.get(), "Number", 7);
    SetRaw("LongBinary", REG_BINARY, std::string(1000, 'b'));
    EXPECT_EQ(ReadRegStringOrEmpty(key_.get(), "Text"), "abc");
    EXPECT_EQ(ReadRegStringOrEmpty(key_.get(), "Number"), "");
    EXPECT_EQ(ReadRegStringOrEmpty(key_.get(), "LongBinary"), "");
    EXPECT_EQ(ReadRegStringOrEmpty(key_.get(), "Missing"), "");
    EXPECT_EQ(ReadRegTextIfString(key_.get(), "Missing"), std::nullopt);
}

TEST_F(RegistryTest, ValuesOfTheWrongTypeRaiseInvalidDataType)
{
    WriteRegDword(key_.get(), "Number", 7);
    SetRaw("Binary4", REG_BINARY, std::string("\1\0\0\0", 4));
    SetRaw("Short", REG_DWORD, std::string("\1\0", 2));
    SetRaw("LongBinary", REG_BINARY, std::string(1000, 'b'));  // longer than one query takes
    WriteRegString(key_.get(), "Text", "7");

    EXPECT_EQ(RegistryMessage([&] { ReadRegString(key_.get(), "Number"); }), "Invalid data type for 'Number'");
    EXPECT_EQ(RegistryMessage([&] { ReadRegString(key_.get(), "Binary4"); }), "Invalid data type for 'Binary4'");
    EXPECT_EQ(RegistryMessage([&] { ReadRegString(key_.get(), "LongBinary"); }), "Invalid data type for 'LongBinary'");
    EXPECT_EQ(RegistryMessage([&] { ReadRegDword(key_.get(), "Text"); }), "Invalid data type for 'Text'");
    EXPECT_EQ(RegistryMessage([&] { ReadRegDword(key_.get(), "Binary4"); }), "Invalid data type for 'Binary4'");
    EXPECT_EQ(RegistryMessage([&] { ReadRegDword(key_.get(), "Short"); }), "Invalid data type for 'Short'");
    EXPECT_EQ(ReadRegDword(key_.get(), "Number"), 7u);
}

TEST_F(RegistryTest, MissingNumbersAndFailedWritesRaiseTheirMessages)
{
    EXPECT_EQ(RegistryMessage([&] { ReadRegDword(key_.get(), "Missing"); }), "Failed to get data for 'Missing'");

    UniqueKey readOnly = OpenRegKey(path_, KEY_READ);
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(RegistryMessage([&] { WriteRegString(readOnly.get(), "A", "x"); }), "Failed to set data for 'A'");
    EXPECT_EQ(RegistryMessage([&] { WriteRegDword(readOnly.get(), "B", 1); }), "Failed to set data for 'B'");
    EXPECT_FALSE(RegValueExists(key_.get(), "A"));
}

TEST_F(RegistryTest, EnumeratesAndDeletes)
{
    WriteRegString(key_.get(), "One", "1");
    WriteRegDword(key_.get(), "Two", 2);
    ASSERT_TRUE(CreateRegKey(path_ + "\\Sub\\Deeper", KEY_ALL_ACCESS));

    auto names = RegValueNames(key_.get());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"One", "Two"}));
    EXPECT_EQ(RegSubKeyNames(key_.get()), std::vector<std::string>{"Sub"});

    EXPECT_TRUE(DeleteRegValue(key_.get(), "One"));
    EXPECT_FALSE(DeleteRegValue(key_.get(), "One"));
    EXPECT_FALSE(RegValueExists(key_.get(), "One"));
    EXPECT_TRUE(DeleteRegTree(path_ + "\\Sub"));
    EXPECT_FALSE(OpenRegKey(path_ + "\\Sub", KEY_READ));
    EXPECT_FALSE(DeleteRegTree("\\")) << "the root itself is never deleted";
}
