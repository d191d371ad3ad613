// The display-mode list: the modes the display driver offers.
#pragma once

#include "common/record_list.h"

#include <cstdint>
#include <string>

struct TScrResInfo {
    int32_t Width;
    int32_t Height;
    uint8_t BitsPerPixel;
    int32_t Frequency;  // 0: the driver's default
    std::string Text;   // "%d x %d x %dbpp x %dHz"
};

using TDisplayModeList = RecordList<TScrResInfo>;

// Fills the list, which the caller has made empty.
void BuildDisplayModeList(TDisplayModeList& list);
int FindCurrentDisplayMode(const TDisplayModeList& list);  // an index into the list, or -1
// Applies the entry's mode; an index outside the list (-1: nothing selected) does nothing.
void ApplyDisplayModeAt(const TDisplayModeList& list, int index);
// Tests the mode with the driver first, then applies and stores it as the display setting. A
// mode the driver refuses changes nothing and shows an ownerless warning box.
void ApplyDisplayMode(int32_t width, int32_t height, uint8_t bitsPerPixel, int32_t frequency);
