// The time-zone list: the zones the running system knows.
#pragma once

#include "common/record_list.h"

#include <cstdint>
#include <string>

struct TZoneTime {  // SYSTEMTIME's eight fields, without the platform header
    uint16_t Year = 0, Month = 0, DayOfWeek = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Milliseconds = 0;
};

struct TTimeZoneInformationEx {
    std::string Display;
    int32_t Bias = 0;
    std::string StandardName;
    TZoneTime StandardDate;
    int32_t StandardBias = 0;
    std::string DaylightName;
    TZoneTime DaylightDate;
    int32_t DaylightBias = 0;
    std::string KeyName;  // the zone's key under Time Zones, which names its dynamic daylight rules
};

using TTimeZoneList = RecordList<TTimeZoneInformationEx>;

// Fills the list, which the caller has made empty.
void BuildTimeZoneList(TTimeZoneList& list);
int FindCurrentTimeZone(const TTimeZoneList& list);  // an index into the list, or -1
// Sets the entry's zone; an index outside the list (-1: nothing selected) does nothing.
void ApplyTimeZone(const TTimeZoneList& list, int index);
