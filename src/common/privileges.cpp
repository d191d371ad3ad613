#include "common/privileges.h"

#include "common/guards.h"

namespace {

DWORD AdjustTokenPrivilege(const char* name, DWORD attributes)
{
    UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, GetCurrentProcessId()));
    if (!process) return GetLastError();
    UniqueHandle token;
    if (!OpenProcessToken(process.get(), TOKEN_ADJUST_PRIVILEGES, token.put())) return GetLastError();
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = attributes;
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) return GetLastError();
    // AdjustTokenPrivileges succeeds even when the token lacks the privilege; only the last
    // error (ERROR_NOT_ALL_ASSIGNED) tells.
    DWORD returnLength = 0;
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, &returnLength);
    return GetLastError();
}

}  // namespace

DWORD EnableTokenPrivilege(const char* name) { return AdjustTokenPrivilege(name, SE_PRIVILEGE_ENABLED); }

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
