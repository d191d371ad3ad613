#include "catalogues/bitlocker_rules.h"

#include <cstring>

namespace {

constexpr char kSignature[] = "-FVE-FS-";
constexpr size_t kSignatureOffset = 3;
// The identifier as stored (a GUID's first three fields little-endian): 4967D63B-2E29-4AD8-
// 8399-F6A339E3D001, and 92A84D3B-DD80-4D0E-9E4E-B1E3284EAED8 for a volume encrypted as "used
// disk space only".
constexpr unsigned char kIdentifiers[][16] = {
    {0x3b, 0xd6, 0x67, 0x49, 0x29, 0x2e, 0xd8, 0x4a, 0x83, 0x99, 0xf6, 0xa3, 0x39, 0xe3, 0xd0, 0x01},
    {0x3b, 0x4d, 0xa8, 0x92, 0x80, 0xdd, 0x0e, 0x4d, 0x9e, 0x4e, 0xb1, 0xe3, 0x28, 0x4e, 0xae, 0xd8},
};
constexpr size_t kToGoIdentifierOffset = 424;
constexpr size_t kToGoHeaderEnd = kToGoIdentifierOffset + 16 + 3 * 8;  // identifier and three offsets
constexpr unsigned long long kMaxMetadataOffset = 0xFFFFFFFFull * 512;
constexpr size_t kGroups = 8;
constexpr size_t kGroupDigits = 6;
constexpr unsigned long kGroupLimit = 720896;  // 65,536 * 11: each group encodes 16 key bits times 11
constexpr size_t kGuidChars = 38;              // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsGuidAt(const std::string& text, size_t at)
{
    if (text.size() - at < kGuidChars || text[at] != '{' || text[at + kGuidChars - 1] != '}') return false;
    for (size_t i = 1; i < kGuidChars - 1; ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[at + i] != '-' : !IsHex(text[at + i])) return false;
    }
    return true;
}

// UTF-16 output turned into 8-bit text: the low byte of every ASCII character, anything else as
// '?'. A GUID is ASCII, so nothing that matters is lost.
std::string NarrowUtf16(const std::string& wide)
{
    std::string narrow;
    size_t start = wide.size() >= 2 && static_cast<unsigned char>(wide[0]) == 0xFF &&
                           static_cast<unsigned char>(wide[1]) == 0xFE
                       ? 2
                       : 0;
    for (size_t i = start; i + 1 < wide.size(); i += 2) {
        bool ascii = wide[i + 1] == '\0' && static_cast<unsigned char>(wide[i]) < 0x80;
        narrow += ascii ? wide[i] : '?';
    }
    return narrow;
}

bool LooksLikeUtf16(const std::string& output)
{
    if (output.size() >= 2 && static_cast<unsigned char>(output[0]) == 0xFF &&
        static_cast<unsigned char>(output[1]) == 0xFE) {
        return true;
    }
    // Without a mark, ASCII text in UTF-16 has a zero in every odd byte; 8-bit text has none.
    size_t zeros = 0;
    for (size_t i = 1; i < output.size(); i += 2) zeros += output[i] == '\0';
    return output.size() >= 2 && zeros * 2 >= output.size() / 2;
}

std::vector<std::string> GuidsIn(const std::string& text, size_t most)
{
    std::vector<std::string> found;
    for (size_t at = text.find('{'); at != std::string::npos && found.size() < most; at = text.find('{', at + 1)) {
        if (IsGuidAt(text, at)) found.push_back(text.substr(at, kGuidChars));
    }
    return found;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

}  // namespace

bool IsBitLockerSector(const unsigned char* sector, size_t size)
{
    const size_t length = sizeof kSignature - 1;
    return sector && size >= kSignatureOffset + length && std::memcmp(sector + kSignatureOffset, kSignature, length) == 0;
}

