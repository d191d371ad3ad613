#include "catalogues/layout_rules.h"

#include <gtest/gtest.h>

TEST(LayoutIdRules, IdentifiersReadAsUnsigned32BitHexadecimal)
{
    EXPECT_EQ(ParseLayoutId("00000409"), 0x409u);
    EXPECT_EQ(ParseLayoutId("a000f409"), 0xA000F409u);
    EXPECT_EQ(ParseLayoutId("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseLayoutId("0000000000000409"), 0x409u);
    for (const char* broken : {"", "100000000", "0000040G", " 409", "-409", "$409", "0x409"}) {
        EXPECT_FALSE(ParseLayoutId(broken).has_value()) << broken;
    }
}
