// Decisions about keyboard layouts that need no platform call.
#pragma once

#include "catalogues/layouts.h"

#include <cstdint>
#include <optional>
#include <string>

// The layout identifier read as a hexadecimal number: digits in either case, leading zeros
// ignored, any value up to FFFFFFFF (so a first digit of 8 to F is an unsigned pattern, not an
// overflow). Nothing when the identifier is empty, holds anything but hexadecimal digits or
// does not fit into 32 bits: the registry names layouts by convention only.
std::optional<uint32_t> ParseLayoutId(const std::string& id);

// The index of the first entry whose Id equals name byte for byte, or -1. The platform's
// hexadecimal letters may differ in case from the subkey name; such an entry is no match.
int FindLayoutIndex(const TLayoutList& list, const std::string& name);
