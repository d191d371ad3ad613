#include "common/text.h"

#include <gtest/gtest.h>

TEST(Trim, RemovesEveryControlByteAndBlankFromBothEnds)
{
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim(" \t\r\n"), "");
    EXPECT_EQ(Trim("\x01\x1f YES \x7f"), "YES \x7f");  // 0x7F is above the cut
    EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
    EXPECT_EQ(Trim(" a b "), "a b");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // bytes above 0x20 stay, also in other code pages
}

TEST(SplitLines, EndsLinesAtCrLfLoneCrAndLoneLf)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a"), Lines{"a"});
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
    EXPECT_EQ(SplitLines("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two breaks
    EXPECT_EQ(SplitLines("a\r\r\nb"), (Lines{"a", "", "b"}));
}

TEST(SplitLines, ZeroByteEndsTheText)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitLines(std::string("a\nb\0c\nd", 7)), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines(std::string("\0abc", 4)), Lines{});
}

TEST(UpperAscii, ChangesOnlyAsciiLetters)
{
    EXPECT_EQ(UpperAscii("Button1_x\xe4"), "BUTTON1_X\xe4");
}

TEST(FillPlaceholders, FillsEachMarkOnceInAnyOrderAndLeavesTheRest)
{
    EXPECT_EQ(FillPlaceholders("%2 of %1, %1", {"a", "b"}), "b of a, a");
    EXPECT_EQ(FillPlaceholders("%1 and %3", {"50%2"}), "50%2 and %3") << "a value is never filled again";
    EXPECT_EQ(FillPlaceholders("100%", {"x"}), "100%");
    EXPECT_EQ(FillPlaceholders("%0 %a %", {}), "%0 %a %");
}
