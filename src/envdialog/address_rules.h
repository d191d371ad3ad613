// A fixed IPv4 address for an adapter, checked before anything is applied: platform-free, so each
// refusal is tested without touching an adapter.
#pragma once

#include <cstdint>
#include <string>

// What the operator typed, as typed.
struct AddressInput {
    std::string Address;
    std::string Prefix;  // a length 1-32 ("24") or a contiguous mask ("255.255.255.0")
    std::string Gateway; // may be empty: a lab network without a router
    std::string Dns1;    // may be empty
    std::string Dns2;    // may be empty; only with Dns1
};

// The checked settings; addresses in host order (192.0.2.1 is 0xC0000201), 0 for an empty field.
struct StaticAddress {
    uint32_t Address = 0;
    int PrefixLength = 0;
    uint32_t Gateway = 0;
    uint32_t Dns[2] = {0, 0};
};

// The first thing wrong, in the order of the fields; each has its own message.
enum class AddressProblem {
    None,
    BadAddress,          // not a dotted address, or not one an adapter may carry (0.x, 127.x, multicast)
    BadPrefix,           // not 1-32, nor a contiguous mask
    AddressIsNetwork,    // the subnet's own address (prefixes up to 30)
    AddressIsBroadcast,  // the subnet's broadcast address (prefixes up to 30)
    BadGateway,          // not a dotted address an adapter may reach
    GatewayOutside,      // not inside the address's subnet
    GatewayIsNetwork,
    GatewayIsBroadcast,
    GatewayIsAddress,    // the adapter cannot be its own router
    BadDns1,
    BadDns2,
};

// A strict dotted quad: four decimal numbers 0-255 without signs, blanks or leading zeros (which
// some readers take for octal).
bool ParseIpv4(const std::string& text, uint32_t& address);
// "24" or "255.255.255.0"; -1 for anything else.
int ParsePrefixLength(const std::string& text);
std::string Ipv4Text(uint32_t address);
// The mask of a prefix length, "255.255.255.0" for 24.
uint32_t PrefixMask(int prefixLength);

AddressProblem CheckStaticAddress(const AddressInput& input, StaticAddress& checked);

// One StaticAddress= preset: "00-11-22-33-44-55 192.0.2.10/24 [gateway [dns1 [dns2]]]", the MAC
// with dashes or colons, the address with its prefix length or mask after "/". The MAC comes out
// as GetAdaptersAddresses' bytes are written here: upper case with dashes. False (preset
// untouched) for anything the address dialog would refuse.
struct AddressPreset {
    std::string Mac;
    StaticAddress Address;
};
bool ParseAddressPreset(const std::string& value, AddressPreset& preset);
