#include "shellctl/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool IsSetPasswordModeFor(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "tarn_logon.exe");
    int argc = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);  // as the C runtime ends argv
    return IsSetPasswordMode(argc, arguments.data());
}

}  // namespace

TEST(CommandLineMode, OnlyTheExactFirstArgumentSelectsSetPasswordMode)
{
    EXPECT_TRUE(IsSetPasswordModeFor({"setpass"}));
    EXPECT_TRUE(IsSetPasswordModeFor({"setpass", "more", "arguments"})) << "further arguments are ignored";
    for (std::vector<const char*> other : std::vector<std::vector<const char*>>{
             {}, {""}, {"SETPASS"}, {"SetPass"}, {"setpass2"}, {"setpas"}, {" setpass"}, {"other", "setpass"}}) {
        EXPECT_FALSE(IsSetPasswordModeFor(other)) << (other.empty() ? "(none)" : other[0]);
    }
    const char* onlyProgram[] = {"setpass", nullptr};
    EXPECT_FALSE(IsSetPasswordMode(1, onlyProgram)) << "the program's own name is no argument";
}
