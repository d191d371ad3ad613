#include "envdialog/network_rules.h"

#include <gtest/gtest.h>

namespace {

AdapterReport Adapter(bool up, std::vector<std::array<unsigned char, 4>> addresses, bool loopback = false)
{
    return AdapterReport{"Ethernet", loopback, up, std::move(addresses), false, {}};
}

}  // namespace

// The row's state from the adapters first, whoever started the network; the facts only tell the
// states without any adapter apart.
TEST(NetworkRule, AdaptersDecideWhoeverStartedTheNetwork)
{
    const NetworkFacts untouched{true, false, false};
    const NetworkFacts starting{true, true, false};
    const NetworkFacts started{true, false, true};
    const NetworkFacts noTool{false, false, false};
    const AdapterReport loopback = Adapter(true, {{127, 0, 0, 1}}, true);
    struct Case {
        const char* what;
        std::vector<AdapterReport> adapters;
        NetworkFacts facts;
        NetworkState state;
    };
    const Case cases[] = {
        {"wpeinit's adapter, DHCP not answered", {loopback, Adapter(true, {})}, untouched, NetworkState::Waiting},
        {"self-assigned address only", {Adapter(true, {{169, 254, 7, 9}})}, untouched, NetworkState::Waiting},
        {"adapter down with a stale address", {Adapter(false, {{10, 0, 0, 5}})}, started, NetworkState::Waiting},
        {"adapter without wpeutil", {Adapter(true, {})}, noTool, NetworkState::Waiting},
        {"our start still running", {Adapter(true, {})}, starting, NetworkState::Starting},
        {"loopback only, nothing started", {loopback}, untouched, NetworkState::NotStarted},
        {"no adapter after a start", {loopback}, started, NetworkState::NoAdapter},
        {"no adapter, no wpeutil", {}, noTool, NetworkState::Unsupported},
        {"no list at all, start running", {}, starting, NetworkState::Starting},
    };
    for (const Case& c : cases) {
        NetworkStatus status = ClassifyNetwork(c.adapters, c.facts);
        EXPECT_EQ(status.state, c.state) << c.what;
        EXPECT_EQ(status.address, "") << c.what;
    }
}

TEST(NetworkRule, TheFirstUsableAddressOfAnAdapterThatIsUpConnects)
{
    std::vector<AdapterReport> adapters = {Adapter(true, {{127, 0, 0, 1}}, true),
                                           Adapter(false, {{10, 1, 1, 1}}),
                                           Adapter(true, {{169, 254, 1, 2}, {0, 0, 0, 0}, {192, 168, 1, 20}})};
    adapters[2].name = "Ethernet 2";
    for (const NetworkFacts& facts : {NetworkFacts{true, true, false}, NetworkFacts{false, false, false}}) {
        NetworkStatus status = ClassifyNetwork(adapters, facts);
        EXPECT_EQ(status.state, NetworkState::Connected);
        EXPECT_EQ(status.address, "192.168.1.20 (Ethernet 2)");
    }
}

// Over Wi-Fi the row names the network, connected or still waiting for its address.
TEST(NetworkRule, AWirelessAdapterNamesItsNetwork)
{
    const NetworkFacts started{true, false, true};
    AdapterReport wifi{"Wi-Fi", false, true, {}, true, "Home"};
    NetworkStatus waiting = ClassifyNetwork({wifi}, started);
    EXPECT_EQ(waiting.state, NetworkState::Waiting);
    EXPECT_EQ(waiting.wifiName, "Home");
    wifi.addresses = {{192, 0, 2, 10}};
    NetworkStatus connected = ClassifyNetwork({Adapter(true, {}), wifi}, started);
    EXPECT_EQ(connected.state, NetworkState::Connected);
    EXPECT_EQ(connected.address, "192.0.2.10");
    EXPECT_EQ(connected.wifiName, "Home");
    wifi.ssid.clear();  // not associated: an adapter like any other
    NetworkStatus plain = ClassifyNetwork({wifi}, started);
    EXPECT_EQ(plain.address, "192.0.2.10 (Wi-Fi)");
    EXPECT_EQ(plain.wifiName, "");
}
