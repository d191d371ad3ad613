// The display-mode filter, text and lookup from arbitrary driver modes: the list holds either
// the offered driver modes in order or the whole fallback table, every text reads back as its
// record's numbers, and the lookup finds the first equal entry.
#include "catalogues/display_mode_rules.h"

#include "fuzz_check.h"

#include <cstdio>

namespace {

bool SameMode(const TScrResInfo& a, const TScrResInfo& b)
{
    return a.Width == b.Width && a.Height == b.Height && a.BitsPerPixel == b.BitsPerPixel && a.Frequency == b.Frequency;
}

void CheckEntry(const TDisplayModeList& list, size_t index)
{
    const TScrResInfo& mode = list.At(static_cast<long long>(index));
    int width = 0, height = 0, depth = 0, frequency = 0, end = 0;
    std::sscanf(mode.Text.c_str(), "%d x %d x %dbpp x %dHz%n", &width, &height, &depth, &frequency, &end);
    Require(end == static_cast<int>(mode.Text.size()) && width == mode.Width && height == mode.Height &&
                depth == mode.BitsPerPixel && frequency == mode.Frequency,
            "the text reads back as the record's numbers");
    if (mode.BitsPerPixel == 0) return;  // a device without a depth is taken as 800 x 600 x 16
    int found = FindDisplayModeIndex(list, {mode.Width, mode.Height, mode.BitsPerPixel, mode.Frequency});
    Require(found >= 0 && static_cast<size_t>(found) <= index && SameMode(list.At(found), mode),
            "every entry is found, as itself or as an equal earlier one");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TCurrentMode current{};
    current.Width = static_cast<int32_t>(TakeUnsigned(data, size));
    current.Height = static_cast<int32_t>(TakeUnsigned(data, size));
    current.BitsPerPixel = static_cast<int32_t>(TakeUnsigned(data, size));
    current.Refresh = static_cast<int32_t>(TakeUnsigned(data, size));
    std::vector<TDriverMode> driver;
    while (size > 0) {
        TDriverMode mode{};
        mode.PelsWidth = TakeUnsigned(data, size);
        mode.PelsHeight = TakeUnsigned(data, size);
        mode.BitsPerPel = TakeUnsigned(data, size);
        mode.DisplayFrequency = TakeUnsigned(data, size);
        driver.push_back(mode);
    }

    TDisplayModeList list;
    FillDisplayModeList(list, driver);
    size_t offered = 0;
    for (const TDriverMode& mode : driver) {
        if (!IsOfferedDriverMode(mode)) continue;
        const TScrResInfo& entry = list.At(static_cast<long long>(offered++));
        Require(static_cast<uint32_t>(entry.Width) == mode.PelsWidth && static_cast<uint32_t>(entry.Height) == mode.PelsHeight &&
                    entry.BitsPerPixel == (mode.BitsPerPel & 0xFF) &&
                    static_cast<uint32_t>(entry.Frequency) == mode.DisplayFrequency,
                "offered driver modes are listed in driver order");
    }
    Require(list.Count() == (offered ? offered : 16u), "the driver's modes or the fallback table, never both");
    for (size_t i = 0; i < list.Count(); ++i) CheckEntry(list, i);

    const int inForce = FindDisplayModeIndex(list, current);
    Require(inForce >= -1 && inForce < static_cast<int>(list.Count()), "the mode in force is an index or -1");

    const TScrResInfo& first = list.At(0);
    const uint32_t known = kFieldPelsWidth | kFieldPelsHeight | kFieldBitsPerPel | kFieldDisplayFrequency;
    Require((DisplayModeFields(first.Width, first.Height, first.BitsPerPixel, current.Refresh) & ~known) == 0,
            "only the four mode fields are ever set");
    return 0;
}
