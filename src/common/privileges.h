// Privileges of the process's token that calls of the platform ask for.
#pragma once

#include <windows.h>

// Enables the named privilege (an SE_*_NAME) in the process's token. Returns ERROR_SUCCESS, or
// why it could not: ERROR_NOT_ALL_ASSIGNED when the token lacks it.
DWORD EnableTokenPrivilege(const char* name);

// Disables it again, for the calls whose pages ask that a privilege be held only around them
// (SetDynamicTimeZoneInformation). Returns as EnableTokenPrivilege does.
DWORD DisableTokenPrivilege(const char* name);
