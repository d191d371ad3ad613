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

std::string PasswordFileText(const std::string& password, uint32_t hash)
{
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(hash));
    const std::string quote = "\"";
    return "; Note: for set password, please add noncomment contents of this file\r\n"
           "; in Tarn Desk plyg-in ini file and recompile yours Corvin`s PE\r\n"
           "; current password: " + quote + password + quote + "\r\n"
           "\r\n"
           "[Software.AddReg]\r\n"
           "0x4, " + quote + "Quillon\\TarnDesk\\1.5" + quote + "," + quote + "PassHash" + quote + ", 0x" + digits + "\r\n"
           "\r\n";
}
