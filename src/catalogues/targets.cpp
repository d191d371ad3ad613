#include "catalogues/targets.h"

#include "common/files.h"
#include "common/guards.h"
#include "common/registry.h"
#include "common/resource_ids.h"
#include "langmodule/langmodule.h"
#include "shellctl/message_pump.h"
#include "shellctl/shared_state.h"

#include <windows.h>

namespace {

const char kHiveName[] = "TARN_ERD";

// The operator holds the left Shift key to skip a slow or hanging disk; the state is read
// afresh before each drive so that pressing it mid-scan stops at the next one. The physical
// state: the thread's own key state changes only as it takes keyboard messages.
bool IsLeftShiftDown() { return (GetAsyncKeyState(VK_LSHIFT) & 0x8000) != 0; }

void ShowScanningDrive(char lowerLetter)
{
    std::string text = LoadLangString(IDS_SCANNING_DRIVE) + lowerLetter + ":\\";
    SetDlgItemTextA(Shared().ScanDialogWindow, IDC_SCAN_STATUS, text.c_str());
}

// Wine leaves an empty key behind when a load fails (Windows leaves nothing), and that key
// makes every later load under the same name fail with ERROR_ALREADY_EXISTS. The name was free
// before the load, so an empty key there is that leftover; anything else there stays.
void RemoveEmptyMountPoint()
{
    UniqueKey key = OpenRegKey(std::string("\\") + kHiveName, KEY_READ);
    if (!key) return;
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return;
    }
    key.reset();
    if (subKeys == 0 && values == 0) DeleteRegKey(HKEY_LOCAL_MACHINE, kHiveName);
}

}  // namespace

void BuildTargetList()
{
    TTargetList& list = *Shared().TargetList;
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        PumpPendingMessages();
        if (IsLeftShiftDown()) break;
        char lower = static_cast<char>('a' + i);
        ShowScanningDrive(lower);
        // Removable, optical and network drives are left alone: searching them can take long
        // or wake a device, and Windows is not run from them.
        const char root[] = {lower, ':', '\\', '\0'};
        if (GetDriveTypeA(root) == DRIVE_FIXED) ScanDrive(static_cast<char>('A' + i));
    }

    TLokInfo& none = list.Add();
    none.Path = LoadLangString(IDS_NO_TARGET_FOLDER);
    none.Description = LoadLangString(IDS_NO_TARGET_DESCRIPTION);
}

void ScanDrive(char letter)
{
    const std::string root = std::string(1, letter) + ":\\";
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((root + "*.*").c_str(), &entry));
    if (!find) return;
    do {
        PumpPendingMessages();
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        std::string path = root + entry.cFileName;
        if (!IsExistingFolder(path + "\\system32\\config\\")) continue;
        TLokInfo& target = Shared().TargetList->Add();
        target.Path = path;
        target.Description = ReadInstallationName(path);
    } while (FindNextFileA(find.get(), &entry));
}

std::string ReadInstallationName(const std::string& path)
{
    std::string result = LoadLangString(IDS_UNKNOWN_PRODUCT);
    const std::string hive = path + "\\system32\\config\\software";
    if (!IsExistingFile(hive)) return result;
    if (!EnableRestorePrivilege()) return result;
    // A name held by someone else, by a hive or a key, is theirs, even when it looks empty:
    // under Wine the root of an empty hive can be deleted like a key, which would take it from them.
    if (OpenRegKey(std::string("\\") + kHiveName, KEY_READ)) return result;

    if (RegLoadKeyA(HKEY_LOCAL_MACHINE, kHiveName, hive.c_str()) != ERROR_SUCCESS) {
        RemoveEmptyMountPoint();
        return result;
    }
    // Declared before the key so that the key is closed first: a hive with an open key in it
    // cannot be unloaded.
    MountedHive mounted(HKEY_LOCAL_MACHINE, kHiveName);
    UniqueKey version =
        OpenRegKey(std::string("\\") + kHiveName + "\\Microsoft\\Windows NT\\CurrentVersion\\", KEY_READ);
    if (version) {
        result = ReadRegStringOrEmpty(version.get(), "ProductName") + " " + ReadRegStringOrEmpty(version.get(), "CSDVersion");
    }
    return result;
}

bool EnableRestorePrivilege()
{
    UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, GetCurrentProcessId()));
    if (!process) return false;
    UniqueHandle token;
    if (!OpenProcessToken(process.get(), TOKEN_ADJUST_PRIVILEGES, token.put())) return false;

    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &privileges.Privileges[0].Luid)) return false;

    // AdjustTokenPrivileges succeeds even when the token lacks the privilege; only the last
    // error (ERROR_NOT_ALL_ASSIGNED) tells.
    DWORD returnLength = 0;
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, &returnLength);
    return GetLastError() == ERROR_SUCCESS;
}
