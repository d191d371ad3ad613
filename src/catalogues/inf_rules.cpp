#include "catalogues/inf_rules.h"

#include "common/text.h"

#include <algorithm>
#include <deque>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

// The syntax follows Microsoft's "General Syntax Rules for INF Files", "INF Manufacturer Section",
// "INF Models Section", "INF Strings Section" and "Combining Platform Extensions with Operating
// System Versions" (learn.microsoft.com, windows-hardware/drivers/install).

namespace {

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        // A lone surrogate stands for nothing readable.
        if (c >= 0xD800 && c < 0xE000) c = '?';
        AppendUtf8(out, c);
    }
    return out;
}

// A section's lines are views into the file's text, or into the section list's own store for a
// line joined from several: a vendor pack holds thousands of files of mostly registry lines that
// are never looked at, and copying each would cost more than reading the file.
using Lines = std::vector<std::string_view>;
struct Sections {
    std::unordered_map<std::string, Lines> byName;  // by upper-case name
    std::deque<std::string> joined;                 // stable while more are added
};

// Cuts the comment off a physical line: a ';' outside quotes.
std::string_view WithoutComment(std::string_view line)
{
    // Most lines of a pack have no comment at all.
    if (line.find(';') == std::string_view::npos) return line;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ';' && !quoted) return line.substr(0, i);
    }
    return line;
}

std::string_view TrimView(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
    return text.substr(begin, end - begin);
}

// Every section's logical lines, comments and continuations resolved, blank lines dropped; lines
// before the first section belong to none and are dropped too.
// The text must outlive the sections.
Sections SplitSections(std::string_view text)
{
    Sections sections;
    Lines* current = nullptr;
    std::string logical;
    bool joining = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view piece = TrimView(WithoutComment(text.substr(at, end - at)));
        at = end + 1;
        if (!piece.empty() && piece.back() == '\\') {
            logical.append(piece.substr(0, piece.size() - 1));
            joining = true;
            if (at < text.size()) continue;
        } else if (joining) {
            logical.append(piece);
        }
        std::string_view line = joining ? TrimView(logical) : piece;
        if (!line.empty() && line.front() == '[') {
            size_t close = line.find(']');
            std::string_view name = TrimView(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            current = &sections.byName[UpperAscii(name)];
        } else if (!line.empty() && current) {
            if (joining) line = sections.joined.emplace_back(line);
            current->push_back(line);
        }
        logical.clear();
        joining = false;
    }
    return sections;
}

// The position of the first character c outside quotes, or npos.
size_t FindUnquoted(std::string_view text, char c, size_t from = 0)
{
    bool quoted = false;
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        else if (text[i] == c && !quoted) return i;
    }
    return std::string_view::npos;
}

// A field's text: blanks around it dropped, quotes removed, "" inside quotes a quote.
std::string Unquoted(std::string_view field)
{
    field = TrimView(field);
    std::string out;
    out.reserve(field.size());
    bool quoted = false;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '"') {
            out += field[i];
        } else if (quoted && i + 1 < field.size() && field[i + 1] == '"') {
            out += '"';
            ++i;
        } else {
            quoted = !quoted;
        }
    }
    return out;
}

struct Entry {
    std::string key;  // empty for a line without '='
    std::vector<std::string> fields;
};

