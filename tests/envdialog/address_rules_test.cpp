#include "envdialog/address_rules.h"

#include <gtest/gtest.h>

// Each refusal names the first field that is wrong; what passes comes out in host order.
TEST(AddressRule, RefusesEachFaultBeforeAnythingIsApplied)
{
    struct Case {
        AddressInput input;
        AddressProblem problem;
    };
    const Case cases[] = {
        {{"192.0.2.10", "24", "192.0.2.1", "192.0.2.53", "192.0.2.54"}, AddressProblem::None},
        {{"192.0.2.10", "255.255.255.0", "", "", ""}, AddressProblem::None},
        {{"10.1.2.3", "8", "10.255.255.254", "", ""}, AddressProblem::None},
        {{"192.0.2.10", "31", "192.0.2.11", "", ""}, AddressProblem::None},  // point-to-point
        {{"192.0.2.11", "32", "", "", ""}, AddressProblem::None},
        {{"192.0.2.255", "31", "192.0.2.254", "", ""}, AddressProblem::None},
        {{"", "24", "", "", ""}, AddressProblem::BadAddress},
        {{"192.0.2", "24", "", "", ""}, AddressProblem::BadAddress},
        {{"192.0.2.256", "24", "", "", ""}, AddressProblem::BadAddress},
        {{"192.0.2.010", "24", "", "", ""}, AddressProblem::BadAddress},  // octal to some readers
        {{" 192.0.2.10", "24", "", "", ""}, AddressProblem::BadAddress},
        {{"192.0.2.10.", "24", "", "", ""}, AddressProblem::BadAddress},
        {{"192.0.2.1000", "24", "", "", ""}, AddressProblem::BadAddress},
        {{"192.+0.2.1", "24", "", "", ""}, AddressProblem::BadAddress},
        {{"0.1.2.3", "8", "", "", ""}, AddressProblem::BadAddress},
        {{"127.0.0.2", "8", "", "", ""}, AddressProblem::BadAddress},
        {{"224.0.0.5", "24", "", "", ""}, AddressProblem::BadAddress},
        {{"192.0.2.10", "", "", "", ""}, AddressProblem::BadPrefix},
        {{"192.0.2.10", "0", "", "", ""}, AddressProblem::BadPrefix},
        {{"192.0.2.10", "33", "", "", ""}, AddressProblem::BadPrefix},
        {{"192.0.2.10", "024", "", "", ""}, AddressProblem::BadPrefix},
        {{"192.0.2.10", "255.0.255.0", "", "", ""}, AddressProblem::BadPrefix},  // not contiguous
        {{"192.0.2.10", "0.0.0.0", "", "", ""}, AddressProblem::BadPrefix},
        {{"192.0.2.10", "/24", "", "", ""}, AddressProblem::BadPrefix},
        {{"192.0.2.0", "24", "", "", ""}, AddressProblem::AddressIsNetwork},
        {{"192.0.2.255", "24", "", "", ""}, AddressProblem::AddressIsBroadcast},
        {{"192.0.2.8", "30", "", "", ""}, AddressProblem::AddressIsNetwork},
        {{"192.0.2.10", "24", "192.0.2", "", ""}, AddressProblem::BadGateway},
        {{"192.0.2.10", "24", "192.0.3.1", "", ""}, AddressProblem::GatewayOutside},
        {{"192.0.2.10", "24", "192.0.2.0", "", ""}, AddressProblem::GatewayIsNetwork},
        {{"192.0.2.10", "24", "192.0.2.255", "", ""}, AddressProblem::GatewayIsBroadcast},
        {{"192.0.2.10", "24", "192.0.2.10", "", ""}, AddressProblem::GatewayIsAddress},
        {{"192.0.2.10", "24", "", "dns.example", ""}, AddressProblem::BadDns1},
        {{"192.0.2.10", "24", "", "", "192.0.2.53"}, AddressProblem::BadDns2},  // a second without a first
        {{"192.0.2.10", "24", "", "192.0.2.53", "192.0.2.300"}, AddressProblem::BadDns2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.Address + " / " + c.input.Prefix + " gw " + c.input.Gateway);
        StaticAddress checked;
        checked.Address = 7;
        EXPECT_EQ(CheckStaticAddress(c.input, checked), c.problem);
        if (c.problem != AddressProblem::None) {
            EXPECT_EQ(checked.Address, 7u) << "left untouched";
        }
    }
    StaticAddress checked;
    ASSERT_EQ(CheckStaticAddress({"192.0.2.10", "255.255.255.0", "192.0.2.1", "192.0.2.53", "192.0.2.54"}, checked),
              AddressProblem::None);
    EXPECT_EQ(checked.Address, 0xC000020Au);
    EXPECT_EQ(checked.PrefixLength, 24);
    EXPECT_EQ(checked.Gateway, 0xC0000201u);
    EXPECT_EQ(Ipv4Text(checked.Dns[1]), "192.0.2.54");
    EXPECT_EQ(Ipv4Text(PrefixMask(20)), "255.255.240.0");
}

TEST(AddressRule, ReadsPresetsByMacAddress)
{
    AddressPreset preset;
    ASSERT_TRUE(ParseAddressPreset("00-11-22-aa-bb-cc 192.0.2.10/24 192.0.2.1 192.0.2.53 192.0.2.54", preset));
    EXPECT_EQ(preset.Mac, "00-11-22-AA-BB-CC");
    EXPECT_EQ(preset.Address.PrefixLength, 24);
    EXPECT_EQ(Ipv4Text(preset.Address.Dns[1]), "192.0.2.54");
    ASSERT_TRUE(ParseAddressPreset(" 00:11:22:33:44:55   10.0.0.5/255.255.255.0 ", preset));
    EXPECT_EQ(preset.Mac, "00-11-22-33-44-55");
    EXPECT_EQ(preset.Address.Gateway, 0u);
    for (const char* bad : {"", "00-11-22-33-44-55", "00-11-22-33-44 192.0.2.10/24", "00-11-22-33-44-5G 192.0.2.10/24",
                            "00-11-22-33-44-55 192.0.2.10", "00-11-22-33-44-55 192.0.2.10/24 192.0.3.1",
                            "00-11-22-33-44-55 192.0.2.10/24 192.0.2.1 1.1.1.1 8.8.8.8 9.9.9.9",
                            "0011.2233.4455 192.0.2.10/24"}) {
        AddressPreset untouched;
        EXPECT_FALSE(ParseAddressPreset(bad, untouched)) << bad;
        EXPECT_TRUE(untouched.Mac.empty()) << bad;
    }
}
