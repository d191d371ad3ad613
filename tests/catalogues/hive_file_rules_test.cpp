// The hives here are laid out cell by cell, so that each kind of list and value storage, and
// each kind of damage, can be had on purpose; the scan's end-to-end tests read hives that
// hivex wrote (tests/support/make_hive.py).
#include "catalogues/hive_file_rules.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>

namespace {

std::string Le(uint32_t value, size_t bytes = 4)
{
    std::string text;
    for (size_t i = 0; i < bytes; ++i) text += static_cast<char>(value >> (8 * i) & 0xFF);
    return text;
}

std::string Utf16(const std::string& ascii)
{
    std::string bytes;
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

// One hive bin of cells after a base block; offsets count from the bin, as in the file.
class HiveBuilder {
public:
    uint32_t Cell(const std::string& data)
    {
        const uint32_t offset = 32 + static_cast<uint32_t>(cells_.size());
        const size_t size = (4 + data.size() + 7) / 8 * 8;
        cells_ += Le(static_cast<uint32_t>(-static_cast<int32_t>(size))) + data + std::string(size - 4 - data.size(), '\0');
        return offset;
    }
    uint32_t Key(const std::string& name, uint32_t subkeys, uint32_t list, uint32_t values, uint32_t valueList,
                 bool ascii = true)
    {
        const std::string stored = ascii ? name : Utf16(name);
        return Cell("nk" + Le(ascii ? 0x20 : 0, 2) + std::string(16, '\0') + Le(subkeys) + Le(0) + Le(list) +
                    Le(0xFFFFFFFF) + Le(values) + Le(valueList) + Le(0xFFFFFFFF) + Le(0xFFFFFFFF) +
                    std::string(20, '\0') + Le(static_cast<uint32_t>(stored.size()), 2) + Le(0, 2) + stored);
    }
    uint32_t Leaf(const std::string& kind, const std::vector<std::pair<uint32_t, std::string>>& keys)
    {
        std::string data = kind + Le(static_cast<uint32_t>(keys.size()), 2);
        for (const auto& [offset, name] : keys) {
            data += Le(offset);
            if (kind == "lh") data += Le(Hash(name));
            if (kind == "lf") data += (name + "\0\0\0\0").substr(0, 4);
        }
        return Cell(data);
    }
    uint32_t Index(const std::vector<uint32_t>& lists)
    {
        std::string data = "ri" + Le(static_cast<uint32_t>(lists.size()), 2);
        for (uint32_t list : lists) data += Le(list);
        return Cell(data);
    }
    // A value whose data lies in a cell of its own, or in its own size field when it fits.
    uint32_t Value(const std::string& name, uint32_t type, const std::string& data, bool ascii = true)
    {
        const std::string stored = ascii ? name : Utf16(name);
        const bool inline_ = data.size() <= 4;
        const uint32_t at = inline_ ? 0 : Cell(data);
        const std::string field = inline_ ? (data + std::string(4, '\0')).substr(0, 4) : Le(at);
        return Cell("vk" + Le(static_cast<uint32_t>(stored.size()), 2) +
                    Le(static_cast<uint32_t>(data.size()) | (inline_ ? 0x80000000 : 0)) + field + Le(type) +
                    Le(ascii ? 1 : 0, 2) + Le(0, 2) + stored);
    }
    uint32_t ValueList(const std::vector<uint32_t>& values)
    {
        std::string data;
        for (uint32_t value : values) data += Le(value);
        return Cell(data);
    }
    std::string Hive(uint32_t root, uint32_t minor = 5, uint32_t primary = 7, uint32_t secondary = 7) const
    {
        const uint32_t binBytes = static_cast<uint32_t>((32 + cells_.size() + 4095) / 4096 * 4096);
        std::string base = "regf" + Le(primary) + Le(secondary) + std::string(8, '\0') + Le(1) + Le(minor) + Le(0) +
                           Le(1) + Le(root) + Le(binBytes) + Le(1);
        base.resize(4096, '\0');
        uint32_t sum = 0;
        for (size_t at = 0; at < 508; at += 4) sum ^= Get(base, at);
        base.replace(508, 4, Le(sum));
        std::string bin = "hbin" + Le(0) + Le(binBytes) + std::string(20, '\0') + cells_;
        bin.resize(binBytes, '\0');
        const uint32_t freeBytes = binBytes - 32 - static_cast<uint32_t>(cells_.size());
        if (freeBytes) bin.replace(32 + cells_.size(), 4, Le(freeBytes));
        return base + bin;
    }
    static uint32_t Hash(const std::string& name)
    {
        uint32_t hash = 0;
        for (char c : name) hash = hash * 37 + static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(c)));
        return hash;
    }
    static uint32_t Get(const std::string& bytes, size_t at)
    {
        uint32_t value = 0;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    }

private:
    std::string cells_;
};

