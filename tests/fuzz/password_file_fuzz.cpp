// The password file's text for any password and hash: the fixed lines around the password
// never change, and the hash is always eight upper-case hexadecimal digits.
#include "password/password_hash.h"

#include "fuzz_check.h"

#include <cstring>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
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
