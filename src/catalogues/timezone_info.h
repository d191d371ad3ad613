// The platform's form of a time-zone record, as the apply button hands it to the system.
#pragma once

#include "catalogues/timezones.h"

#include <windows.h>

// The names are converted to the platform's wide form and cut to what its 32-unit fields hold.
TIME_ZONE_INFORMATION ZoneInformation(const TTimeZoneInformationEx& zone);
