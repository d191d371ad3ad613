// Privileges of the process's token that calls of the platform ask for.
#pragma once

#include <windows.h>

// Enables the named privilege (an SE_*_NAME) in the process's token. Returns ERROR_SUCCESS, or
// why it could not: ERROR_NOT_ALL_ASSIGNED when the token lacks it.
DWORD EnableTokenPrivilege(const char* name);
