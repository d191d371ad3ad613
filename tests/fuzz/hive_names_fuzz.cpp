// The hive-name rule from arbitrary names: what counts is an upper-case piece of the list, and
// every piece of a piece counts as well.
#include "envdialog/hive_names.h"

#include "common/text.h"

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name = BytesAsText(data, size);
    if (!IsHiveName(name)) {
        Require(name.empty() || !IsHiveName(name + name), "a longer name made of a refused one is refused too");
        return 0;
    }
    Require(size >= 1 && size <= 36, "a hive name is no longer than the list");
    Require(UpperAscii(name) == name, "hive names are upper case");
    for (size_t start = 0; start < size; ++start) {
        for (size_t length = 1; start + length <= size; ++length) {
            Require(IsHiveName(name.substr(start, length)), "every piece of a hive name counts");
        }
    }
    return 0;
}
