#include "password/password_hash.h"

#include <cstdio>

uint32_t PasswordHash(std::string_view password)
{
    if (password.empty()) return 0;
    uint32_t h = 0x5D2E4A80u;
    for (unsigned char c : password) {
        h = (h << 4) + c;
        uint32_t top = h & 0xF0000000u;
        if (top != 0) h |= top >> 24;
    }
    return h;
}

namespace {

const char kQuote = '"';

// Lines 1 to 7 around the two that differ between the forms.
std::string FileFrame(const std::string& line3, const std::string& line6)
{
    return "; Note: for set password, please add noncomment contents of this file\r\n"
           "; in Tarn Desk plyg-in ini file and recompile yours Corvin`s PE\r\n" +
           line3 + "\r\n"
           "\r\n"
           "[Software.AddReg]\r\n" +
           line6 + "\r\n"
           "\r\n";
}

std::string RegistryLine(const char* type, const char* value)
{
    return std::string(type) + ", " + kQuote + "Quillon\\TarnDesk\\1.5" + kQuote + "," + kQuote + value + kQuote + ", ";
}

std::string HexBytes(const TPassKeyBytes& bytes, const char* separator)
{
    std::string text;
    char digits[3];
    for (uint8_t b : bytes) {
        if (!text.empty()) text += separator;
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}

}  // namespace

std::string PasswordFileText(const std::string& password, uint32_t hash)
{
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(hash));
    return FileFrame("; current password: " + std::string(1, kQuote) + password + kQuote,
                     RegistryLine("0x4", "PassHash") + "0x" + digits);
}

std::string PassKeyFileText(const TPassKey& key)
{
    const TPassKeyBytes bytes = PassKeyBytes(key);
    const std::string imageKey = "\"HKLM\\PE_SOFT\\Quillon\\TarnDesk\\1.5\"";
    return FileFrame("; the password itself is not stored here", RegistryLine("0x3", "PassKey") + HexBytes(bytes, ",")) +
           "; reg add " + imageKey + " /v PassKey /t REG_BINARY /d " + HexBytes(bytes, "") + "\r\n" +
           "; reg delete " + imageKey + " /v PassHash /f\r\n";
}