std::optional<unsigned long long> ToGoMetadataOffset(const unsigned char* sector, size_t size)
{
    if (!sector || size < kToGoHeaderEnd || IsBitLockerSector(sector, size)) return std::nullopt;
    bool identified = false;
    for (const auto& identifier : kIdentifiers) {
        identified = identified || std::memcmp(sector + kToGoIdentifierOffset, identifier, sizeof identifier) == 0;
    }
    if (!identified) return std::nullopt;
    unsigned long long offset = 0;
    for (size_t i = 0; i < 8; ++i) {
        offset |= static_cast<unsigned long long>(sector[kToGoIdentifierOffset + 16 + i]) << (8 * i);
    }
    if (offset == 0 || offset % 512 != 0 || offset > kMaxMetadataOffset) return std::nullopt;
    return offset;
}

bool IsFveMetadataBlock(const unsigned char* block, size_t size)
{
    const size_t length = sizeof kSignature - 1;
    return block && size >= length && std::memcmp(block, kSignature, length) == 0;
}

bool FormatRecoveryPassword(const char* typed, size_t length, char* formatted)
{
    std::memset(formatted, 0, kRecoveryPasswordChars + 1);
    size_t begin = 0;
    size_t end = length;
    while (begin < end && IsBlank(typed[begin])) ++begin;
    while (end > begin && IsBlank(typed[end - 1])) --end;

    // Either 48 digits straight, or dashes exactly between the groups: a dash anywhere else is
    // more likely a mistyped key than a different spelling of a right one.
    size_t digits = 0;
    size_t out = 0;
    bool dashed = end - begin == kRecoveryPasswordChars;
    for (size_t i = begin; i < end; ++i) {
        char c = typed[i];
        bool groupEnd = digits > 0 && digits % kGroupDigits == 0 && digits < kGroups * kGroupDigits;
        if (dashed && groupEnd && out % (kGroupDigits + 1) == kGroupDigits) {
            if (c != '-') break;
            formatted[out++] = '-';
            continue;
        }
        if (!IsDigit(c) || digits == kGroups * kGroupDigits) break;
        if (!dashed && groupEnd) formatted[out++] = '-';
        formatted[out++] = c;
        ++digits;
    }
    bool valid = digits == kGroups * kGroupDigits && out == kRecoveryPasswordChars &&
                 (dashed || end - begin == kGroups * kGroupDigits);
    for (size_t group = 0; valid && group < kGroups; ++group) {
        unsigned long value = 0;
        for (size_t i = 0; i < kGroupDigits; ++i) {
            value = value * 10 + static_cast<unsigned long>(formatted[group * (kGroupDigits + 1) + i] - '0');
        }
        valid = value % 11 == 0 && value < kGroupLimit;
    }
    if (!valid) std::memset(formatted, 0, kRecoveryPasswordChars + 1);
    return valid;
}

std::string FindFirstGuid(const std::string& output)
{
    std::vector<std::string> first = GuidsIn(LooksLikeUtf16(output) ? NarrowUtf16(output) : output, 1);
    return first.empty() ? std::string() : first.front();
}

std::vector<std::string> FindAllGuids(const std::string& output)
{
    return GuidsIn(LooksLikeUtf16(output) ? NarrowUtf16(output) : output, static_cast<size_t>(-1));
}

bool IsKeyFileOf(const std::string& fileName, const std::string& keyId)
{
    constexpr size_t kExtension = 4;  // ".BEK"
    if (keyId.size() != kGuidChars || !IsGuidAt(keyId, 0) || fileName.size() <= kExtension) return false;
    const size_t stem = fileName.size() - kExtension;
    if (!SameIgnoringCase(fileName.substr(stem), ".BEK")) return false;
    const std::string bare = keyId.substr(1, kGuidChars - 2);
    return SameIgnoringCase(fileName.substr(0, stem), bare) || SameIgnoringCase(fileName.substr(0, stem), keyId);
}

std::optional<size_t> ChooseKeyFile(const std::vector<std::string>& fileNames, const std::vector<std::string>& keyIds)
{
    for (size_t i = 0; i < fileNames.size(); ++i) {
        for (const std::string& keyId : keyIds) {
            if (IsKeyFileOf(fileNames[i], keyId)) return i;
        }
    }
    return std::nullopt;
}
