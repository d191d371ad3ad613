#include "common/privileges.h"

#include "common/guards.h"

ScopedPrivilege::ScopedPrivilege(const char* name)
{
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put())) {
        result_ = GetLastError();
        token_.reset();
        return;
    }
    // previous_ lists only the privileges whose state the call changed: none when it was
    // enabled before, so the destructor's call then changes nothing either.
    DWORD size = sizeof previous_;
    SetLastError(ERROR_SUCCESS);
    if (!AdjustTokenPrivileges(token_.get(), FALSE, &privileges, sizeof previous_, &previous_, &size)) previous_.PrivilegeCount = 0;
    result_ = GetLastError();
}

ScopedPrivilege::~ScopedPrivilege()
{
    if (token_ && previous_.PrivilegeCount != 0) AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
}
