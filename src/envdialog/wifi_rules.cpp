#include "envdialog/wifi_rules.h"

#include <algorithm>
#include <map>

namespace {

// DOT11_AUTH_ALGORITHM and DOT11_CIPHER_ALGORITHM (windot11.h, wlantypes.h).
constexpr unsigned long kAuthOpen = 1;
constexpr unsigned long kAuthWpa = 3;
constexpr unsigned long kAuthRsna = 6;
constexpr unsigned long kAuthRsnaPsk = 7;
constexpr unsigned long kAuthWpa3Enterprise192 = 8;
constexpr unsigned long kAuthWpa3Sae = 9;
constexpr unsigned long kAuthWpa3Enterprise = 11;
constexpr unsigned long kCipherNone = 0;
constexpr unsigned long kCipherCcmp = 4;

// WLAN_REASON_CODE values (wlanapi.h): the automatic-connection block starts at 0x28000, the
// security module's connection block at 0x48000.
constexpr unsigned long kReasonNotVisible = 0x28002;
constexpr unsigned long kReasonNetworkNotAvailable = 0x2800B;
constexpr unsigned long kReasonKeyMismatch = 0x2800D;
constexpr unsigned long kReasonKeyFormat = 0x48012;
constexpr unsigned long kReasonPskMismatchSuspected = 0x48014;

constexpr size_t kMinPassphrase = 8;
constexpr size_t kMaxPassphrase = 63;
constexpr size_t kHexKeyDigits = 64;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at text[at], 0 when it is not one (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF).
size_t SequenceLength(std::string_view text, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(i))) return 0;
    }
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;
    if (lead == 0xED && byte(1) > 0x9F) return 0;
    if (lead == 0xF0 && byte(1) < 0x90) return 0;
    if (lead == 0xF4 && byte(1) > 0x8F) return 0;
    return length;
}

// Control characters would break the list's line or the log's: C0, DEL and C1 (U+0080-U+009F).
bool IsControl(std::string_view text, size_t at, size_t length)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (length == 1) return lead < 0x20 || lead == 0x7F;
    return length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
}

bool IsDisplayableUtf8(std::string_view text)
{
    for (size_t at = 0; at < text.size();) {
        const size_t length = SequenceLength(text, at);
        if (length == 0 || IsControl(text, at, length)) return false;
        at += length;
    }
    return true;
}

std::string Hex(std::string_view bytes, const char* digits)
{
    std::string text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

void AppendEscaped(std::string& xml, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '&': xml += "&amp;"; break;
        case '<': xml += "&lt;"; break;
        case '>': xml += "&gt;"; break;
        case '"': xml += "&quot;"; break;
        case '\'': xml += "&apos;"; break;
        default: xml += c;
        }
    }
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool AppendUtf8(std::string& text, unsigned long code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    return true;
}

// One character reference without its '&' and ';' ("amp", "#38", "#x26") appended as UTF-8.
bool AppendReference(std::string& text, std::string_view reference)
{
    static const std::map<std::string_view, char> kNamed = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    if (auto named = kNamed.find(reference); named != kNamed.end()) {
        text += named->second;
        return true;
    }
    if (reference.size() < 2 || reference[0] != '#') return false;
    const bool hex = reference[1] == 'x';
    const std::string_view digits = reference.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return false;
    unsigned long code = 0;
    for (char c : digits) {
        if (hex ? !IsHexDigit(c) : !(c >= '0' && c <= '9')) return false;
        const unsigned long digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        code = code * (hex ? 16 : 10) + digit;
    }
    return AppendUtf8(text, code);
}

}  // namespace

WifiSecurity ClassifySecurity(unsigned long authAlgorithm, unsigned long cipherAlgorithm)
{
    switch (authAlgorithm) {
    case kAuthOpen: return cipherAlgorithm == kCipherNone ? WifiSecurity::Open : WifiSecurity::Other;  // WEP
    case kAuthRsnaPsk: return cipherAlgorithm == kCipherCcmp ? WifiSecurity::Wpa2Personal : WifiSecurity::Other;
    case kAuthWpa3Sae: return WifiSecurity::Wpa3Personal;
    case kAuthWpa:
    case kAuthRsna:
    case kAuthWpa3Enterprise192:
    case kAuthWpa3Enterprise: return WifiSecurity::Enterprise;
    default: return WifiSecurity::Other;  // shared key, WPA1-PSK, OWE, vendor methods
    }
}

bool IsJoinable(WifiSecurity security)
{
    return security == WifiSecurity::Open || security == WifiSecurity::Wpa2Personal ||
           security == WifiSecurity::Wpa3Personal;
}

bool NeedsPassphrase(WifiSecurity security)
{
    return security == WifiSecurity::Wpa2Personal || security == WifiSecurity::Wpa3Personal;
}

std::vector<WifiSighting> MergeNetworks(const std::vector<WifiSighting>& sightings)
{
    std::vector<WifiSighting> merged;
    for (const WifiSighting& sighting : sightings) {
        auto same = std::find_if(merged.begin(), merged.end(),
                                 [&](const WifiSighting& known) { return known.ssid == sighting.ssid; });
        if (same == merged.end()) {
            merged.push_back(sighting);
            continue;
        }
        const bool connected = same->connected || sighting.connected;
        if (sighting.signal > same->signal) *same = sighting;
        same->connected = connected;
    }
    std::stable_sort(merged.begin(), merged.end(), [](const WifiSighting& a, const WifiSighting& b) {
        return a.signal != b.signal ? a.signal > b.signal : a.ssid < b.ssid;
    });
    return merged;
}

