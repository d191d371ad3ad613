#include "envdialog/share_rules.h"

#include <cctype>
#include <sstream>

namespace {

// Characters no server, share or account name holds.
bool HasForbidden(const std::string& text, const char* forbidden)
{
    for (unsigned char c : text) {
        if (c < 0x20) return true;
    }
    return text.find_first_of(forbidden) != std::string::npos;
}

bool IsNamePart(const std::string& part) { return !part.empty() && !HasForbidden(part, "\\/:*?\"<>|"); }

bool IsSharePath(const std::string& path)
{
    if (path.size() < 5 || path.compare(0, 2, "\\\\") != 0) return false;
    std::string rest = path.substr(2);
    if (!rest.empty() && rest.back() == '\\') rest.pop_back();
    size_t start = 0;
    int parts = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos) end = rest.size();
        if (!IsNamePart(rest.substr(start, end - start))) return false;
        ++parts;
        start = end + 1;
    }
    return parts >= 2;
}

bool IsUserName(const std::string& user)
{
    if (user.empty()) return true;
    const size_t slash = user.find('\\');
    if (slash != std::string::npos) {
        const std::string domain = user.substr(0, slash);
        const std::string name = user.substr(slash + 1);
        return (domain == "." || IsNamePart(domain)) && IsNamePart(name) && name.find('@') == std::string::npos;
    }
    const size_t at = user.find('@');
    if (at != std::string::npos) {
        return IsNamePart(user.substr(0, at)) && IsNamePart(user.substr(at + 1)) &&
               user.find('@', at + 1) == std::string::npos;
    }
    return IsNamePart(user);
}

bool ParseLetter(const std::string& text, char& letter)
{
    if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':')) return false;
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (c < 'A' || c > 'Z') return false;
    letter = c;
    return true;
}

}  // namespace

ShareProblem CheckShareInput(const std::string& path, const std::string& user, const std::string& letter)
{
    char drive = 0;
    if (!IsSharePath(path)) return ShareProblem::BadPath;
    if (!IsUserName(user)) return ShareProblem::BadUser;
    if (!ParseLetter(letter, drive)) return ShareProblem::BadLetter;
    return ShareProblem::None;
}

char ProposedDriveLetter(uint32_t usedDrives)
{
    for (char letter = 'Z'; letter >= 'D'; --letter) {
        if (!(usedDrives & (1u << (letter - 'A')))) return letter;
    }
    return 0;
}

ShareFailure ClassifyShareError(unsigned long code)
{
    switch (code) {
    case 53:    // ERROR_BAD_NETPATH
    case 67:    // ERROR_BAD_NET_NAME
    case 1203:  // ERROR_NO_NET_OR_BAD_PATH
    case 2250:  // ERROR_NOT_CONNECTED (a provider's answer to a path it cannot reach)
        return ShareFailure::NotFound;
    case 5:     // ERROR_ACCESS_DENIED
    case 86:    // ERROR_INVALID_PASSWORD
    case 1326:  // ERROR_LOGON_FAILURE
    case 1327:  // ERROR_ACCOUNT_RESTRICTION
    case 1330:  // ERROR_PASSWORD_EXPIRED
    case 1331:  // ERROR_ACCOUNT_DISABLED
    case 1909:  // ERROR_ACCOUNT_LOCKED_OUT
    case 2202:  // ERROR_BAD_USERNAME
        return ShareFailure::Credentials;
    case 1219:  // ERROR_SESSION_CREDENTIAL_CONFLICT
        return ShareFailure::Conflict;
    // An unsigned server: STATUS_INVALID_SIGNATURE as the redirector returns it, and the code net
    // use shows for it ("System error 2148073478", NTE_BAD_SIGNATURE).
    case 0xC000A000ul:
    case 0x80090006ul:
        return ShareFailure::SigningRequired;
    case 1272:          // ERROR_SMB_GUEST_LOGON_BLOCKED
    case 0xC05D0002ul:  // STATUS_SMB_GUEST_LOGON_BLOCKED
        return ShareFailure::GuestBlocked;
    case 1222:  // ERROR_NO_NETWORK
        return ShareFailure::NoNetwork;
    case 85:    // ERROR_ALREADY_ASSIGNED
    case 1200:  // ERROR_BAD_DEVICE
        return ShareFailure::LetterInUse;
    }
    return ShareFailure::Other;
}

std::string DrivePresetForLog(const std::string& value)
{
    std::istringstream words(value);
    std::string shown, word;
    for (int count = 0; words >> word; ++count) {
        if (count == 2) return shown + " ...";
        shown += (count ? " " : "") + word;
    }
    return shown;
}

bool ParseDrivePreset(const std::string& value, DrivePreset& preset)
{
    std::istringstream words(value);
    std::string letter, path, user, extra;
    if (!(words >> letter >> path)) return false;
    words >> user;
    if (words >> extra) return false;  // a fourth word may be a password: refuse the line
    DrivePreset parsed;
    if (!ParseLetter(letter, parsed.Letter) || letter.size() != 2) return false;
    if (CheckShareInput(path, user, letter) != ShareProblem::None) return false;
    parsed.Path = path;
    parsed.User = user;
    preset = parsed;
    return true;
}
