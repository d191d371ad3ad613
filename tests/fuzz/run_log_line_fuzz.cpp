// Log lines from arbitrary values: every line is one whole line within the limit, and a reader
// gets every value back (line breaks and tabs as blanks) from a line that was not cut.
#include "common/run_log_line.h"

#include "fuzz_check.h"

#include <algorithm>
#include <vector>

namespace {

// What the line promises to keep of a value: each run of control bytes as one blank.
std::string Kept(const std::string& value)
{
    std::string kept;
    bool inControl = false;
    for (char c : value) {
        bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        if (!control) kept += c;
        if (control && !inControl) kept += ' ';
        inControl = control;
    }
    return kept;
}

// Reads "key=value" pairs back after the stamp and the event, by the rules of the format.
std::vector<std::string> ReadValues(const std::string& line, size_t from)
{
    std::vector<std::string> values;
    size_t at = from;
    while (at < line.size()) {
        Require(line[at] == ' ', "fields are separated by one blank");
        size_t equals = line.find('=', at);
        Require(equals != std::string::npos, "every field has an equals sign");
        at = equals + 1;
        std::string value;
        if (at < line.size() && line[at] == '"') {
            for (++at;; ++at) {
                Require(at < line.size(), "a quoted value is closed");
                if (line[at] != '"') {
                    value += line[at];
                } else if (at + 1 < line.size() && line[at + 1] == '"') {
                    value += '"';
                    ++at;
                } else {
                    ++at;
                    break;
                }
            }
        } else {
            size_t end = line.find(' ', at);
            if (end == std::string::npos) end = line.size();
            value = line.substr(at, end - at);
            at = end;
        }
        values.push_back(value);
    }
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Three values, each as long as a leading byte (times 16) says; the rest goes to the last.
    std::vector<std::string> values;
    for (int i = 0; i < 3; ++i) {
        size_t length = i == 2 ? size : std::min<size_t>(size, TakeUnsigned(data, size, 1) * 16u);
        values.push_back(BytesAsText(data, length));
        data += length;
        size -= length;
    }
    const LogTime time{2026, 12, 31, 23, 59, 59, 999};
    const std::string line = FormatLogLine(time, "autorun", {{"name", values[0]}, {"", values[1]}, {"command", values[2]}});

    Require(line.size() <= kMaxLogLineBytes, "a line stays within the limit");
    Require(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0, "a line ends in CR LF");
    Require(line.find_first_of(std::string("\r\n\0", 3)) == line.size() - 2, "no line break or zero inside a line");
    const std::string head = "2026-12-31 23:59:59.999 autorun";
    Require(line.compare(0, head.size(), head) == 0, "stamp and event come first");

    // The line as it would be without the limit: a cut line is its start, marked.
    const std::string whole = head + " name=" + QuoteLogValue(values[0]) + " command=" + QuoteLogValue(values[2]) + "\r\n";
    if (whole.size() > kMaxLogLineBytes) {
        // Left unused: at most half a doubled quote, or a field's name that no longer fits.
        Require(line.size() + sizeof(" command=") >= kMaxLogLineBytes, "a cut line uses the room there is");
        Require(line.compare(line.size() - 5, 5, "...\r\n") == 0, "a cut line ends in the mark");
        Require(whole.compare(0, line.size() - 5, line, 0, line.size() - 5) == 0, "a cut line is the start of the whole");
        return 0;
    }
    Require(line == whole, "a line within the limit is whole");
    std::string body = line.substr(0, line.size() - 2);
    std::vector<std::string> read = ReadValues(body, head.size());
    Require(read.size() == 2, "the field with an empty key is left out");
    Require(read[0] == Kept(values[0]) && read[1] == Kept(values[2]), "every value reads back");
    return 0;
}