HiveSource SourceOf(const std::string& bytes)
{
    return HiveSource{bytes.size(), [&bytes](uint64_t offset, uint32_t count, char* into) {
                          if (offset > bytes.size() || bytes.size() - offset < count) return false;
                          std::memcpy(into, bytes.data() + offset, count);
                          return true;
                      }};
}

HiveKeyValues Lookup(const std::string& hive, const std::string& path, const std::vector<std::string>& names)
{
    std::string problem;
    std::optional<HiveBaseBlock> base = ReadHiveBaseBlock(SourceOf(hive), problem);
    if (!base) return HiveKeyValues{HiveKeyResult::Unreadable, problem, {}};
    return ReadHiveKeyValues(SourceOf(hive), *base, path, names);
}

std::string Text(const HiveKeyValues& read, const std::string& name)
{
    auto value = read.Values.find(name);
    if (value == read.Values.end()) return "<none>";
    std::optional<std::u16string> text = HiveValueText(value->second);
    return text ? AsciiText(*text).value_or("<not ascii>") : "<no text>";
}

// root -> Microsoft -> Windows NT -> CurrentVersion, the middle level through the given list,
// among siblings, each of them a key with a name stored as kind says.
struct Layout {
    std::string hive;
    uint32_t currentVersion = 0;
};

Layout SoftwareHive(const std::function<uint32_t(HiveBuilder&, const std::vector<std::pair<uint32_t, std::string>>&)>& list,
                    bool utf16Names = false)
{
    HiveBuilder b;
    Layout layout;
    const uint32_t values = b.ValueList({
        b.Value("ProductName", 1, Utf16("Tarn OS") + std::string(2, '\0')),
        b.Value("currentbuild", 1, Utf16("22631"), !utf16Names),  // no terminator
        b.Value("Flag", 4, Le(5)),                                 // inline
        b.Value("", 1, Utf16("default") + std::string(2, '\0')),
    });
    layout.currentVersion = b.Key("CurrentVersion", 0, 0xFFFFFFFF, 4, values, !utf16Names);
    const uint32_t nt = b.Key("Windows NT", 1, b.Leaf("lh", {{layout.currentVersion, "CurrentVersion"}}), 0, 0xFFFFFFFF,
                              !utf16Names);
    std::vector<std::pair<uint32_t, std::string>> siblings = {
        {b.Key("Office", 0, 0xFFFFFFFF, 0, 0xFFFFFFFF), "Office"},
        {nt, "Windows NT"},
        {b.Key("Windows NT Extra", 0, 0xFFFFFFFF, 0, 0xFFFFFFFF), "Windows NT Extra"},
    };
    const uint32_t microsoft = b.Key("Microsoft", 3, list(b, siblings), 0, 0xFFFFFFFF);
    const uint32_t root = b.Key("ROOT", 1, b.Leaf("lf", {{microsoft, "Microsoft"}}), 0, 0xFFFFFFFF);
    layout.hive = b.Hive(root);
    return layout;
}

