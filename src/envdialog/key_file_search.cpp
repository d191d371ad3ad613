#include "envdialog/key_file_search.h"

#include "catalogues/bitlocker_rules.h"
#include "common/files.h"
#include "common/guards.h"

#include <windows.h>

namespace {

// Where a key file is carried: a stick or a card reader, a CD, or the medium Windows PE started
// from, which may be a USB disk that reports itself as fixed.
bool MayCarryKeyFile(const std::string& root)
{
    const UINT type = GetDriveTypeA(root.c_str());
    return type == DRIVE_REMOVABLE || type == DRIVE_CDROM || IsExistingFile(root + "sources\\boot.wim");
}

void AddKeyFilesOf(const std::string& root, std::vector<FoundKeyFile>& found)
{
    WIN32_FIND_DATAA entry;
    // BitLocker saves the file hidden; a search for names lists hidden files as well.
    UniqueFind find(FindFirstFileA((root + "*.BEK").c_str(), &entry));
    if (!find) return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found.push_back({root, entry.cFileName});
    } while (FindNextFileA(find.get(), &entry));
}

}  // namespace

std::optional<FoundKeyFile> FindKeyFile(char lockedLetter, const std::vector<std::string>& keyIds)
{
    if (keyIds.empty()) return std::nullopt;
    // An empty drive (a card reader without its card) would ask the operator to insert one.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    std::vector<FoundKeyFile> found;
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        const char letter = static_cast<char>('A' + i);
        if (!(drives & (1u << i)) || letter == lockedLetter) continue;
        const std::string root = std::string(1, letter) + ":\\";
        if (MayCarryKeyFile(root)) AddKeyFilesOf(root, found);
    }
    SetErrorMode(previousMode);
    std::vector<std::string> names;
    for (const FoundKeyFile& file : found) names.push_back(file.name);
    const std::optional<size_t> chosen = ChooseKeyFile(names, keyIds);
    if (!chosen) return std::nullopt;
    return found[*chosen];
}
