// An installation's registry hive, read where it lies (see hive_file_rules.h): the file is opened
// for reading with every kind of sharing, and only the cells a lookup needs are read. Nothing is
// loaded, mounted or written, no privilege is asked for, and the installation's files keep their
// bytes and last-write times, which matters for a Windows that was hibernated or shut down with
// Fast Startup: whatever is written to its volume offline is lost or corrupts it.
#pragma once

#include "catalogues/hive_file_rules.h"
#include "common/guards.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// An open hive file and the pages of it read so far.
struct OfflineHive {
    std::string Path;
    UniqueFile File;
    uint64_t Size = 0;
    HiveBaseBlock Base;
    std::map<uint64_t, std::string> Pages;  // 4 KB each, by number
};

// Opens the hive and reads its base block; nothing when the file cannot be opened or is no
// hive. Every refusal is logged as a "hive" event with file, result and reason; a dirty hive
// (its .LOG files hold changes) is read from its primary file alone and noted in the log.
std::optional<OfflineHive> OpenOfflineHive(const std::string& path);

// The named values of the key at keyPath (below the hive's root), those it holds. A key that is
// not there, or damage on the way, is logged as a refusal.
HiveKeyValues ReadOfflineHiveKey(OfflineHive& hive, const std::string& keyPath, const std::vector<std::string>& names);

// A REG_SZ or REG_EXPAND_SZ value up to its first zero, in the program's code page as
// RegQueryValueExA would give it; empty text for a missing value or one of another type.
std::string HiveTextOrEmpty(const std::map<std::string, HiveValue>& values, const std::string& name);

// A REG_DWORD or REG_QWORD value; nothing for a missing value or one of another type or size.
std::optional<uint64_t> HiveNumberOrNothing(const std::map<std::string, HiveValue>& values, const std::string& name);
