// The Tzi mapping and the zone-name cut from arbitrary bytes: the mapping fills every numeric
// field from the zero-padded first 44 bytes and nothing else, and the cut never splits a pair.
#include "catalogues/timezone_rules.h"

#include "fuzz_check.h"

#include <array>
#include <memory>

namespace {

using TziBlock = std::array<uint8_t, kTziSize>;

void PutWord(TziBlock& block, size_t& at, uint32_t value, size_t bytes = 2)
{
    for (size_t i = 0; i < bytes; ++i) block[at++] = static_cast<uint8_t>(value >> (8 * i));
}

void PutZoneTime(TziBlock& block, size_t& at, const TZoneTime& time)
{
    for (uint16_t part : {time.Year, time.Month, time.DayOfWeek, time.Day, time.Hour, time.Minute, time.Second,
                          time.Milliseconds}) {
        PutWord(block, at, part);
    }
}

// The record's numbers written back in the registry's layout.
TziBlock AsTzi(const TTimeZoneInformationEx& zone)
{
    TziBlock block{};
    size_t at = 0;
    for (int32_t bias : {zone.Bias, zone.StandardBias, zone.DaylightBias}) PutWord(block, at, static_cast<uint32_t>(bias), 4);
    PutZoneTime(block, at, zone.StandardDate);
    PutZoneTime(block, at, zone.DaylightDate);
    return block;
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void CheckFitZoneName(const std::vector<uint8_t>& bytes)
{
    std::wstring name;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) name += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    const std::wstring fitted = FitZoneName(name);
    Require(fitted.size() <= kZoneNameMax && name.compare(0, fitted.size(), fitted) == 0,
            "a zone name is cut to a prefix of at most 31 units");
    if (name.size() <= kZoneNameMax) {
        Require(fitted == name, "a name that fits is kept");
    } else {
        Require(fitted.size() >= kZoneNameMax - 1, "at most one unit more is dropped");
        Require(!(IsHighSurrogate(fitted.back()) && IsLowSurrogate(name[fitted.size()])),
                "a surrogate pair is never split");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> tzi(data, data + size);

    // On the heap, so that a write past the record lands in AddressSanitizer's red zone; the
    // numbers start as garbage, so that a field the mapping forgets shows.
    auto zone = std::make_unique<TTimeZoneInformationEx>();
    zone->Display = "display";
    zone->StandardName = "standard";
    zone->DaylightName = "daylight";
    zone->Bias = zone->StandardBias = zone->DaylightBias = 0x5A5A5A5A;
    zone->StandardDate = zone->DaylightDate = TZoneTime{0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5};
    MapTzi(tzi, *zone);

    TziBlock expected{};
    for (size_t i = 0; i < std::min(size, kTziSize); ++i) expected[i] = data[i];
    Require(AsTzi(*zone) == expected, "the numbers are the zero-padded first 44 bytes, little-endian");
    Require(zone->Display == "display" && zone->StandardName == "standard" && zone->DaylightName == "daylight",
            "the names stay as they are");

    CheckFitZoneName(tzi);
    return 0;
}
