// Credential masking over arbitrary command lines. The first byte picks a form that carries a
// secret, the next ones the secret; the rest, split at the first zero byte, is text before and
// after it. The secret starts and ends with bytes found nowhere else, so any trace of either end
// in the log line is a leak, and a mask that covers both ends covers what lies between.
#include "common/command_mask.h"

#include "fuzz_check.h"

#include <algorithm>

namespace {

constexpr char kMarker = '\x01';
constexpr char kEndMarker = '\x02';

const char* const kForms[] = {
    "/password:%",     "-p %",          "--pwd=%",           "PASS=%",
    "/Pwd %",          "\"/p:a %\"",    "net use Z: \\\\srv\\share %",
    "net.exe use \\\\srv\\x /user:dom\\u %",  "cmd /c NET1 use * \"\\\\s\\a b\" /savecred \"% x\"",
    "net use Z: \\\\s\\x /user:u:%",  "curl ftp://u:%@host/",
    "net user bob %",  "NET1.EXE user /add \"Jane Doe\" %",
    "cmd.exe /c \"net use Z: \\\\srv\\share % /user:CORP\\svc\"",  "CMD /S /C \"net user bob %",
    "cmd /k\"cmd /c \"plink -pw % host\"\"",
    "manage-bde -unlock D: -RecoveryPassword %",  "X:\\MANAGE-BDE.EXE -rp %",
    "\"C:\\t\\pscp.exe\" -pw % f h:",  "schtasks /create /ru u /rp %",  "SCHTASKS /s pc /u a /P %",
    "curl -u admin:% http://h/",  "curl.exe --user a:%",  "curl -Uproxy:%",
    "7z x -p% a.7z",  "\"C:\\7-Zip\\7za.exe\" a \"-p% x\" b.7z",  "rar a -hp% a.rar",  "UnRAR.exe x -p% a.rar",
};

// Blanks stay (they separate the parts from the form), quotes go: a quote left open before the
// form would glue it to the text before, which is no longer an argument of its own.
std::string Surrounding(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '"' || c == kMarker || c == kEndMarker; }),
               text.end());
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string whole = BytesAsText(data, size);
    // A switch needs "-", "/" or "=", a URL ":", net "use": without them nothing is masked.
    if (whole.find_first_of(":=-/uU") == std::string::npos) {
        Require(MaskCommandCredentials(whole) == whole, "a line without credentials stays as it is");
    }

    if (size < 2) return 0;
    const std::string form = kForms[data[0] % (sizeof kForms / sizeof kForms[0])];
    std::string secret(1, kMarker);
    const size_t length = 1 + data[1] % 12;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = i + 2 < size ? data[i + 2] : 'x';
        secret += static_cast<char>('a' + c % 26);
    }
    secret += kEndMarker;
    const std::string rest = whole.substr(std::min(size, length + 2));
    const size_t split = rest.find('\0');
    const std::string before = Surrounding(rest.substr(0, split));
    const std::string after = split == std::string::npos ? "" : Surrounding(rest.substr(split + 1));
    std::string carried = form;
    carried.replace(carried.find('%'), 1, secret);
    const std::string line = before + " " + carried + " " + after;
    const std::string masked = MaskCommandCredentials(line);
    Require(masked.find_first_of(std::string{kMarker, kEndMarker}) == std::string::npos,
            "no byte of the secret reaches the log");
    return 0;
}
