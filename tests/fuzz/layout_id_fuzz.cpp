// Layout identifiers from arbitrary text: a value is read exactly when the text is hexadecimal
// digits whose value fits into 32 bits, and the value prints back as the text's digits.
#include "catalogues/layout_rules.h"

#include "common/text.h"

#include "fuzz_check.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string id = BytesAsText(data, size);
    const std::optional<uint32_t> value = ParseLayoutId(id);

    const bool allHex = !id.empty() && id.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    std::string digits = UpperAscii(id.substr(std::min(id.find_first_not_of('0'), id.size())));
    if (digits.empty()) digits = "0";
    Require(value.has_value() == (allHex && digits.size() <= 8), "read exactly when hexadecimal and within 32 bits");
    if (!value) return 0;

    char printed[16];
    std::snprintf(printed, sizeof printed, "%X", static_cast<unsigned>(*value));
    Require(digits == printed, "the value prints back as the text's significant digits");
    std::snprintf(printed, sizeof printed, "%08x", static_cast<unsigned>(*value));
    Require(ParseLayoutId(printed) == value, "the registry's eight-digit form reads back to the value");
    return 0;
}