const char kVersionKey[] = "Microsoft\\Windows NT\\CurrentVersion";
const std::vector<std::string> kAsked = {"ProductName", "CurrentBuild", "Flag", "", "Missing"};

}  // namespace

TEST(HiveFileRules, FindsKeysThroughEveryKindOfListAndReadsEveryKindOfValue)
{
    using Entries = std::vector<std::pair<uint32_t, std::string>>;
    const std::pair<const char*, std::function<uint32_t(HiveBuilder&, const Entries&)>> lists[] = {
        {"lf", [](HiveBuilder& b, const Entries& e) { return b.Leaf("lf", e); }},
        {"lh", [](HiveBuilder& b, const Entries& e) { return b.Leaf("lh", e); }},
        {"li", [](HiveBuilder& b, const Entries& e) { return b.Leaf("li", e); }},
        {"ri over li and lh",
         [](HiveBuilder& b, const Entries& e) { return b.Index({b.Leaf("li", {e[0]}), b.Leaf("lh", {e[1], e[2]})}); }},
    };
    for (const auto& [label, list] : lists) {
        for (bool utf16 : {false, true}) {
            SCOPED_TRACE(std::string(label) + (utf16 ? ", UTF-16 names" : ", ASCII names"));
            const HiveKeyValues read = Lookup(SoftwareHive(list, utf16).hive, "MICROSOFT\\windows nt\\CurrentVersion", kAsked);
            ASSERT_EQ(read.Result, HiveKeyResult::Read) << read.Problem;
            EXPECT_EQ(Text(read, "ProductName"), "Tarn OS");
            EXPECT_EQ(Text(read, "CurrentBuild"), "22631") << "a name in another case, a text without its terminator";
            EXPECT_EQ(Text(read, ""), "default");
            EXPECT_EQ(HiveValueNumber(read.Values.at("Flag")), 5u);
            EXPECT_EQ(read.Values.count("Missing"), 0u);
        }
    }
    const Layout lh = SoftwareHive([](HiveBuilder& b, const Entries& e) { return b.Leaf("lh", e); });
    EXPECT_EQ(Lookup(lh.hive, "Microsoft\\Windows\\CurrentVersion", kAsked).Result, HiveKeyResult::NoKey);
    EXPECT_EQ(Lookup(lh.hive, "Microsoft\\Windows NT\\CurrentVersion\\Deeper", kAsked).Result, HiveKeyResult::NoKey);
    EXPECT_EQ(Lookup(lh.hive, "Microsoft\\Windows NT", {"ProductName"}).Values.size(), 0u) << "a key without values";
    EXPECT_EQ(Lookup(lh.hive, "\\Microsoft\\\\Windows NT\\CurrentVersion\\", kAsked).Result, HiveKeyResult::Read);
}

TEST(HiveFileRules, BigDataIsJoinedFromItsSegmentsFromVersionFourOn)
{
    for (uint32_t minor : {3u, 5u}) {
        SCOPED_TRACE(minor);
        HiveBuilder b;
        std::string text;
        for (int i = 0; text.size() < 40000; ++i) text += Utf16("segment text " + std::to_string(i) + "; ");
        uint32_t data = 0;
        if (minor >= 4) {
            const uint32_t segments = b.ValueList({b.Cell(text.substr(0, 16344)), b.Cell(text.substr(16344, 16344)),
                                                   b.Cell(text.substr(32688))});
            data = b.Cell("db" + Le(3, 2) + Le(segments) + Le(0));
        } else {
            data = b.Cell(text);
        }
        const uint32_t value = b.Cell("vk" + Le(4, 2) + Le(static_cast<uint32_t>(text.size())) + Le(data) + Le(1) +
                                      Le(1, 2) + Le(0, 2) + "Long");
        const std::string hive = b.Hive(b.Key("ROOT", 0, 0xFFFFFFFF, 1, b.ValueList({value})), minor);
        const HiveKeyValues read = Lookup(hive, "", {"Long"});
        ASSERT_EQ(read.Result, HiveKeyResult::Read) << read.Problem;
        EXPECT_EQ(read.Values.at("Long").Data, text);
    }
}

