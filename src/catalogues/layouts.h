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

// Fills the list, which the caller has made empty.
void BuildLayoutList(TLayoutList& list);
int FindCurrentLayout(const TLayoutList& list);  // an index into the list, or -1
// Activates the entry's layout; an index outside the list (-1: nothing selected) does nothing.
void ApplyLayout(const TLayoutList& list, int index);
