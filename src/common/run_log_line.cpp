#include "common/run_log_line.h"

#include <cstdio>
#include <utility>

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kCutMark = "...";

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool NeedsQuotes(std::string_view value)
{
    if (value.empty()) return true;
    for (char c : value) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == '"' || c == 0x7F) return true;
    }
    return false;
}

// Appends text unless that would pass the budget; a unit that does not fit whole is left out.
struct Budget {
    std::string& line;
    size_t limit;
    bool cut = false;
    bool Append(std::string_view text)
    {
        if (cut || line.size() + text.size() > limit) {
            cut = true;
            return false;
        }
        line.append(text);
        return true;
    }
};

void AppendQuoted(Budget& out, std::string_view value)
{
    if (!out.Append("\"")) return;
    for (size_t i = 0; i < value.size(); ++i) {
        auto c = static_cast<unsigned char>(value[i]);
        if (IsControl(c)) {
            while (i + 1 < value.size() && IsControl(static_cast<unsigned char>(value[i + 1]))) ++i;
            if (!out.Append(" ")) return;
        } else if (c == '"') {
            if (!out.Append("\"\"")) return;
        } else if (!out.Append(std::string_view(&value[i], 1))) {
            return;
        }
    }
    out.Append("\"");
}

void AppendValue(Budget& out, std::string_view value)
{
    if (NeedsQuotes(value)) {
        AppendQuoted(out, value);
    } else {
        // A bare value is cut byte by byte like a quoted one, so a long path still shows its start.
        for (char c : value) {
            if (!out.Append(std::string_view(&c, 1))) return;
        }
    }
}

}  // namespace

std::string QuoteLogValue(std::string_view value)
{
    std::string text;
    Budget out{text, std::string::npos};
    AppendValue(out, value);
    return text;
}

std::string FormatLogLine(const LogTime& time, std::string_view event, std::initializer_list<LogField> fields)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", time.year % 10000, time.month % 100,
                  time.day % 100, time.hour % 100, time.minute % 100, time.second % 100, time.milliseconds % 1000);
    auto build = [&](size_t limit) {
        std::string line = stamp;
        Budget out{line, limit};
        out.Append(event);
        for (const LogField& field : fields) {
            if (field.key.empty()) continue;
            if (!out.Append(" ") || !out.Append(field.key) || !out.Append("=")) break;
            AppendValue(out, field.value);
        }
        return std::make_pair(line, out.cut);
    };
    auto [line, cut] = build(kMaxLogLineBytes - kLineEnd.size());
    // Only a line that does not fit gives up room for the mark.
    if (cut) {
        line = build(kMaxLogLineBytes - kLineEnd.size() - kCutMark.size()).first;
        line.append(kCutMark);
    }
    line.append(kLineEnd);
    return line;
}