TEST(HiveFileRules, BaseBlockTellsDirtyHivesAndRefusesWhatIsNoHive)
{
    HiveBuilder b;
    const uint32_t root = b.Key("ROOT", 0, 0xFFFFFFFF, 0, 0xFFFFFFFF);
    std::string problem;
    const std::string clean = b.Hive(root);
    const std::string dirty = b.Hive(root, 5, 8, 7);
    ASSERT_TRUE(ReadHiveBaseBlock(SourceOf(clean), problem));
    EXPECT_FALSE(ReadHiveBaseBlock(SourceOf(clean), problem)->IsDirty());
    ASSERT_TRUE(ReadHiveBaseBlock(SourceOf(dirty), problem));
    EXPECT_TRUE(ReadHiveBaseBlock(SourceOf(dirty), problem)->IsDirty());
    EXPECT_EQ(Lookup(dirty, "", {}).Result, HiveKeyResult::Read) << "read from the primary file all the same";

    auto patched = [&](size_t at, const std::string& bytes) { return std::string(clean).replace(at, bytes.size(), bytes); };
    const std::pair<const char*, std::string> rows[] = {
        {"empty", ""},
        {"the base block alone", clean.substr(0, 4096)},
        {"another signature", patched(0, "rgef")},
        {"a checksum that does not fit", patched(12, "x")},
        {"a log file", b.Hive(root, 5, 7, 7).replace(28, 4, Le(1)).replace(508, 4, Le(HiveBuilder::Get(clean, 508) ^ 1))},
        {"no hive bin", patched(4096, "nbih")},
        {"the root past the bins", b.Hive(0x10000)},
    };
    for (const auto& [label, hive] : rows) {
        SCOPED_TRACE(label);
        problem.clear();
        EXPECT_FALSE(ReadHiveBaseBlock(SourceOf(hive), problem));
        EXPECT_NE(problem, "");
    }
}

// Damage anywhere on the way ends the lookup as unreadable, never in a crash or a hang; the
// sanitizers and the fuzz target hive_file watch the same from below.
TEST(HiveFileRules, DamageOnTheWayReadsAsUnreadable)
{
    using Entries = std::vector<std::pair<uint32_t, std::string>>;
    const Layout good = SoftwareHive([](HiveBuilder& b, const Entries& e) { return b.Leaf("li", e); });
    const HiveKeyValues whole = Lookup(good.hive, kVersionKey, kAsked);
    ASSERT_EQ(whole.Result, HiveKeyResult::Read);
    for (size_t length = 0; length < good.hive.size(); length += 24) {
        const HiveKeyValues read = Lookup(good.hive.substr(0, length), kVersionKey, kAsked);
        if (read.Result == HiveKeyResult::Read) {
            EXPECT_EQ(read.Values.size(), whole.Values.size()) << "cut at " << length;
        } else {
            EXPECT_EQ(read.Result, HiveKeyResult::Unreadable) << "cut at " << length;
        }
    }

    const uint32_t cellAt = 4096 + good.currentVersion;  // the CurrentVersion key's size field
    auto patched = [&](size_t at, const std::string& bytes) { return std::string(good.hive).replace(at, bytes.size(), bytes); };
    // An index list that lists itself, and one that lists another index list.
    HiveBuilder loop;
    const uint32_t selfAt = 32;  // the first cell
    loop.Index({selfAt});
    const std::string selfLoop = loop.Hive(loop.Key("ROOT", 1, selfAt, 0, 0xFFFFFFFF));
    HiveBuilder nested;
    const uint32_t inner = nested.Index({nested.Leaf("li", {{0, "x"}})});
    const std::string indexInIndex = nested.Hive(nested.Key("ROOT", 1, nested.Index({inner}), 0, 0xFFFFFFFF));
    const std::pair<const char*, std::string> rows[] = {
        {"a cell size past the end", patched(cellAt, Le(0x80000008))},
        {"a cell of size zero", patched(cellAt, Le(0))},
        {"a free cell", patched(cellAt, Le(0x60))},
        {"a key that is no key", patched(cellAt + 4, "kn")},
        {"a value list outside the file", patched(cellAt + 4 + 40, Le(0x7FFFFFF0))},
        {"a value count beyond its list", patched(cellAt + 4 + 36, Le(0x00FFFFFF))},
        {"a key name longer than its cell", patched(cellAt + 4 + 72, Le(0xFFFF, 2))},
        {"an index list that lists itself", selfLoop},
        {"an index list inside an index list", indexInIndex},
    };
    for (const auto& [label, hive] : rows) {
        SCOPED_TRACE(label);
        const HiveKeyValues read = Lookup(hive, kVersionKey, kAsked);
        EXPECT_EQ(read.Result, HiveKeyResult::Unreadable);
        EXPECT_NE(read.Problem, "");
        EXPECT_TRUE(read.Values.empty());
    }
}

