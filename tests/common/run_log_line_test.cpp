#include "common/run_log_line.h"

#include <gtest/gtest.h>

namespace {

const LogTime kTime{2026, 3, 7, 9, 5, 4, 21};

}  // namespace

TEST(RunLogLine, StampEventAndFieldsOnOneLine)
{
    EXPECT_EQ(FormatLogLine(kTime, "shell-end", {{"exit", "7"}, {"ms", "1520"}}),
              "2026-03-07 09:05:04.021 shell-end exit=7 ms=1520\r\n");
    EXPECT_EQ(FormatLogLine(kTime, "publish", {{"", "left out"}, {"value", ""}}),
              "2026-03-07 09:05:04.021 publish value=\"\"\r\n");
}

// Whatever a value holds, a reader can tell where it ends, and the event stays on one line.
TEST(RunLogLine, ValuesAreQuotedOnlyWhereTheyMustBe)
{
    EXPECT_EQ(QuoteLogValue("C:\\Windows\\system32\\cmd.exe"), "C:\\Windows\\system32\\cmd.exe");
    EXPECT_EQ(QuoteLogValue("\xC4nderung=1"), "\xC4nderung=1") << "8-bit text and equals signs stay as they are";
    EXPECT_EQ(QuoteLogValue("Command prompt"), "\"Command prompt\"");
    EXPECT_EQ(QuoteLogValue(""), "\"\"");
    EXPECT_EQ(QuoteLogValue("say \"open\""), "\"say \"\"open\"\"\"");
    EXPECT_EQ(QuoteLogValue("\""), "\"\"\"\"");
    EXPECT_EQ(QuoteLogValue("a\"b"), "\"a\"\"b\"") << "a quote alone is reason enough to quote";
    EXPECT_EQ(QuoteLogValue("first\r\n\r\nsecond\tthird\x7F"), "\"first second third \"");
    EXPECT_EQ(QuoteLogValue(std::string("a\0b", 3)), "\"a b\"");
}

TEST(RunLogLine, ALongLineIsCutToTheLimitAndMarked)
{
    std::string stampAndEvent = "2026-03-07 09:05:04.021 error text=";
    std::string fits(kMaxLogLineBytes - 2 - stampAndEvent.size(), 'x');
    EXPECT_EQ(FormatLogLine(kTime, "error", {{"text", fits}}), stampAndEvent + fits + "\r\n") << "exactly the limit";

    std::string line = FormatLogLine(kTime, "error", {{"text", fits + "y"}, {"caption", "never reached"}});
    EXPECT_EQ(line.size(), kMaxLogLineBytes);
    EXPECT_EQ(line.substr(line.size() - 5), "...\r\n");
    EXPECT_EQ(line.find("never reached"), std::string::npos);

    // Doubled quotes up to the cut: the cut never leaves half of a pair behind.
    for (size_t shift = 0; shift < 2; ++shift) {
        std::string quoted = FormatLogLine(kTime, "error", {{"text", std::string(shift, 'a') + std::string(3000, '"')}});
        size_t body = quoted.size() - 5 - (stampAndEvent.size() + 1 + shift);
        EXPECT_EQ(body % 2, 0u) << "shift " << shift << ": " << quoted.substr(quoted.size() - 12);
    }
}
