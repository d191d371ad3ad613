// File-system helpers over the ANSI Win32 calls.
#pragma once

#include <optional>
#include <string>

// The full path of the running executable; empty when the platform cannot tell.
std::string ExecutablePath();

// The folder of the running executable, with its trailing backslash.
std::string ExecutableFolder();

// True when path names an existing file (not a folder). Both are false for a path of 32,767
// characters or more.
bool IsExistingFile(const std::string& path);

// True when path names an existing folder.
bool IsExistingFolder(const std::string& path);

// What tells one version of a file from another without opening it: its size and last-write time.
struct FileStamp {
    unsigned long long Size = 0;
    unsigned long long LastWrite = 0;  // FILETIME as one number
    bool operator==(const FileStamp& o) const { return Size == o.Size && LastWrite == o.LastWrite; }
};
// The stamp of an existing file (not a folder); nothing when there is none under that path.
std::optional<FileStamp> StampOfFile(const std::string& path);

// The whole content of a file, or nothing when it cannot be opened or read completely, or is
// larger than maxBytes. Another program may hold the file open for writing meanwhile.
std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes);
