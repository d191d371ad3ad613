#include "catalogues/layout_rules.h"

namespace {

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<uint32_t> ParseLayoutId(const std::string& id)
{
    if (id.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : id) {
        int digit = HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

int FindLayoutIndex(const TLayoutList& list, const std::string& name)
{
    for (size_t i = 0; i < list.Count(); ++i) {
        if (list.At(static_cast<long long>(i)).Id == name) return static_cast<int>(i);
    }
    return -1;
}
