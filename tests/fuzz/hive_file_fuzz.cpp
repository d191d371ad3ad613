// The hive file reader over arbitrary bytes: every lookup ends, within the bytes, and a value
// holds no more than the reader's limit; the limits keep a hostile file from making it a long one.
#include "catalogues/hive_file_rules.h"

#include "fuzz_check.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const HiveSource source{size, [&](uint64_t offset, uint32_t count, char* into) {
                                Require(count > 0, "no empty reads are asked for");
                                if (offset > size || size - offset < count) return false;
                                std::memcpy(into, data + offset, count);
                                return true;
                            }};
    std::string problem;
    const std::optional<HiveBaseBlock> base = ReadHiveBaseBlock(source, problem);
    Require(base.has_value() == problem.empty(), "a refused hive says why");
    if (!base) return 0;
    const std::pair<const char*, std::vector<std::string>> lookups[] = {
        {"Microsoft\\Windows NT\\CurrentVersion", {"ProductName", "CurrentBuild", "DisplayVersion"}},
        {"Select", {"Current"}},
        {"", {""}},
    };
    for (const auto& [path, names] : lookups) {
        const HiveKeyValues read = ReadHiveKeyValues(source, *base, path, names);
        Require((read.Result == HiveKeyResult::Unreadable) != read.Problem.empty(), "only an unreadable hive has a problem");
        Require(read.Result == HiveKeyResult::Read || read.Values.empty(), "values only from a key that was read");
        for (const auto& [name, value] : read.Values) {
            Require(value.Data.size() <= (16u << 20), "no value is larger than the reader's limit");
            if (std::optional<std::u16string> text = HiveValueText(value)) {
                Require(text->size() * 2 <= value.Data.size(), "a text lies within its value");
                AsciiText(*text);
            }
            HiveValueNumber(value);
        }
    }
    return 0;
}
