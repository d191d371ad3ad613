#include "support/wine_drives.h"

#include "common/files.h"
#include "common/registry.h"

#include <gtest/gtest.h>

#include <cstdio>

std::string UnixPathOf(const std::string& path)
{
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    std::wstring wide(path.begin(), path.end());
    char* unix = toUnix ? toUnix(wide.c_str()) : nullptr;
    std::string result = unix ? unix : "";
    if (unix) HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

TestDrive::TestDrive(char letter, UINT type) : letter_(letter), unixPath_(UnixPathOf(folder_.Path()))
{
    ok_ = DefineDrive(letter, type, unixPath_) && (GetLogicalDrives() & (1u << (letter - 'A')));
}

TestDrive::~TestDrive() { DefineDrive(letter_, DRIVE_NO_ROOT_DIR, ""); }

// Wine starts an ELF program for the command line, but its handle does not follow the shell, so
// callers wait for the result instead. Whatever the shell leaves running must not hold the test's
// output open, or the test runner waits for it.
bool TestDrive::RunUnixShell(const std::string& command) const
{
    std::string line = "/bin/sh -c \"cd '" + unixPath_ + "' && " + command + "\"";
    ProcessInfo process;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process.put()) != FALSE;
}

bool TestDrive::FillWithFolders(int count)
{
    const std::string last = Root() + "folder" + std::to_string(count - 1);
    return RunUnixShell("seq -f folder%g 0 " + std::to_string(count - 1) + " | xargs mkdir") &&
           WaitUntil([&] { return IsExistingFolder(last); }, std::chrono::seconds(60));
}

bool TestDrive::Empty()
{
    std::string root = unixPath_;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const std::string gone = root + ".gone";
    return RunUnixShell("mv '" + root + "' '" + gone + "' && mkdir '" + root + "' && (rm -rf '" + gone + "' </dev/null >/dev/null 2>&1 &)") &&
           WaitUntil([&] { return !IsExistingFolder(Root() + "folder0"); }, std::chrono::seconds(60));
}

LockedTestDrive::LockedTestDrive(char letter, bool toGo) : letter_(letter)
{
    std::string volume(1 << 20, '\0');
    if (toGo) {
        // A FAT32 boot sector with BitLocker's identifier and metadata offsets at 424, and the
        // first metadata block at 0x2200, as BitLocker To Go writes them.
        volume.replace(0, 11, "\xEB\x58\x90MSWIN4.1");
        volume.replace(424, 16, "\x3b\xd6\x67\x49\x29\x2e\xd8\x4a\x83\x99\xf6\xa3\x39\xe3\xd0\x01");
        volume.replace(440, 3, std::string("\x00\x22\x00", 3));
        volume.replace(510, 2, "\x55\xAA");
        volume.replace(0x2200, 8, "-FVE-FS-");
    } else {
        volume.replace(0, 11, "\xEB\x58\x90-FVE-FS-");
    }
    WriteBytes(folder_.File("volume.img"), volume);
    CreateDirectoryA(Contents().c_str(), nullptr);
    // Without BitLocker in the image, a To Go volume's root is its readable discovery volume.
    if (toGo) WriteBytes(Contents() + "\\BitLockerToGo.exe", "MZ");
    ok_ = DefineDrive(letter, DRIVE_FIXED, UnixPathOf(Contents()), UnixPathOf(folder_.Path() + "volume.img")) &&
          (GetLogicalDrives() & (1u << (letter - 'A')));
}

LockedTestDrive::~LockedTestDrive() { DefineDrive(letter_, DRIVE_NO_ROOT_DIR, ""); }

void CreateFolders(const std::string& path)
{
    for (size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1)) {
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
}

bool EnablePrivilege(const char* name)
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) return false;
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    return LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid) &&
           AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) && GetLastError() == 0;
}

namespace {
// Saves keys (a path below the hive's root -> its values) as the hive file folder\system32\config\<name>.
void SaveHive(const std::string& folder, const std::string& name, const std::map<std::string, HiveValues>& keys)
{
    static bool backup = EnablePrivilege(SE_BACKUP_NAME);  // RegSaveKeyA fails with 1314 without it
    ASSERT_TRUE(backup);
    static int serial = 0;
    std::string source =
        "\\Software\\TarnTestsHive" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    {
        for (const auto& [path, values] : keys) {
            UniqueKey key = CreateRegKey(source + "\\" + path, KEY_ALL_ACCESS);
            ASSERT_TRUE(key);
            for (const auto& [valueName, value] : values) {
                RegSetValueExA(key.get(), valueName.c_str(), 0, value.first,
                               reinterpret_cast<const BYTE*>(value.second.data()), static_cast<DWORD>(value.second.size()));
            }
        }
        UniqueKey root = CreateRegKey(source, KEY_READ);
        CreateFolders(folder + "\\system32\\config");
        const std::string file = folder + "\\system32\\config\\" + name;
        DeleteFileA(file.c_str());
        EXPECT_EQ(RegSaveKeyA(root.get(), file.c_str(), nullptr), ERROR_SUCCESS);
    }
    DeleteRegTree(source);
}
}  // namespace

void MakeInstallation(const std::string& folder, const HiveValues& values, const std::string& versionKey)
{
    SaveHive(folder, "software", {{versionKey, values}});
}

void MakeSystemHive(const std::string& folder, uint32_t current, const HiveValues& zoneValues, uint32_t zoneSet)
{
    char controlSet[32];
    std::snprintf(controlSet, sizeof controlSet, "ControlSet%03u", zoneSet);
    std::map<std::string, HiveValues> keys = {{std::string(controlSet) + "\\Control\\TimeZoneInformation", zoneValues}};
    if (current != 0) keys["Select"] = {{"Current", Dword(current)}, {"Default", Dword(current)}};
    SaveHive(folder, "system", keys);
}

std::pair<DWORD, std::string> Dword(uint32_t value)
{
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}

std::pair<DWORD, std::string> Sz(const std::string& text) { return {REG_SZ, text + '\0'}; }
