// Recovery keys saved as files (.BEK) on the drives an operator brings along.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct FoundKeyFile {
    std::string folder;  // "E:\", what manage-bde -unlock -RecoveryKey is given
    std::string name;    // "6F1D2C3B-....BEK"
    std::string Path() const { return folder + name; }
};

// The .BEK file whose name is one of keyIds ("{GUID}"), looked for in the root of every removable
// and optical drive and of the boot medium (a drive with \sources\boot.wim), the locked drive
// (upper-case letter) left out; none when no file there matches. Only the names are read.
std::optional<FoundKeyFile> FindKeyFile(char lockedLetter, const std::vector<std::string>& keyIds);
