// The command-line mode from arbitrary arguments (the input split at zero bytes): only the
// first argument decides, byte for byte.
#include "shellctl/command_line.h"

#include "fuzz_check.h"

#include <cctype>
#include <vector>

namespace {

bool Decide(std::vector<std::string> arguments, size_t count)
{
    std::vector<const char*> argv;
    for (size_t i = 0; i < count; ++i) argv.push_back(arguments[i].c_str());
    argv.push_back(nullptr);
    return IsSetPasswordMode(static_cast<int>(count), argv.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> arguments(1);
    for (size_t i = 0; i < size && arguments.size() <= 64; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += static_cast<char>(data[i]);
        }
    }
    const bool setpass = Decide(arguments, arguments.size());

    for (size_t count = 2; count < arguments.size(); ++count) {
        Require(Decide(arguments, count) == setpass, "arguments after the first are ignored");
    }
    std::vector<std::string> renamed = arguments;
    renamed[0] = "setpass";
    Require(Decide(renamed, renamed.size()) == setpass, "the program's own name plays no part");
    if (arguments.size() < 2) {
        Require(!setpass, "without an argument the program starts normally");
        return 0;
    }
    if (!setpass) return 0;
    std::string& first = arguments[1];
    Require(first == "setpass", "only the exact word selects set-password mode");
    for (char& c : first) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        Require(!Decide(arguments, arguments.size()), "letter case counts");
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    first += first.back();
    Require(!Decide(arguments, arguments.size()), "a longer first argument is another word");
    return 0;
}
