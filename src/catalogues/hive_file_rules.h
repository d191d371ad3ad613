// Reading a few values of an offline registry hive in the file format Windows keeps it in: the
// base block ("regf"), then cells in hive bins, key nodes (nk) reached through subkey lists (lf,
// lh, li, and ri over them), value nodes (vk) with their data inline, in one cell, or in the
// segments of a big-data cell (db). A lookup reads the base block and the cells on its way and
// nothing else, so a SOFTWARE hive of 150 MB costs a few dozen small reads, and the file is only
// ever read: no log is replayed, nothing is loaded, mounted or written.
//
// Whatever the bytes, a lookup ends: a cell outside the hive, a list within a list within a list,
// a size past the end or beyond the limits below, a wrong signature, all read as unreadable.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads exactly count bytes of the file from offset on into into; false when it cannot.
using HiveByteReader = std::function<bool(uint64_t offset, uint32_t count, char* into)>;

struct HiveSource {
    uint64_t FileSize = 0;
    HiveByteReader Read;
};

// What a lookup needs of the base block.
struct HiveBaseBlock {
    uint32_t PrimarySequence = 0;
    uint32_t SecondarySequence = 0;
    uint32_t MinorVersion = 0;  // 3 or less: no big-data cells
    uint32_t RootCell = 0;      // offsets count from the first hive bin, 4096 bytes into the file
    uint32_t BinsBytes = 0;     // the hive bins' size as the base block gives it

    // Unequal sequence numbers: the hive was being written when Windows last stopped, and the
    // changes it had not saved into the primary file are in its .LOG files, which are not read.
    bool IsDirty() const { return PrimarySequence != SecondarySequence; }
};

// The base block; nothing when the file is no hive the lookups can read (problem says why): no
// "regf" signature, a checksum that does not fit, a log file, a version other than 1.x, no
// first hive bin, a root outside the bins.
std::optional<HiveBaseBlock> ReadHiveBaseBlock(const HiveSource& source, std::string& problem);

struct HiveValue {
    uint32_t Type = 0;  // REG_SZ, REG_DWORD, ... as stored
    std::string Data;   // the value's bytes as stored
};

enum class HiveKeyResult { Read, NoKey, Unreadable };

struct HiveKeyValues {
    HiveKeyResult Result = HiveKeyResult::Unreadable;
    std::string Problem;                      // what made it unreadable
    std::map<std::string, HiveValue> Values;  // by the name asked, for the ones the key holds
};

// The values named of the key at keyPath (key names separated by backslashes, below the root).
// Key and value names are ASCII here and compare as Windows compares them, without regard to
// case; stored names are either ASCII or UTF-16LE, as their flags say. An empty value name is
// the key's default value.
HiveKeyValues ReadHiveKeyValues(const HiveSource& source, const HiveBaseBlock& base, std::string_view keyPath,
                                const std::vector<std::string>& valueNames);

// A REG_SZ or REG_EXPAND_SZ value's UTF-16 code units up to the first zero (an odd last byte is
// half a character and dropped); nothing for a value of another type.
std::optional<std::u16string> HiveValueText(const HiveValue& value);

// The text when every code unit is ASCII, which reads the same in every code page; nothing
// otherwise, for the platform's conversion to the program's code page.
std::optional<std::string> AsciiText(const std::u16string& text);

// A REG_DWORD of four bytes or a REG_QWORD of eight; nothing for any other type or size.
std::optional<uint64_t> HiveValueNumber(const HiveValue& value);
