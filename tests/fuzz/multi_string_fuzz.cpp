// The splitting of a REG_MULTI_SZ device property from arbitrary bytes: the strings are pieces of
// the input, none empty or holding a zero, and joined with their terminators they are its start.
#include "catalogues/device_rules.h"

#include "fuzz_check.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = BytesAsText(data, size);
    std::string joined;
    for (const std::string& piece : SplitMultiString(bytes)) {
        Require(!piece.empty(), "no empty string before the end of the list");
        Require(piece.find('\0') == std::string::npos, "a string holds no zero");
        joined += piece + '\0';
    }
    const std::string start = bytes.substr(0, std::min(joined.size(), bytes.size()));
    Require(joined.compare(0, start.size(), start) == 0, "the strings are the input's start, in order");
    return 0;
}
