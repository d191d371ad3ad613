#include "support/wine_drives.h"

#include "common/files.h"

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

namespace {

// Wine starts an ELF program for the command line, but its handle does not follow the shell, so
// callers wait for the result instead. Whatever the shell leaves running must not hold the test's
// output open, or the test runner waits for it.
bool StartUnixShell(const std::string& command)
{
    std::string line = "/bin/sh -c \"" + command + "\"";
    ProcessInfo process;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process.put()) != FALSE;
}

}  // namespace

bool TestDrive::RunUnixShell(const std::string& command) const
{
    return StartUnixShell("cd '" + unixPath_ + "' && " + command);
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

namespace {

// The bytes a value is stored with: text as RegSetValueExA converts it, from the ANSI code page.
std::string StoredBytes(const HiveData& value)
{
    const bool text = value.Type == REG_SZ || value.Type == REG_EXPAND_SZ || value.Type == REG_MULTI_SZ;
    if (value.Wide || !text || value.Bytes.empty()) return value.Bytes;
    const int units = MultiByteToWideChar(CP_ACP, 0, value.Bytes.data(), static_cast<int>(value.Bytes.size()), nullptr, 0);
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(CP_ACP, 0, value.Bytes.data(), static_cast<int>(value.Bytes.size()), wide.data(), units);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

// A name in a .reg file's quotes.
std::string Quoted(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name) quoted += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string(1, c);
    return quoted + "\"";
}

// keys in the .reg-like text that make_hive.py reads, every value as its stored bytes.
std::string HiveListing(const std::map<std::string, HiveValues>& keys)
{
    std::string listing;
    for (const auto& [path, values] : keys) {
        listing += "[" + path + "]\n";
        for (const auto& [name, value] : values) {
            char type[16];
            std::snprintf(type, sizeof type, "hex(%lx):", static_cast<unsigned long>(value.Type));
            listing += (name.empty() ? std::string("@") : Quoted(name)) + "=" + type;
            const std::string bytes = StoredBytes(value);
            for (size_t i = 0; i < bytes.size(); ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, i ? ",%02x" : "%02x", static_cast<unsigned char>(bytes[i]));
                listing += hex;
            }
            listing += "\n";
        }
    }
    return listing;
}

}  // namespace

void MakeHive(const std::string& file, const std::map<std::string, HiveValues>& keys, bool dirty)
{
    static int serial = 0;
    CaseFolder scratch;
    const std::string listing = scratch.File("hive" + std::to_string(++serial) + ".reg");
    WriteBytes(listing, HiveListing(keys));
    const std::string failed = file + ".failed";
    DeleteFileA(file.c_str());
    DeleteFileA(failed.c_str());
    const std::string unixFile = UnixPathOf(file);
    ASSERT_NE(unixFile, "") << file;
    ASSERT_TRUE(StartUnixShell("/usr/bin/python3 '" TARN_MAKE_HIVE "' '" + unixFile + "' '" + UnixPathOf(listing) + "'" +
                               (dirty ? " --dirty" : "") + " </dev/null >/dev/null 2>&1"));
    // The system Python takes about a tenth of a second; a machine busy with parallel suites, longer.
    ASSERT_TRUE(WaitUntil([&] { return IsExistingFile(file) || IsExistingFile(failed); }, std::chrono::seconds(60)))
        << "no hive from make_hive.py for " << file;
    ASSERT_TRUE(IsExistingFile(file)) << ReadBytes(failed);
}

void MakeInstallation(const std::string& folder, const HiveValues& values, const std::string& versionKey)
{
    CreateFolders(folder + "\\system32\\config");
    MakeHive(folder + "\\system32\\config\\software", {{versionKey, values}});
}

void MakeSystemHive(const std::string& folder, uint32_t current, const HiveValues& zoneValues, uint32_t zoneSet)
{
    char controlSet[32];
    std::snprintf(controlSet, sizeof controlSet, "ControlSet%03u", zoneSet);
    std::map<std::string, HiveValues> keys = {{std::string(controlSet) + "\\Control\\TimeZoneInformation", zoneValues}};
    if (current != 0) keys["Select"] = {{"Current", Dword(current)}, {"Default", Dword(current)}};
    CreateFolders(folder + "\\system32\\config");
    MakeHive(folder + "\\system32\\config\\system", keys);
}

HiveData Dword(uint32_t value) { return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)}; }

HiveData Sz(const std::string& text) { return {REG_SZ, text + '\0'}; }
