// The run log's line format. No platform calls: the values come from outside (command lines,
// registry strings, paths, message texts), so the rules are tested and fuzzed on their own.
//
// A line is "YYYY-MM-DD HH:MM:SS.mmm <event> key=value key=value ...", CR LF, at most
// kMaxLogLineBytes bytes with its line end. A value is written as it is unless it is empty or
// holds a blank, a double quote or a control byte; then it stands in double quotes, each double
// quote inside is doubled (say "open" becomes "say ""open"""), and each run of control bytes
// (line breaks, tabs) becomes one blank, so that an event never spans two lines. A line that
// would be longer is cut at a whole character of the written text and ends in "..." instead.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

constexpr size_t kMaxLogLineBytes = 2000;

// Local time of an event, as the platform reports it.
struct LogTime {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// A field with an empty key is left out: a caller names a detail only where it applies.
struct LogField {
    std::string_view key;
    std::string value;
};

// The value as a line writes it: bare, or in double quotes by the rules above.
std::string QuoteLogValue(std::string_view value);

// One whole line, line end included.
std::string FormatLogLine(const LogTime& time, std::string_view event, std::initializer_list<LogField> fields);