Entry SplitEntry(std::string_view line)
{
    Entry entry;
    size_t equals = FindUnquoted(line, '=');
    std::string_view value = line;
    if (equals != std::string_view::npos) {
        entry.key = Unquoted(line.substr(0, equals));
        value = line.substr(equals + 1);
    }
    size_t start = 0;
    while (true) {
        size_t comma = FindUnquoted(value, ',', start);
        entry.fields.push_back(Unquoted(value.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                                            : comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return entry;
}

class StringTable {
public:
    explicit StringTable(const Sections& sections)
    {
        // The plain [Strings] first; a localized [Strings.xxxx] fills in only what it lacks.
        Add(sections, "STRINGS");
        for (const auto& [name, lines] : sections.byName) {
            if (name.size() > 8 && name.compare(0, 8, "STRINGS.") == 0) Add(sections, name);
        }
    }
    std::string Substitute(const std::string& text) const
    {
        if (text.find('%') == std::string::npos) return text;
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%') {
                out += text[i];
                continue;
            }
            size_t close = text.find('%', i + 1);
            if (close == std::string::npos) {
                out.append(text, i, std::string::npos);
                break;
            }
            if (close == i + 1) {
                out += '%';
            } else {
                auto found = values_.find(UpperAscii(std::string_view(text).substr(i + 1, close - i - 1)));
                // A token without a value stays as written, as Windows shows it.
                out += found != values_.end() ? found->second : text.substr(i, close - i + 1);
            }
            i = close;
        }
        return out;
    }

private:
    void Add(const Sections& sections, const std::string& name)
    {
        auto section = sections.byName.find(name);
        if (section == sections.byName.end()) return;
        for (std::string_view line : section->second) {
            size_t equals = FindUnquoted(line, '=');
            if (equals == std::string::npos) continue;
            // A value's %% is a percent sign too; a token in it is not looked up again.
            const std::string quoted = Unquoted(line.substr(equals + 1));
            std::string value;
            value.reserve(quoted.size());
            for (size_t i = 0; i < quoted.size(); ++i) {
                value += quoted[i];
                if (quoted[i] == '%' && i + 1 < quoted.size() && quoted[i + 1] == '%') ++i;
            }
            // The first definition counts, as Windows reads a merged section from its top.
            values_.emplace(UpperAscii(Unquoted(line.substr(0, equals))), std::move(value));
        }
    }
    std::unordered_map<std::string, std::string> values_;
};

const Lines* FindSection(const Sections& sections, std::string_view name)
{
    auto found = sections.byName.find(UpperAscii(name));
    return found == sections.byName.end() ? nullptr : &found->second;
}

unsigned long NumberOr(std::string_view text, unsigned long fallback)
{
    if (text.empty()) return fallback;
    // 64 bits whatever the platform: unsigned long is 32 on Windows, where a number too large
    // would wrap into a small one before the check saw it.
    unsigned long long value = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    for (char c : text) {
        int digit = c >= '0' && c <= '9' ? c - '0' : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return fallback;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) return fallback;
    }
    return static_cast<unsigned long>(value);
}

std::vector<std::string_view> SplitDots(std::string_view text)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        size_t dot = text.find('.', start);
        parts.push_back(text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) return parts;
        start = dot + 1;
    }
}

struct Decoration {
    bool fits = false;
    unsigned long major = 0, minor = 0, build = 0;
};

// nt[Architecture][.[OSMajorVersion][.[OSMinorVersion][.[ProductType][.[SuiteMask][.[BuildNumber]]]]]]
Decoration ReadDecoration(std::string_view text, const InfPlatform& platform)
{
    Decoration decoration;
    const std::string upper = UpperAscii(text);
    std::vector<std::string_view> parts = SplitDots(upper);
    if (parts[0].size() < 2 || parts[0].compare(0, 2, "NT") != 0) return decoration;
    const std::string_view architecture = parts[0].substr(2);
    // "NT" alone is the x86 decoration: every other processor must be named.
    const std::string wanted = UpperAscii(platform.architecture);
    if (architecture.empty() ? wanted != "X86" : architecture != wanted) return decoration;
    // An empty field is 0 (any); one that is no number, or too large for one, makes the section
    // one this Windows does not take.
    constexpr unsigned long kUnreadable = 0xFFFFFFFFul;
    bool unreadable = false;
    auto field = [&](size_t i) {
        if (i >= parts.size() || parts[i].empty()) return 0ul;
        const unsigned long value = NumberOr(parts[i], kUnreadable);
        unreadable = unreadable || value == kUnreadable;
        return value;
    };
    decoration.major = field(1);
    decoration.minor = field(2);
    const unsigned long productType = field(3);
    decoration.build = field(5);
    if (unreadable || (productType != 0 && productType != platform.productType)) return decoration;
    auto key = [](unsigned long a, unsigned long b, unsigned long c) { return std::make_tuple(a, b, c); };
    decoration.fits = key(decoration.major, decoration.minor, decoration.build) <=
                      key(platform.major, platform.minor, platform.build);
    return decoration;
}

}  // namespace

std::string InfText(std::string_view bytes)
{
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return Utf16LeToUtf8(bytes.substr(2));
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return std::string(bytes.substr(3));
    return std::string(bytes);
}