std::string SsidText(std::string_view ssid)
{
    return IsDisplayableUtf8(ssid) ? std::string(ssid) : "hex:" + Hex(ssid, "0123456789abcdef");
}

std::string SsidHex(std::string_view ssid) { return Hex(ssid, "0123456789ABCDEF"); }

bool IsAcceptablePassphrase(std::string_view passphrase, WifiSecurity security)
{
    if (!NeedsPassphrase(security)) return true;
    if (security == WifiSecurity::Wpa2Personal && passphrase.size() == kHexKeyDigits) {
        return std::all_of(passphrase.begin(), passphrase.end(), IsHexDigit);
    }
    // Characters, not bytes: the service counts what the operator typed.
    size_t characters = 0;
    for (size_t at = 0; at < passphrase.size();) {
        const size_t length = SequenceLength(passphrase, at);
        if (length == 0 || IsControl(passphrase, at, length)) return false;
        at += length;
        ++characters;
    }
    return characters >= kMinPassphrase && characters <= kMaxPassphrase;
}

std::string WifiProfileXml(std::string_view ssid, WifiSecurity security, std::string_view passphrase)
{
    const std::string name = SsidText(ssid);
    std::string xml;
    // Reserved once, so that no reallocation leaves a copy of the passphrase in freed memory.
    xml.reserve(1024 + 6 * (name.size() + passphrase.size()));
    xml += "<?xml version=\"1.0\"?>\r\n<WLANProfile xmlns=\"http://www.microsoft.com/networking/WLAN/profile/v1\">\r\n";
    xml += "<name>";
    AppendEscaped(xml, name);
    xml += "</name>\r\n<SSIDConfig><SSID><hex>" + SsidHex(ssid) + "</hex><name>";
    AppendEscaped(xml, name);
    xml += "</name></SSID></SSIDConfig>\r\n<connectionType>ESS</connectionType>\r\n"
           "<connectionMode>manual</connectionMode>\r\n<MSM><security>\r\n<authEncryption><authentication>";
    xml += security == WifiSecurity::Wpa3Personal ? "WPA3SAE" : security == WifiSecurity::Wpa2Personal ? "WPA2PSK" : "open";
    xml += "</authentication><encryption>";
    xml += NeedsPassphrase(security) ? "AES" : "none";
    xml += "</encryption><useOneX>false</useOneX></authEncryption>\r\n";
    if (NeedsPassphrase(security)) {
        const bool hexKey = security == WifiSecurity::Wpa2Personal && passphrase.size() == kHexKeyDigits;
        xml += hexKey ? "<sharedKey><keyType>networkKey</keyType>" : "<sharedKey><keyType>passPhrase</keyType>";
        xml += "<protected>false</protected><keyMaterial>";
        AppendEscaped(xml, passphrase);
        xml += "</keyMaterial></sharedKey>\r\n";
    }
    xml += "</security></MSM>\r\n</WLANProfile>\r\n";
    return xml;
}

std::optional<std::string> ProfileNameFromXml(std::string_view xml)
{
    const size_t open = xml.find("<name>");
    if (open == std::string_view::npos) return std::nullopt;
    const size_t start = open + 6;
    const size_t close = xml.find("</name>", start);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view raw = xml.substr(start, close - start);
    std::string name;
    for (size_t at = 0; at < raw.size(); ++at) {
        if (raw[at] == '<') return std::nullopt;  // an element inside: not the plain name element
        // XML allows no other control characters; a zero would cut the name short on its way
        // to the service.
        const auto byte = static_cast<unsigned char>(raw[at]);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') return std::nullopt;
        if (raw[at] != '&') {
            name += raw[at];
            continue;
        }
        const size_t end = raw.find(';', at);
        if (end == std::string_view::npos || !AppendReference(name, raw.substr(at + 1, end - at - 1))) {
            return std::nullopt;
        }
        at = end;
    }
    if (name.empty()) return std::nullopt;
    return name;
}

WifiOutcome OutcomeFromReason(unsigned long reasonCode)
{
    switch (reasonCode) {
    case 0: return WifiOutcome::Connected;
    case kReasonKeyMismatch:
    case kReasonKeyFormat:
    case kReasonPskMismatchSuspected: return WifiOutcome::WrongPassphrase;
    case kReasonNotVisible:
    case kReasonNetworkNotAvailable: return WifiOutcome::NetworkGone;
    default: return WifiOutcome::Failed;
    }
}

const char* OutcomeName(WifiOutcome outcome)
{
    switch (outcome) {
    case WifiOutcome::Connected: return "connected";
    case WifiOutcome::WrongPassphrase: return "wrong-passphrase";
    case WifiOutcome::NetworkGone: return "network-gone";
    case WifiOutcome::TimedOut: return "timed-out";
    case WifiOutcome::Failed: break;
    }
    return "failed";
}

const char* SecurityName(WifiSecurity security)
{
    switch (security) {
    case WifiSecurity::Open: return "open";
    case WifiSecurity::Wpa2Personal: return "WPA2-Personal";
    case WifiSecurity::Wpa3Personal: return "WPA3-Personal";
    case WifiSecurity::Enterprise: return "enterprise";
    case WifiSecurity::Other: break;
    }
    return "other";
}
