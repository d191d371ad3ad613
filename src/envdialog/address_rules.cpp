#include "envdialog/address_rules.h"

#include <cctype>
#include <sstream>

namespace {

// An address an adapter may carry or reach: not "this network" (0.x), not the loopback, not
// multicast or reserved (224 and up).
bool IsHostAddress(uint32_t address)
{
    const uint32_t first = address >> 24;
    return first != 0 && first != 127 && first < 224;
}

bool ParseHost(const std::string& text, uint32_t& address) { return ParseIpv4(text, address) && IsHostAddress(address); }

}  // namespace

bool ParseIpv4(const std::string& text, uint32_t& address)
{
    uint32_t value = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        const size_t start = at;
        unsigned number = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3) {
            number = number * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
        }
        const size_t digits = at - start;
        if (digits == 0 || number > 255 || (digits > 1 && text[start] == '0')) return false;
        value = (value << 8) | number;
    }
    if (at != text.size()) return false;
    address = value;
    return true;
}

uint32_t PrefixMask(int prefixLength)
{
    if (prefixLength <= 0) return 0;
    if (prefixLength >= 32) return 0xFFFFFFFFu;
    return ~((1u << (32 - prefixLength)) - 1u);
}

int ParsePrefixLength(const std::string& text)
{
    uint32_t mask = 0;
    if (text.find('.') != std::string::npos) {
        if (!ParseIpv4(text, mask)) return -1;
        for (int length = 1; length <= 32; ++length) {
            if (PrefixMask(length) == mask) return length;
        }
        return -1;
    }
    if (text.empty() || text.size() > 2 || text[0] == '0') return -1;
    int length = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        length = length * 10 + (c - '0');
    }
    return length >= 1 && length <= 32 ? length : -1;
}

std::string Ipv4Text(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

AddressProblem CheckStaticAddress(const AddressInput& input, StaticAddress& checked)
{
    StaticAddress result;
    if (!ParseHost(input.Address, result.Address)) return AddressProblem::BadAddress;
    result.PrefixLength = ParsePrefixLength(input.Prefix);
    if (result.PrefixLength < 0) return AddressProblem::BadPrefix;
    const uint32_t mask = PrefixMask(result.PrefixLength);
    const uint32_t network = result.Address & mask;
    const uint32_t broadcast = network | ~mask;
    // A /31 (point-to-point) or /32 has no network or broadcast address of its own.
    const bool hasEnds = result.PrefixLength <= 30;
    if (hasEnds && result.Address == network) return AddressProblem::AddressIsNetwork;
    if (hasEnds && result.Address == broadcast) return AddressProblem::AddressIsBroadcast;
    if (!input.Gateway.empty()) {
        if (!ParseHost(input.Gateway, result.Gateway)) return AddressProblem::BadGateway;
        if ((result.Gateway & mask) != network) return AddressProblem::GatewayOutside;
        if (hasEnds && result.Gateway == network) return AddressProblem::GatewayIsNetwork;
        if (hasEnds && result.Gateway == broadcast) return AddressProblem::GatewayIsBroadcast;
        if (result.Gateway == result.Address) return AddressProblem::GatewayIsAddress;
    }
    if (!input.Dns1.empty() && !ParseHost(input.Dns1, result.Dns[0])) return AddressProblem::BadDns1;
    if (!input.Dns2.empty() && (input.Dns1.empty() || !ParseHost(input.Dns2, result.Dns[1]))) {
        return AddressProblem::BadDns2;
    }
    checked = result;
    return AddressProblem::None;
}

namespace {

bool ParseMac(const std::string& text, std::string& mac)
{
    if (text.size() != 17) return false;
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != '-' && c != ':') return false;
            result += '-';
        } else {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
            result += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    mac = result;
    return true;
}

}  // namespace

bool ParseAddressPreset(const std::string& value, AddressPreset& preset)
{
    std::istringstream words(value);
    std::string mac, address, extra;
    AddressInput input;
    if (!(words >> mac >> address)) return false;
    words >> input.Gateway >> input.Dns1 >> input.Dns2;
    if (words >> extra) return false;
    const size_t slash = address.find('/');
    if (slash == std::string::npos) return false;
    input.Address = address.substr(0, slash);
    input.Prefix = address.substr(slash + 1);
    AddressPreset parsed;
    if (!ParseMac(mac, parsed.Mac) || CheckStaticAddress(input, parsed.Address) != AddressProblem::None) return false;
    preset = parsed;
    return true;
}
