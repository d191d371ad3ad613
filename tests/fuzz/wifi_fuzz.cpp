// The Wi-Fi rules that read outside bytes: a network name the radio reported (shown as text or
// hex) and a profile file from WifiProfiles= (its name read for the run log and WlanConnect).
#include "envdialog/wifi_rules.h"

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = BytesAsText(data, size);
    const std::string text = SsidText(bytes);
    // A name may itself begin with "hex:": what tells the forms apart is whether the text is the bytes.
    if (text != bytes) {
        Require(text.rfind("hex:", 0) == 0 && text.size() == 4 + 2 * size, "a hex name has two digits per byte");
    } else {
        Require(SsidText(text + text) == text + text, "text twice is text");
    }
    Require(SsidHex(bytes).size() == 2 * size, "the profile's hex has two digits per byte");

    if (const auto name = ProfileNameFromXml(bytes)) {
        Require(!name->empty(), "a profile name is never empty");
        Require(name->find('\0') == std::string::npos, "a profile name holds no zero character");
    }
    // A profile the program writes names the network as it shows it, and reads back the same.
    if (size <= 32) {
        const std::string xml = WifiProfileXml(bytes, WifiSecurity::Wpa2Personal, "passphrase");
        if (!text.empty()) Require(ProfileNameFromXml(xml) == text, "the written name reads back");
    }
    return 0;
}
