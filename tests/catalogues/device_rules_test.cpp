#include "catalogues/device_rules.h"

#include <gtest/gtest.h>

namespace {
constexpr unsigned long kStarted = 0x8;
constexpr unsigned long kHasProblem = 0x400;
}  // namespace

TEST(DeviceRules, ClassifiesProblemCodes)
{
    struct Case {
        bool read;
        unsigned long status, problem;
        DeviceState state;
    };
    const Case cases[] = {
        {true, kStarted, 0, DeviceState::Working},
        {true, kStarted, 28, DeviceState::Working},  // a stale number without the flag means nothing
        {true, 0, 0, DeviceState::NotStarted},
        {false, kHasProblem, 28, DeviceState::Unknown},
        {true, kHasProblem, 28, DeviceState::NoDriver},  // CM_PROB_FAILED_INSTALL
        {true, kHasProblem, 1, DeviceState::NoDriver},   // CM_PROB_NOT_CONFIGURED
        {true, kHasProblem, 18, DeviceState::NoDriver},  // CM_PROB_REINSTALL
        {true, kHasProblem, 10, DeviceState::FailedStart},
        {true, kHasProblem | kStarted, 31, DeviceState::FailedStart},
        {true, kHasProblem, 39, DeviceState::FailedStart},
        {true, kHasProblem, 43, DeviceState::FailedStart},
        {true, kHasProblem, 52, DeviceState::FailedStart},
        {true, kHasProblem, 22, DeviceState::Disabled},
        {true, kHasProblem, 29, DeviceState::Disabled},
        {true, kHasProblem, 32, DeviceState::Disabled},
        {true, kHasProblem, 12, DeviceState::Problem},  // a resource conflict
        {true, kHasProblem, 0, DeviceState::Problem},
        {true, kHasProblem, 0xFFFFFFFF, DeviceState::Problem},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyDevice(c.read, c.status, c.problem), c.state) << c.status << "/" << c.problem;
    }
}

TEST(DeviceRules, ListsProblemsAndEveryStorageAndNetworkController)
{
    const char* scsi = "{4d36e97b-e325-11ce-bfc1-08002be10318}";
    EXPECT_TRUE(IsControllerClass(scsi)) << "in any case";
    EXPECT_TRUE(IsControllerClass("{4D36E972-E325-11CE-BFC1-08002BE10318}"));
    EXPECT_FALSE(IsControllerClass("{4D36E96B-E325-11CE-BFC1-08002BE10318}")) << "a keyboard";
    EXPECT_FALSE(IsControllerClass(""));
    EXPECT_TRUE(IsListedDevice(DeviceState::Working, scsi));
    EXPECT_TRUE(IsListedDevice(DeviceState::Unknown, scsi));
    EXPECT_FALSE(IsListedDevice(DeviceState::Working, ""));
    EXPECT_FALSE(IsListedDevice(DeviceState::Unknown, ""));
    for (DeviceState state : {DeviceState::NoDriver, DeviceState::FailedStart, DeviceState::Disabled,
                              DeviceState::Problem, DeviceState::NotStarted}) {
        EXPECT_TRUE(IsListedDevice(state, ""));
    }
}

TEST(DeviceRules, SplitsAMultiStringWithOrWithoutItsTerminators)
{
    using Strings = std::vector<std::string>;
    EXPECT_EQ(SplitMultiString(std::string("PCI\\VEN_1\0PCI\\CC_0108\0\0", 24)), (Strings{"PCI\\VEN_1", "PCI\\CC_0108"}));
    EXPECT_EQ(SplitMultiString(std::string("A\0B", 3)), (Strings{"A", "B"})) << "unterminated";
    EXPECT_EQ(SplitMultiString(std::string("A\0\0B\0", 5)), (Strings{"A"})) << "an empty string ends the list";
    EXPECT_EQ(SplitMultiString(""), Strings{});
    EXPECT_EQ(SplitMultiString(std::string("\0A", 2)), Strings{});
}
