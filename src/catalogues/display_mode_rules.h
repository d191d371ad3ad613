// The display-mode decisions that need no platform call: which driver modes are offered, how a
// mode reads, the table used when the driver offers none, and which entry is the mode in force.
#pragma once

#include "catalogues/display_modes.h"

#include <cstdint>
#include <vector>

// One mode as EnumDisplaySettingsA reports it; the fields keep the driver's unsigned width.
struct TDriverMode {
    uint32_t PelsWidth;
    uint32_t PelsHeight;
    uint32_t BitsPerPel;
    uint32_t DisplayFrequency;
};

// DEVMODE field flags, spelled out so this file stays free of the platform header.
constexpr uint32_t kFieldBitsPerPel = 0x40000;
constexpr uint32_t kFieldPelsWidth = 0x80000;
constexpr uint32_t kFieldPelsHeight = 0x100000;
constexpr uint32_t kFieldDisplayFrequency = 0x400000;

// A mode is offered when it is at least 640 x 480 and reports a real refresh rate (8 Hz or
// more). The depth is deliberately not tested.
bool IsOfferedDriverMode(const TDriverMode& mode);

// "%d x %d x %dbpp x %dHz" of the record's numbers.
std::string DisplayModeText(const TScrResInfo& mode);

// Appends the offered driver modes in driver order, duplicates kept; when none is offered,
// appends the sixteen modes of the fallback table instead. The two are never mixed.
void FillDisplayModeList(TDisplayModeList& list, const std::vector<TDriverMode>& driverModes);

// The mode in force as the display's device context reports it.
struct TCurrentMode {
    int32_t Width;
    int32_t Height;
    int32_t BitsPerPixel;
    int32_t Refresh;
};

// The first entry that equals the mode in force, or -1. A refresh rate of 1 (the hardware's
// default) counts as 0, and a device that reports no size or depth is taken as 800 x 600 x 16.
int FindDisplayModeIndex(const TDisplayModeList& list, TCurrentMode current);

// dmFields for a mode to apply: a part that is zero (or a size that is not positive) is left to
// the driver.
uint32_t DisplayModeFields(int32_t width, int32_t height, uint8_t bitsPerPixel, int32_t frequency);
