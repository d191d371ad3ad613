// Privileges of the process's token that calls of the platform ask for.
#pragma once

#include "common/guards.h"

#include <windows.h>

// Enables the named privilege for as long as it lives, then puts the token back as it found it:
// a privilege that was disabled is disabled again, one that was enabled already stays so. For
// calls that need a privilege nothing else of the program should run with, and whose pages ask
// that it be held only around them (SetDynamicTimeZoneInformation).
class ScopedPrivilege {
public:
    explicit ScopedPrivilege(const char* name);
    ~ScopedPrivilege();
    ScopedPrivilege(const ScopedPrivilege&) = delete;
    ScopedPrivilege& operator=(const ScopedPrivilege&) = delete;

    // ERROR_SUCCESS, or why the privilege is not enabled (ERROR_NOT_ALL_ASSIGNED: not held).
    DWORD Result() const { return result_; }

private:
    UniqueHandle token_;
    TOKEN_PRIVILEGES previous_{};
    DWORD result_ = ERROR_SUCCESS;
};
