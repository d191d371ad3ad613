// What the Wi-Fi dialog and the start-up decide about wireless networks, free of the platform: the
// radios report names as bytes and security as numbers, and a profile is text the WLAN service
// reads, so each rule is tested on its own (and the parts that read outside text are fuzzed).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The kinds the program tells apart. Only Open, Wpa2Personal and Wpa3Personal can be joined here;
// Enterprise (802.1X) needs credentials and certificates the first screen has no way to ask for.
enum class WifiSecurity { Open, Wpa2Personal, Wpa3Personal, Enterprise, Other };

// The security of a network from the authentication and cipher numbers the Native Wi-Fi API
// reports (DOT11_AUTH_ALGORITHM, DOT11_CIPHER_ALGORITHM).
WifiSecurity ClassifySecurity(unsigned long authAlgorithm, unsigned long cipherAlgorithm);

bool IsJoinable(WifiSecurity security);
bool NeedsPassphrase(WifiSecurity security);

// One entry of the service's list of visible networks. The list holds an entry per name and
// profile, so a name can appear more than once.
struct WifiSighting {
    std::string ssid;          // up to 32 bytes as the radio received them
    unsigned signal = 0;       // 0 to 100
    WifiSecurity security = WifiSecurity::Other;
    bool connected = false;
};

// The list as the operator sees it: one entry per name (the strongest sighting's signal and
// security, connected when any sighting is), strongest first, equal signals by name.
std::vector<WifiSighting> MergeNetworks(const std::vector<WifiSighting>& sightings);

// A network name as text: the bytes themselves when they are valid UTF-8 without control
// characters, otherwise "hex:" and two lower-case digits per byte. Empty for a hidden network.
std::string SsidText(std::string_view ssid);

// Two upper-case hexadecimal digits per byte, as a profile's <hex> element carries the name.
std::string SsidHex(std::string_view ssid);

// A passphrase the service can take for the security: 8 to 63 characters, or for WPA2 also 64
// hexadecimal digits; any text for a network without one.
bool IsAcceptablePassphrase(std::string_view passphrase, WifiSecurity security);

// The WLANProfile document (UTF-8) for a network chosen in the dialog: named as the network's
// text, the name in <hex> so that its exact bytes reach the radio, connected on request only.
// For a joinable security only; the passphrase is ignored for an open network. The caller wipes
// the result: it holds the passphrase in clear.
std::string WifiProfileXml(std::string_view ssid, WifiSecurity security, std::string_view passphrase);

// The profile's own name (the first <name> element, the one before <SSIDConfig>), its XML
// character references resolved; nothing when the text has none. The text of a profile file
// that "netsh wlan export profile" wrote, read only so far.
std::optional<std::string> ProfileNameFromXml(std::string_view xml);

// How a connection attempt ended, from the service's WLAN_REASON_CODE (0: connected).
enum class WifiOutcome { Connected, WrongPassphrase, NetworkGone, TimedOut, Failed };
WifiOutcome OutcomeFromReason(unsigned long reasonCode);

// The outcome's word in the run log.
const char* OutcomeName(WifiOutcome outcome);
const char* SecurityName(WifiSecurity security);
