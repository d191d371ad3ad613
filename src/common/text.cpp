#include "common/text.h"

namespace {
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 0x20; }
}  // namespace

std::string Trim(std::string_view text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsTrimmed(text[first])) ++first;
    while (last > first && IsTrimmed(text[last - 1])) --last;
    return std::string(text.substr(first, last - first));
}

std::vector<std::string> SplitLines(std::string_view text)
{
    size_t end = text.find('\0');
    if (end != std::string_view::npos) text = text.substr(0, end);

    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.emplace_back(text.substr(start, i - start));
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string UpperAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

std::string LowerHex(std::string_view bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

std::string FillPlaceholders(std::string text, std::initializer_list<std::string_view> values)
{
    // One pass over the template, so a value that holds a mark itself is never filled again.
    std::string filled;
    for (size_t at = 0; at < text.size(); ++at) {
        const size_t index = at + 1 < text.size() && text[at] == '%' ? static_cast<size_t>(text[at + 1] - '1') : 9;
        if (index < values.size()) {
            filled += values.begin()[index];
            ++at;
        } else {
            filled += text[at];
        }
    }
    return filled;
}
