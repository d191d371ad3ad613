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

void BuildDisplayModeList();
int FindCurrentDisplayMode();  // an index into the list, or -1
void ApplyDisplayModeAt(int index);
