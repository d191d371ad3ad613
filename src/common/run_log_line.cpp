#include "common/run_log_line.h"

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
    // "YYYY-MM-DD hh:mm:ss.mmm ", each field cut to its last digits, without snprintf: Debian's
    // arm64 Wine 8, under which the ARM64 build is run here, misreads the va_list of its printf
    // family and would end the program at its first log line.
    std::string stamp;
    auto put = [&stamp](unsigned value, unsigned width, char after) {
        std::string digits(width, '0');
        for (unsigned i = width; i-- > 0; value /= 10) digits[i] = static_cast<char>('0' + value % 10);
        stamp += digits;
        stamp += after;
    };
    put(time.year, 4, '-');
    put(time.month, 2, '-');
    put(time.day, 2, ' ');
    put(time.hour, 2, ':');
    put(time.minute, 2, ':');
    put(time.second, 2, '.');
    put(time.milliseconds, 3, ' ');
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
