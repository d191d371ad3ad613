#include "session/target_root.h"

#include "common/registry.h"

#include <gtest/gtest.h>

namespace {
const char* kEnvironmentKey = "\\System\\CurrentControlSet\\Control\\Session Manager\\Environment";
}

TEST(PublishSystemVariable, WritesExpandableTextOrDeletesAndSetsTheOwnEnvironment)
{
    const std::string name = "TARN_TEST_PUBLISH";
    ASSERT_TRUE(PublishSystemVariable(name, "%SystemDrive%\\Target"));
    UniqueKey key = OpenRegKey(kEnvironmentKey, KEY_READ);
    ASSERT_TRUE(key);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(size, std::string("%SystemDrive%\\Target").size() + 1) << "with its terminating zero";
    char own[64] = "";
    GetEnvironmentVariableA(name.c_str(), own, sizeof own);
    EXPECT_STREQ(own, "%SystemDrive%\\Target");

    ASSERT_TRUE(PublishSystemVariable(name, ""));
    EXPECT_FALSE(RegValueExists(key.get(), name));
    EXPECT_EQ(GetEnvironmentVariableA(name.c_str(), own, sizeof own), 0u);
    EXPECT_TRUE(PublishSystemVariable(name, "")) << "deleting what is not there is no error";
}
