#include "catalogues/hive_file_rules.h"

#include <algorithm>

namespace {

constexpr uint32_t kBaseBlockBytes = 4096;
constexpr uint32_t kChecksumAt = 508;
constexpr uint32_t kNoCell = 0xFFFFFFFF;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegQword = 11;

// Key node (nk) fields, counted from the cell's data.
constexpr uint32_t kKeyFlagsAt = 2;
constexpr uint32_t kKeySubkeyCountAt = 20;
constexpr uint32_t kKeySubkeyListAt = 28;
constexpr uint32_t kKeyValueCountAt = 36;
constexpr uint32_t kKeyValueListAt = 40;
constexpr uint32_t kKeyNameBytesAt = 72;
constexpr uint32_t kKeyNameAt = 76;
constexpr uint16_t kKeyNameIsAscii = 0x0020;
// A subkey list counts its entries in 16 bits, of eight bytes at most.
constexpr uint32_t kMaxListBytes = 4 + 0xFFFF * 8;
// Windows limits a key name to 255 characters: 510 bytes in UTF-16.
constexpr uint32_t kMaxKeyNameBytes = 510;

// Value node (vk) fields.
constexpr uint32_t kValueNameBytesAt = 2;
constexpr uint32_t kValueSizeAt = 4;
constexpr uint32_t kValueDataAt = 8;
constexpr uint32_t kValueTypeAt = 12;
constexpr uint32_t kValueFlagsAt = 16;
constexpr uint32_t kValueNameAt = 20;
constexpr uint16_t kValueNameIsAscii = 0x0001;
constexpr uint32_t kDataIsInline = 0x80000000;

// From version 1.4 on, data longer than this lies in segments of this size behind a db cell.
constexpr uint32_t kBigDataSegmentBytes = 16344;
constexpr uint32_t kFirstVersionWithBigData = 4;

// What one lookup may cost before the hive counts as damaged: far more than the few dozen cells
// and the kilobytes a lookup in a real hive reads, far less than a hang. Value data has a limit
// of its own, above the megabyte a damaged or hostile hive may carry in a text value.
constexpr uint32_t kMaxCellReads = 200000;
constexpr uint64_t kMaxBytesRead = 64ull << 20;
constexpr uint32_t kMaxValueBytes = 16u << 20;

uint16_t U16(std::string_view bytes, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

uint32_t U32(std::string_view bytes, size_t at)
{
    return static_cast<uint32_t>(U16(bytes, at)) | static_cast<uint32_t>(U16(bytes, at + 2)) << 16;
}

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Windows upper-cases both names before it compares them; the names asked are ASCII, and no
// code unit above 0x7F upper-cases to an ASCII letter, so folding ASCII alone gives its answer.
bool IsSameName(std::string_view stored, bool storedIsAscii, std::string_view asked)
{
    if (storedIsAscii) {
        if (stored.size() != asked.size()) return false;
        for (size_t i = 0; i < asked.size(); ++i) {
            if (FoldAscii(stored[i]) != FoldAscii(asked[i])) return false;
        }
        return true;
    }
    if (stored.size() != asked.size() * 2) return false;
    for (size_t i = 0; i < asked.size(); ++i) {
        if (stored[2 * i + 1] != '\0' || FoldAscii(stored[2 * i]) != FoldAscii(asked[i])) return false;
    }
    return true;
}

// The hash an lh list keeps of each key's name: of its upper-cased characters, times 37 each.
uint32_t LhHash(std::string_view name)
{
    uint32_t hash = 0;
    for (char c : name) hash = hash * 37 + static_cast<uint8_t>(FoldAscii(c));
    return hash;
}

// Thrown inside a lookup and answered at its edge: the hive is damaged, whatever the detail.
struct Damaged {
    const char* problem;
};

struct KeyNode {
    uint32_t SubkeyCount;
    uint32_t SubkeyList;
    uint32_t ValueCount;
    uint32_t ValueList;
};

class HiveWalk {
public:
    HiveWalk(const HiveSource& source, const HiveBaseBlock& base)
        : source_(source), minorVersion_(base.MinorVersion),
          binsEnd_(source.FileSize < kBaseBlockBytes
                       ? 0
                       : static_cast<uint32_t>(std::min<uint64_t>(base.BinsBytes, source.FileSize - kBaseBlockBytes)))
    {
    }

    // Up to want bytes of the allocated cell's data (all of them when it holds fewer); at least
    // need bytes, or the hive is damaged.
    std::string Cell(uint32_t offset, uint32_t want, uint32_t need = 0)
    {
        if (offset == kNoCell || offset >= binsEnd_ || binsEnd_ - offset < 4) throw Damaged{"a cell outside the hive"};
        std::string sizeField = Bytes(offset, 4);
        const int32_t size = static_cast<int32_t>(U32(sizeField, 0));
        if (size >= 0) throw Damaged{"a free cell in use"};
        const uint64_t cellBytes = -static_cast<int64_t>(size);
        if (cellBytes < 4 || cellBytes > binsEnd_ - offset) throw Damaged{"a cell past the end of the hive"};
        const uint32_t dataBytes = static_cast<uint32_t>(cellBytes - 4);
        if (dataBytes < need) throw Damaged{"a cell too small for its contents"};
        return Bytes(offset + 4, std::min(dataBytes, want));
    }

    KeyNode Key(uint32_t offset) { return KeyOf(KeyCell(offset)); }

    // The named child of the key; nothing when it has none of that name.
    std::optional<uint32_t> Child(const KeyNode& key, std::string_view name)
    {
        if (key.SubkeyCount == 0 || key.SubkeyList == kNoCell) return std::nullopt;
        return FindInList(key.SubkeyList, name, false);
    }

    std::map<std::string, HiveValue> Values(const KeyNode& key, const std::vector<std::string>& names)
    {
        std::map<std::string, HiveValue> found;
        if (key.ValueCount == 0 || key.ValueList == kNoCell) return found;
        if (key.ValueCount > kMaxValueBytes / 4) throw Damaged{"a value list too long"};
        const std::string list = Cell(key.ValueList, key.ValueCount * 4, key.ValueCount * 4);
        size_t longest = 0;
        for (const std::string& name : names) longest = std::max(longest, name.size());
        for (uint32_t i = 0; i < key.ValueCount && found.size() < names.size(); ++i) {
            const std::string node = Cell(U32(list, i * 4), kValueNameAt + static_cast<uint32_t>(longest) * 2, kValueNameAt);
            if (node.compare(0, 2, "vk") != 0) throw Damaged{"a value list entry that is no value"};
            const uint32_t nameBytes = U16(node, kValueNameBytesAt);
            // A name longer than what was read is longer than every name asked.
            if (kValueNameAt + nameBytes > node.size()) continue;
            const std::string_view stored = std::string_view(node).substr(kValueNameAt, nameBytes);
            const bool ascii = (U16(node, kValueFlagsAt) & kValueNameIsAscii) != 0;
            for (const std::string& name : names) {
                if (found.count(name) || !IsSameName(stored, ascii, name)) continue;
                found[name] = HiveValue{U32(node, kValueTypeAt), Data(node)};
            }
        }
        return found;
    }

private:
    std::string Bytes(uint32_t offset, uint32_t count)
    {
        if (++reads_ > kMaxCellReads || (bytesRead_ += count) > kMaxBytesRead) throw Damaged{"too much to read"};
        std::string bytes(count, '\0');
        if (count && !source_.Read(uint64_t{kBaseBlockBytes} + offset, count, bytes.data())) {
            throw Damaged{"the file cannot be read"};
        }
        return bytes;
    }

    std::string KeyCell(uint32_t offset)
    {
        std::string node = Cell(offset, kKeyNameAt + kMaxKeyNameBytes, kKeyNameAt);
        if (node.compare(0, 2, "nk") != 0) throw Damaged{"a key that is no key"};
        if (kKeyNameAt + U16(node, kKeyNameBytesAt) > node.size()) throw Damaged{"a key name past its cell"};
        return node;
    }

    static KeyNode KeyOf(std::string_view node)
    {
        return KeyNode{U32(node, kKeySubkeyCountAt), U32(node, kKeySubkeyListAt), U32(node, kKeyValueCountAt),
                       U32(node, kKeyValueListAt)};
    }

    bool IsNamed(uint32_t keyOffset, std::string_view name)
    {
        const std::string node = KeyCell(keyOffset);
        const std::string_view stored = std::string_view(node).substr(kKeyNameAt, U16(node, kKeyNameBytesAt));
        return IsSameName(stored, (U16(node, kKeyFlagsAt) & kKeyNameIsAscii) != 0, name);
    }

    // An ri list holds lists of keys; a list inside one of those is damage, and would be a way
    // round and round.
    std::optional<uint32_t> FindInList(uint32_t offset, std::string_view name, bool insideIndex)
    {
        const std::string list = Cell(offset, kMaxListBytes, 4);
        const uint32_t count = U16(list, 2);
        const bool hashed = list.compare(0, 2, "lh") == 0;
        const bool withHints = hashed || list.compare(0, 2, "lf") == 0;
        const bool isIndex = list.compare(0, 2, "ri") == 0;
        if (!withHints && !isIndex && list.compare(0, 2, "li") != 0) throw Damaged{"a subkey list that is no list"};
        if (isIndex && insideIndex) throw Damaged{"an index list inside an index list"};
        const uint32_t entryBytes = withHints ? 8 : 4;
        if (4 + count * entryBytes > list.size()) throw Damaged{"a subkey list longer than its cell"};
        const uint32_t hash = LhHash(name);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t at = 4 + i * entryBytes;
            if (isIndex) {
                if (std::optional<uint32_t> found = FindInList(U32(list, at), name, true)) return found;
                continue;
            }
            // An lh list tells which names cannot match without reading their keys.
            if (hashed && U32(list, at + 4) != hash) continue;
            if (IsNamed(U32(list, at), name)) return U32(list, at);
        }
        return std::nullopt;
    }

    std::string Data(std::string_view node)
    {
        const uint32_t sizeField = U32(node, kValueSizeAt);
        const uint32_t size = sizeField & ~kDataIsInline;
        if (sizeField & kDataIsInline) {
            if (size > 4) throw Damaged{"inline data of more than four bytes"};
            return std::string(node.substr(kValueDataAt, size));
        }
        if (size == 0) return std::string();
        if (size > kMaxValueBytes) throw Damaged{"a value larger than any the scan reads"};
        const uint32_t at = U32(node, kValueDataAt);
        if (minorVersion_ >= kFirstVersionWithBigData && size > kBigDataSegmentBytes) return BigData(at, size);
        // A cell smaller than its value's size is seen in real hives; its cell is what counts.
        return Cell(at, size);
    }

    std::string BigData(uint32_t offset, uint32_t size)
    {
        const std::string head = Cell(offset, 8, 8);
        if (head.compare(0, 2, "db") != 0) throw Damaged{"big data without its db cell"};
        const uint32_t segments = U16(head, 2);
        if (uint64_t{segments} * kBigDataSegmentBytes < size) throw Damaged{"big data with too few segments"};
        const std::string list = Cell(U32(head, 4), segments * 4, segments * 4);
        std::string data;
        for (uint32_t i = 0; i < segments && data.size() < size; ++i) {
            const uint32_t want = std::min<uint32_t>(kBigDataSegmentBytes, size - static_cast<uint32_t>(data.size()));
            data += Cell(U32(list, i * 4), want, want);
        }
        return data;
    }

    const HiveSource& source_;
    uint32_t minorVersion_;
    uint32_t binsEnd_;
    uint32_t reads_ = 0;
    uint64_t bytesRead_ = 0;
};

std::vector<std::string_view> KeyNames(std::string_view path)
{
    std::vector<std::string_view> names;
    while (!path.empty()) {
        const size_t slash = path.find('\\');
        if (slash != 0) names.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return names;
}

uint32_t BaseBlockChecksum(std::string_view block)
{
    uint32_t sum = 0;
    for (uint32_t at = 0; at < kChecksumAt; at += 4) sum ^= U32(block, at);
    // Zero and all ones are kept for other meanings.
    if (sum == 0) return 1;
    if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
    return sum;
}

}  // namespace

std::optional<HiveBaseBlock> ReadHiveBaseBlock(const HiveSource& source, std::string& problem)
{
    constexpr uint32_t kHeadBytes = 512;
    std::string head(kHeadBytes, '\0');
    std::string firstBin(4, '\0');
    if (source.FileSize < kBaseBlockBytes + 32 || !source.Read(0, kHeadBytes, head.data()) ||
        !source.Read(kBaseBlockBytes, 4, firstBin.data())) {
        problem = "shorter than a base block and a hive bin";
        return std::nullopt;
    }
    HiveBaseBlock base;
    base.PrimarySequence = U32(head, 4);
    base.SecondarySequence = U32(head, 8);
    base.MinorVersion = U32(head, 24);
    base.RootCell = U32(head, 36);
    base.BinsBytes = U32(head, 40);
    if (head.compare(0, 4, "regf") != 0) {
        problem = "no regf signature";
    } else if (U32(head, kChecksumAt) != BaseBlockChecksum(head)) {
        problem = "the base block's checksum does not fit";
    } else if (U32(head, 20) != 1) {
        problem = "a major version other than 1";
    } else if (U32(head, 28) != 0) {
        problem = "a log file, not a primary hive file";
    } else if (firstBin != "hbin") {
        problem = "no hive bin after the base block";
    } else if (base.RootCell >= std::min<uint64_t>(base.BinsBytes, source.FileSize - kBaseBlockBytes)) {
        problem = "the root key outside the hive bins";
    } else {
        return base;
    }
    return std::nullopt;
}

HiveKeyValues ReadHiveKeyValues(const HiveSource& source, const HiveBaseBlock& base, std::string_view keyPath,
                                const std::vector<std::string>& valueNames)
{
    HiveKeyValues result;
    try {
        HiveWalk walk(source, base);
        KeyNode key = walk.Key(base.RootCell);
        for (std::string_view name : KeyNames(keyPath)) {
            const std::optional<uint32_t> child = walk.Child(key, name);
            if (!child) {
                result.Result = HiveKeyResult::NoKey;
                return result;
            }
            key = walk.Key(*child);
        }
        result.Values = walk.Values(key, valueNames);
        result.Result = HiveKeyResult::Read;
    } catch (const Damaged& damage) {
        result.Problem = damage.problem;
        result.Values.clear();
    }
    return result;
}

std::optional<std::u16string> HiveValueText(const HiveValue& value)
{
    if (value.Type != kRegSz && value.Type != kRegExpandSz) return std::nullopt;
    std::u16string text;
    for (size_t at = 0; at + 1 < value.Data.size(); at += 2) {
        const char16_t unit = U16(value.Data, at);
        if (unit == 0) break;
        text += unit;
    }
    return text;
}

std::optional<std::string> AsciiText(const std::u16string& text)
{
    std::string ascii;
    for (char16_t unit : text) {
        if (unit > 0x7F) return std::nullopt;
        ascii += static_cast<char>(unit);
    }
    return ascii;
}

std::optional<uint64_t> HiveValueNumber(const HiveValue& value)
{
    if (value.Type == kRegDword && value.Data.size() == 4) return U32(value.Data, 0);
    if (value.Type == kRegQword && value.Data.size() == 8) {
        return U32(value.Data, 0) | static_cast<uint64_t>(U32(value.Data, 4)) << 32;
    }
    return std::nullopt;
}