TEST(HiveFileRules, DamagedValuesReadAsUnreadable)
{
    struct Row {
        const char* label;
        uint32_t size;  // the value's size field, with the inline bit
        uint32_t data;  // the value's data field; 0: a cell of 16 bytes
        uint32_t minor;
    };
    const Row rows[] = {
        {"inline data of eight bytes", 0x80000008, 0, 5},
        {"a size beyond every limit", 0x7FFFFFFF, 0, 5},
        {"data outside the file", 8, 0x7FFFFFF0, 5},
        {"big data without its db cell", 20000, 0, 5},
        {"big data with too few segments", 40000, 1, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        HiveBuilder b;
        uint32_t data = row.data;
        if (data == 0) data = b.Cell(std::string(16, 'x'));
        if (data == 1) data = b.Cell("db" + Le(1, 2) + Le(b.ValueList({b.Cell(std::string(16344, 'x'))})) + Le(0));
        const uint32_t value =
            b.Cell("vk" + Le(4, 2) + Le(row.size) + Le(data) + Le(3) + Le(1, 2) + Le(0, 2) + "Data");
        const std::string hive = b.Hive(b.Key("ROOT", 0, 0xFFFFFFFF, 1, b.ValueList({value})), row.minor);
        EXPECT_EQ(Lookup(hive, "", {"Data"}).Result, HiveKeyResult::Unreadable);
        EXPECT_EQ(Lookup(hive, "", {"Other"}).Result, HiveKeyResult::Read) << "unless nobody asks for it";
    }
}

TEST(HiveFileRules, TextsAndNumbersOfValues)
{
    const std::string tarn = Utf16("Tarn");
    EXPECT_EQ(HiveValueText({1, tarn + std::string(2, '\0') + Utf16("after")}), u"Tarn") << "up to the first zero";
    EXPECT_EQ(HiveValueText({2, tarn + "x"}), u"Tarn") << "half a character dropped";
    EXPECT_EQ(HiveValueText({1, ""}), u"");
    EXPECT_EQ(HiveValueText({1, std::string("\xE9\x00\x3B\x26", 4)}), std::u16string(u"\u00E9\u263B"));
    for (uint32_t type : {0u, 3u, 4u, 7u}) EXPECT_FALSE(HiveValueText({type, tarn})) << type;

    EXPECT_EQ(AsciiText(u"Tarn OS"), "Tarn OS");
    EXPECT_FALSE(AsciiText(u"Tarn \u00C9dition"));

    EXPECT_EQ(HiveValueNumber({4, Le(0xFFFFFFFE)}), 0xFFFFFFFEu);
    EXPECT_EQ(HiveValueNumber({11, Le(1) + Le(2)}), 0x200000001ull);
    EXPECT_FALSE(HiveValueNumber({4, Le(1) + Le(0)})) << "a DWORD of eight bytes";
    EXPECT_FALSE(HiveValueNumber({11, Le(1)}));
    EXPECT_FALSE(HiveValueNumber({1, Le(1)}));
}
