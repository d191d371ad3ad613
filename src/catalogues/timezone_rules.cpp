#include "catalogues/timezone_rules.h"

#include <algorithm>
#include <array>

namespace {

using TziBlock = std::array<uint8_t, kTziSize>;

uint16_t ReadWord(const TziBlock& block, size_t at)
{
    return static_cast<uint16_t>(block[at] | (block[at + 1] << 8));
}

int32_t ReadLong(const TziBlock& block, size_t at)
{
    uint32_t value = static_cast<uint32_t>(ReadWord(block, at)) | (static_cast<uint32_t>(ReadWord(block, at + 2)) << 16);
    return static_cast<int32_t>(value);
}

TZoneTime ReadZoneTime(const TziBlock& block, size_t at)
{
    return TZoneTime{ReadWord(block, at),      ReadWord(block, at + 2),  ReadWord(block, at + 4),
                     ReadWord(block, at + 6),  ReadWord(block, at + 8),  ReadWord(block, at + 10),
                     ReadWord(block, at + 12), ReadWord(block, at + 14)};
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

void MapTzi(const std::vector<uint8_t>& tzi, TTimeZoneInformationEx& zone)
{
    TziBlock block{};
    std::copy_n(tzi.begin(), std::min(tzi.size(), kTziSize), block.begin());
    zone.Bias = ReadLong(block, 0);
    zone.StandardBias = ReadLong(block, 4);
    zone.DaylightBias = ReadLong(block, 8);
    zone.StandardDate = ReadZoneTime(block, 12);
    zone.DaylightDate = ReadZoneTime(block, 28);
}

std::wstring FitZoneName(const std::wstring& name)
{
    if (name.size() <= kZoneNameMax) return name;
    size_t length = kZoneNameMax;
    if (IsHighSurrogate(name[length - 1])) --length;
    return name.substr(0, length);
}

void AppendLocalTime(TTimeZoneList& list)
{
    TTimeZoneInformationEx& local = list.Add();
    local.Display = "Local time";
    local.StandardName = "Local time";
    local.DaylightName = "Local time";
}

int FindZoneIndex(const TTimeZoneList& list, const std::string& standardName)
{
    for (size_t i = 0; i < list.Count(); ++i) {
        if (list.At(static_cast<long long>(i)).StandardName == standardName) return static_cast<int>(i);
    }
    return -1;
}
