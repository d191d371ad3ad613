// The layout list: the keyboard layouts installed on the running system.
#pragma once

#include "common/record_list.h"

#include <string>

struct TLayoutInfo {
    std::string Id;        // the layout's registry subkey name, eight hexadecimal digits
    std::string Text;      // its "Layout Text"
    std::string Reserved;
    std::string FileName;  // its "Layout File"
};

using TLayoutList = RecordList<TLayoutInfo>;

void BuildLayoutList();
int FindCurrentLayout();  // an index into the list, or -1
void ApplyLayout(int index);
