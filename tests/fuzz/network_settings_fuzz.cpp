// The network settings' readers from arbitrary text: a NetworkDrive= preset, a StaticAddress=
// preset and the fields of a fixed address. Whatever passes must say what a connection or an adapter can take.
#include "envdialog/address_rules.h"
#include "envdialog/share_rules.h"

#include "fuzz_check.h"

namespace {

void CheckPreset(const std::string& text)
{
    DrivePreset preset;
    if (!ParseDrivePreset(text, preset)) {
        Require(preset.Letter == 0 && preset.Path.empty(), "a refused preset leaves the record untouched");
        return;
    }
    Require(preset.Letter >= 'A' && preset.Letter <= 'Z', "a preset's letter is a drive letter");
    Require(CheckShareInput(preset.Path, preset.User, std::string(1, preset.Letter)) == ShareProblem::None,
            "a preset's share and user pass the dialog's own check");
    Require(preset.Path.find(' ') == std::string::npos, "a preset's share is one word");
}

// The input split at line ends into the five fields of the address dialog.
void CheckAddress(const std::string& text)
{
    std::string fields[5];
    size_t field = 0;
    for (char c : text) {
        if (c == '\n') {
            if (++field == 5) break;
        } else {
            fields[field] += c;
        }
    }
    StaticAddress checked;
    if (CheckStaticAddress({fields[0], fields[1], fields[2], fields[3], fields[4]}, checked) != AddressProblem::None) {
        return;
    }
    Require(checked.PrefixLength >= 1 && checked.PrefixLength <= 32, "a checked prefix is 1-32");
    Require(Ipv4Text(checked.Address) == fields[0], "a checked address reads back as typed");
    const uint32_t mask = PrefixMask(checked.PrefixLength);
    if (checked.Gateway) {
        Require((checked.Gateway & mask) == (checked.Address & mask), "the gateway lies in the subnet");
        Require(checked.Gateway != checked.Address, "the gateway is not the adapter");
    }
    if (checked.PrefixLength <= 30) {
        Require((checked.Address & ~mask) != 0 && (checked.Address & ~mask) != ~mask,
                "the address is neither the subnet's network nor its broadcast address");
    }
}

void CheckAddressPreset(const std::string& text)
{
    AddressPreset preset;
    if (!ParseAddressPreset(text, preset)) {
        Require(preset.Mac.empty(), "a refused address preset leaves the record untouched");
        return;
    }
    Require(preset.Mac.size() == 17, "a preset's MAC has six bytes");
    Require(preset.Address.PrefixLength >= 1 && preset.Address.PrefixLength <= 32, "a preset's prefix is 1-32");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = BytesAsText(data, size);
    CheckPreset(text);
    CheckAddress(text);
    CheckAddressPreset(text);
    return 0;
}
