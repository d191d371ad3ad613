// Decisions about time zones that need no platform call.
#pragma once

#include "catalogues/timezones.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The size of the registry's REG_TZI_FORMAT: three biases, then the standard and daylight dates.
constexpr size_t kTziSize = 44;

// Fills the numeric fields of zone from a "Tzi" value (little-endian). The bytes are laid over a
// zeroed 44-byte block first: a shorter value fills what it reaches and leaves the rest zero,
// and a longer one is taken from its first 44 bytes. The names and Display stay as they are.
void MapTzi(const std::vector<uint8_t>& tzi, TTimeZoneInformationEx& zone);

// The platform keeps a zone's names in 32 UTF-16 units with the terminator, so a longer name
// would not convert at all and the zone could not be set. Cut to the first 31 units, never
// between the two halves of a surrogate pair.
constexpr size_t kZoneNameMax = 31;
std::wstring FitZoneName(const std::wstring& name);

// The last entry of every time-zone list: no offset, no daylight saving, named "Local time".
void AppendLocalTime(TTimeZoneList& list);

// The index of the first entry whose StandardName equals name byte for byte, or -1. Display and
// DaylightName play no part.
int FindZoneIndex(const TTimeZoneList& list, const std::string& standardName);
