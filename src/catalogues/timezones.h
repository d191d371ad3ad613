// The time-zone list: the zones the running system knows.
#pragma once

#include "common/record_list.h"

#include <cstdint>
#include <string>

struct TZoneTime {  // SYSTEMTIME's eight fields, without the platform header
    uint16_t Year, Month, DayOfWeek, Day, Hour, Minute, Second, Milliseconds;
};

struct TTimeZoneInformationEx {
    std::string Display;
    int32_t Bias;
    std::string StandardName;
    TZoneTime StandardDate;
    int32_t StandardBias;
    std::string DaylightName;
    TZoneTime DaylightDate;
    int32_t DaylightBias;
};

using TTimeZoneList = RecordList<TTimeZoneInformationEx>;

void BuildTimeZoneList();
int FindCurrentTimeZone();  // an index into the list, or -1
void ApplyTimeZone(int index);
