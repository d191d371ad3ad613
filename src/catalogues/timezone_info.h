// The platform's form of a time-zone record, as the apply button hands it to the system.
#pragma once

#include "catalogues/timezones.h"

#include <windows.h>

// The names are converted to the platform's wide form and cut to what its 32-unit fields hold.
TIME_ZONE_INFORMATION ZoneInformation(const TTimeZoneInformationEx& zone);

// The same with the zone's key name, so that the system follows the zone's dynamic daylight
// saving rules; a zone without a key (the "Local time" entry) has them turned off.
DYNAMIC_TIME_ZONE_INFORMATION DynamicZoneInformation(const TTimeZoneInformationEx& zone);
