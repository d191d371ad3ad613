// The password file's text for any password and hash: the fixed lines around the password
// never change, and the hash is always eight upper-case hexadecimal digits. The same input as a
// stored PassKey value: trusted exactly when the rule says, and as a key of whatever bytes, the
// nine-line file whose two registry lines carry those bytes.
#include "password/password_hash.h"

#include "fuzz_check.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace {

std::string HashDigits(const std::string& text)
{
    const size_t end = text.size() - 4;  // the hash line's CR LF and the empty last line
    return end >= 8 ? text.substr(end - 8, 8) : std::string();
}

bool IsUpperHex(const std::string& digits)
{
    for (char c : digits) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

// The file's lines, each ended by CR LF; false when anything else ends one or the text does not
// end with a line end.
bool SplitCrLfLines(const std::string& text, std::vector<std::string>& lines)
{
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start != text.size()) return false;
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n") != std::string::npos) return false;
    }
    return true;
}

// Two lower-case hexadecimal digits per byte, each pair followed by the separator but the last.
bool ReadHexBytes(const std::string& text, const char* separator, std::vector<uint8_t>& bytes)
{
    const size_t step = 2 + std::strlen(separator);
    if ((text.size() + std::strlen(separator)) % step != 0) return false;
    for (size_t at = 0; at < text.size(); at += step) {
        const std::string pair = text.substr(at, 2);
        if (pair.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
        if (at + 2 < text.size() && text.compare(at + 2, std::strlen(separator), separator) != 0) return false;
        bytes.push_back(static_cast<uint8_t>(std::strtoul(pair.c_str(), nullptr, 16)));
    }
    return true;
}

void CheckStoredPassKey(const uint8_t* data, size_t size)
{
    const std::optional<TPassKey> parsed = ParsePassKey(data, size);
    uint32_t iterations = 0;
    for (size_t i = 0; i < 4 && 1 + i < size; ++i) iterations |= static_cast<uint32_t>(data[1 + i]) << (8 * i);
    const bool trusted = size == kPassKeySize && data[0] == 1 && iterations >= 1 && iterations <= 10000000;
    Require(parsed.has_value() == trusted, "a PassKey is trusted exactly when size, format and count are right");
    if (parsed) {
        const TPassKeyBytes bytes = PassKeyBytes(*parsed);
        Require(std::equal(bytes.begin(), bytes.end(), data), "a trusted PassKey gives back its bytes");
    }
}

void CheckPassKeyFile(const uint8_t* data, size_t size)
{
    TPassKey key;
    key.Iterations = TakeUnsigned(data, size);
    for (uint8_t& b : key.Salt) b = static_cast<uint8_t>(TakeUnsigned(data, size, 1));
    for (uint8_t& b : key.Digest) b = static_cast<uint8_t>(TakeUnsigned(data, size, 1));
    const TPassKeyBytes bytes = PassKeyBytes(key);

    std::vector<std::string> lines, legacy;
    Require(SplitCrLfLines(PassKeyFileText(key), lines) && lines.size() == 9, "nine lines, each ended by CR LF");
    SplitCrLfLines(PasswordFileText("", 0), legacy);
    for (int same : {0, 1, 3, 4, 6}) Require(lines[same] == legacy[same], "lines 1, 2, 4, 5 and 7 are the legacy ones");
    Require(lines[2] == "; the password itself is not stored here", "line 3 holds no password");

    const std::string line6 = "0x3, \"Quillon\\TarnDesk\\1.5\",\"PassKey\", ";
    const std::string line8 = "; reg add \"HKLM\\PE_SOFT\\Quillon\\TarnDesk\\1.5\" /v PassKey /t REG_BINARY /d ";
    std::vector<uint8_t> listed, joined;
    Require(lines[5].compare(0, line6.size(), line6) == 0 && ReadHexBytes(lines[5].substr(line6.size()), ",", listed),
            "line 6 is the REG_BINARY line, lower-case pairs joined by commas");
    Require(lines[7].compare(0, line8.size(), line8) == 0 && ReadHexBytes(lines[7].substr(line8.size()), "", joined),
            "line 8 is the reg add command, lower-case digits without blanks");
    Require(std::equal(bytes.begin(), bytes.end(), listed.begin(), listed.end()) &&
                std::equal(bytes.begin(), bytes.end(), joined.begin(), joined.end()),
            "both lines carry the key's 53 bytes");
    Require(lines[8] == "; reg delete \"HKLM\\PE_SOFT\\Quillon\\TarnDesk\\1.5\" /v PassHash /f",
            "line 9 deletes the legacy hash");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckStoredPassKey(data, size);
    CheckPassKeyFile(data, size);

    const uint32_t hash = TakeUnsigned(data, size);
    const std::string password = BytesAsText(data, size);

    Require(PasswordHash(password) == PasswordHash(std::string(password)), "the hash is deterministic");
    Require(!password.empty() || PasswordHash(password) == 0, "the empty text hashes to 0");

    const std::string text = PasswordFileText(password, hash);
    const std::string bare = PasswordFileText("", 0);
    const size_t passwordAt = bare.find("\"\"") + 1;
    Require(text.size() == bare.size() + password.size(), "only the password adds to the text");
    Require(text.compare(0, passwordAt, bare, 0, passwordAt) == 0, "the lines before the password are fixed");
    Require(text.compare(passwordAt, password.size(), password) == 0, "the password is written as given");
    Require(text.compare(passwordAt + password.size(), bare.size() - passwordAt - 12, bare, passwordAt,
                         bare.size() - passwordAt - 12) == 0,
            "the lines after the password are fixed up to the hash digits");

    const std::string digits = HashDigits(text);
    Require(digits.size() == 8 && IsUpperHex(digits), "the hash is eight upper-case hexadecimal digits");
    Require(std::strtoul(digits.c_str(), nullptr, 16) == hash, "the digits are the hash");
    Require(text.compare(text.size() - 4, 4, "\r\n\r\n") == 0, "the file ends with the empty seventh line");

    // A password as the dialog delivers it holds no line end and no zero byte: then the file is
    // exactly seven lines.
    if (password.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) {
        std::vector<std::string> lines;
        Require(SplitCrLfLines(text, lines) && lines.size() == 7, "seven lines, each ended by CR LF");
        Require(lines[2] == "; current password: \"" + password + "\"", "line 3 repeats the password");
    }
    return 0;
}
