// Text helpers on counted 8-bit strings (std::string). No platform calls.
#pragma once

#include <string>
#include <initializer_list>
#include <string_view>
#include <vector>

// Removes every byte of value 0x20 or below (blanks, tabs, all control characters) from both ends.
std::string Trim(std::string_view text);

// Splits text into lines. A line ends at CR LF, at a lone CR or at a lone LF; a zero byte ends
// the text. A final line break does not start another (empty) line.
std::vector<std::string> SplitLines(std::string_view text);

// Byte-wise ASCII upper case; other bytes are left as they are.
std::string UpperAscii(std::string_view text);

// Each byte as two lower-case hexadecimal digits, as thumbprints and hashes are written.
std::string LowerHex(std::string_view bytes);

// The text with every %1 replaced by the first value, %2 by the second, and so on up to %9; a
// mark without a value stays as it is.
std::string FillPlaceholders(std::string text, std::initializer_list<std::string_view> values);