std::string ChooseModelsSection(const std::vector<std::string>& fields, const InfPlatform& platform)
{
    if (fields.empty() || fields[0].empty()) return std::string();
    const Decoration* best = nullptr;
    std::vector<Decoration> decorations;
    decorations.reserve(fields.size());
    size_t bestField = 0;
    for (size_t i = 1; i < fields.size(); ++i) {
        decorations.push_back(ReadDecoration(fields[i], platform));
        const Decoration& d = decorations.back();
        if (!d.fits) continue;
        if (!best || std::make_tuple(d.major, d.minor, d.build) > std::make_tuple(best->major, best->minor, best->build)) {
            best = &d;
            bestField = i;
        }
    }
    if (best) return fields[0] + "." + fields[bestField];
    return UpperAscii(platform.architecture) == "X86" ? fields[0] : std::string();
}

uint32_t InfDate(std::string_view text)
{
    text = TrimView(text);
    const size_t first = text.find('/');
    const size_t second = first == std::string_view::npos ? first : text.find('/', first + 1);
    if (second == std::string_view::npos) return 0;
    const unsigned long month = NumberOr(text.substr(0, first), 0);
    const unsigned long day = NumberOr(text.substr(first + 1, second - first - 1), 0);
    const unsigned long year = NumberOr(text.substr(second + 1), 0);
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1 || year > 9999) return 0;
    return static_cast<uint32_t>(year * 10000 + month * 100 + day);
}

uint64_t InfVersion(std::string_view text)
{
    std::vector<std::string_view> parts = SplitDots(TrimView(text));
    uint64_t version = 0;
    for (size_t i = 0; i < 4; ++i) {
        const unsigned long part = i < parts.size() ? NumberOr(TrimView(parts[i]), 0) : 0;
        version = (version << 16) | (part & 0xFFFF);
    }
    return version;
}

InfDriver ReadInfDriver(std::string_view bytes, const InfPlatform& platform)
{
    InfDriver driver;
    // Only UTF-16 needs a copy of the bytes; the others are read where they are.
    std::string converted;
    std::string_view text = bytes;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') text = converted = InfText(bytes);
    else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) text.remove_prefix(3);
    const Sections sections = SplitSections(text);
    const StringTable strings(sections);
    if (const Lines* version = FindSection(sections, "Version")) {
        for (std::string_view line : *version) {
            Entry entry = SplitEntry(line);
            const std::string key = UpperAscii(entry.key);
            if (key == "CLASS" && driver.className.empty()) driver.className = strings.Substitute(entry.fields[0]);
            if (key == "CLASSGUID" && driver.classGuid.empty()) driver.classGuid = strings.Substitute(entry.fields[0]);
            if (key == "DRIVERVER" && driver.driverVer.empty()) {
                std::string date = strings.Substitute(entry.fields[0]);
                std::string number = entry.fields.size() > 1 ? strings.Substitute(entry.fields[1]) : std::string();
                driver.date = InfDate(date);
                driver.version = InfVersion(number);
                driver.driverVer = number.empty() ? date : date + "," + number;
            }
        }
    }
    const Lines* manufacturers = FindSection(sections, "Manufacturer");
    if (!manufacturers) return driver;
    std::unordered_set<std::string> read;  // a models section named twice is read once
    for (std::string_view line : *manufacturers) {
        Entry entry = SplitEntry(line);
        // "manufacturer-name" alone names its models section itself.
        if (entry.key.empty() && entry.fields.size() == 1) entry.fields[0] = strings.Substitute(entry.fields[0]);
        const std::string name = UpperAscii(ChooseModelsSection(entry.fields, platform));
        if (name.empty() || !read.insert(name).second) continue;
        const Lines* models = FindSection(sections, name);
        if (!models) continue;
        for (std::string_view modelLine : *models) {
            Entry model = SplitEntry(modelLine);
            if (model.key.empty() || model.fields.size() < 2) continue;
            InfModel found;
            found.description = strings.Substitute(model.key);
            found.installSection = strings.Substitute(model.fields[0]);
            for (size_t i = 1; i < model.fields.size(); ++i) found.ids.push_back(strings.Substitute(model.fields[i]));
            driver.models.push_back(std::move(found));
        }
    }
    return driver;
}
