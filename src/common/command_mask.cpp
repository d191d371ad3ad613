#include "common/command_mask.h"

#include "common/text.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::string_view kMask = "***";

// One argument: its stretch of the line, and its text without the quotes, each character of
// which remembers where it stands in the line.
struct Argument {
    size_t begin = 0;
    size_t end = 0;
    std::string text;
    std::vector<size_t> at;
};

struct Span {
    size_t begin;
    size_t end;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<Argument> SplitArguments(std::string_view line)
{
    std::vector<Argument> arguments;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) break;
        Argument argument;
        argument.begin = i;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (line[i] == '"') {
                quoted = !quoted;
                continue;
            }
            argument.text += line[i];
            argument.at.push_back(i);
        }
        argument.end = i;
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

bool IsSecretName(std::string_view name)
{
    const std::string upper = UpperAscii(name);
    return upper == "P" || upper == "PASS" || upper == "PASSWORD" || upper == "PWD";
}

// From the character at index of the argument's text to the argument's end.
Span RestOf(const Argument& argument, size_t index) { return {argument.at[index], argument.end}; }

bool IsCommandBreak(const Argument& argument)
{
    return argument.text == "&" || argument.text == "&&" || argument.text == "|" || argument.text == "||";
}

// A switch naming a secret: its value, in this argument or (for the forms that take it so)
// in the next one.
void MaskSwitch(const std::vector<Argument>& arguments, size_t index, std::vector<Span>& spans)
{
    const std::string& text = arguments[index].text;
    size_t nameStart = text.rfind("--", 0) == 0 ? 2 : (text[0] == '-' || text[0] == '/') ? 1 : 0;
    // A bare name takes only "=": "p:" would be a drive.
    size_t separator = text.find_first_of(nameStart ? ":=" : "=", nameStart);
    std::string_view name = std::string_view(text).substr(nameStart, separator - nameStart);
    if (!IsSecretName(name)) return;
    if (separator != std::string::npos) {
        if (separator + 1 < text.size()) spans.push_back(RestOf(arguments[index], separator + 1));
        return;
    }
    const bool takesNext = (nameStart && text[0] == '-') || (text[0] == '/' && name.size() > 1);
    if (takesNext && index + 1 < arguments.size() && !IsCommandBreak(arguments[index + 1])) {
        spans.push_back({arguments[index + 1].begin, arguments[index + 1].end});
    }
}

bool IsNetProgram(const std::string& text)
{
    const size_t slash = text.find_last_of("\\/");
    const std::string name = UpperAscii(slash == std::string::npos ? text : text.substr(slash + 1));
    return name == "NET" || name == "NET.EXE" || name == "NET1" || name == "NET1.EXE";
}

bool IsUserSwitch(const std::string& text, size_t& colon)
{
    colon = text.find(':');
    if (text.size() < 2 || text[0] != '/' || colon == std::string::npos || colon < 2) return false;
    return std::string_view("USER").substr(0, colon - 1) == UpperAscii(text.substr(1, colon - 1));
}

// NET USE [devicename | *] [\\computername\sharename[\volume] [password | *]] [/USER:...]:
// the password is the first positional after the share, wherever the switches put it.
void MaskNetUse(const std::vector<Argument>& arguments, size_t use, std::vector<Span>& spans)
{
    bool shareSeen = false;
    bool passwordSeen = false;
    for (size_t i = use + 1; i < arguments.size() && !IsCommandBreak(arguments[i]); ++i) {
        const std::string& text = arguments[i].text;
        size_t colon = 0;
        if (IsUserSwitch(text, colon)) {
            const size_t second = text.find(':', colon + 1);
            if (second != std::string::npos && second + 1 < text.size()) {
                spans.push_back(RestOf(arguments[i], second + 1));
            }
        } else if (!text.empty() && text[0] == '/') {
            continue;
        } else if (!shareSeen) {
            shareSeen = text.rfind("\\\\", 0) == 0 || text.find("://") != std::string::npos;
        } else if (!passwordSeen) {
            passwordSeen = true;
            if (text != "*") spans.push_back({arguments[i].begin, arguments[i].end});
        }
    }
}

void MaskUrlPassword(const Argument& argument, std::vector<Span>& spans)
{
    const std::string& text = argument.text;
    const size_t scheme = text.find("://");
    if (scheme == std::string::npos) return;
    const size_t authority = scheme + 3;
    const size_t at = text.find('@', authority);
    if (at == std::string::npos || text.find('/', authority) < at) return;
    const size_t colon = text.find(':', authority);
    if (colon == std::string::npos || colon + 1 >= at) return;
    spans.push_back({argument.at[colon + 1], argument.at[at]});
}

// A quote the mask takes away is put back behind it, so that the rest of the line keeps its
// arguments: a quote inside a URL's password, say, would otherwise glue the next ones together.
std::string Replacement(std::string_view line, const Span& span)
{
    const auto quotes = std::count(line.begin() + span.begin, line.begin() + span.end, '"');
    return quotes % 2 == 1 ? std::string(kMask) + '"' : std::string(kMask);
}

}  // namespace

std::string MaskCommandCredentials(std::string_view commandLine)
{
    const std::vector<Argument> arguments = SplitArguments(commandLine);
    std::vector<Span> spans;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i].text.empty()) continue;
        MaskSwitch(arguments, i, spans);
        MaskUrlPassword(arguments[i], spans);
        if (IsNetProgram(arguments[i].text) && i + 1 < arguments.size() && UpperAscii(arguments[i + 1].text) == "USE") {
            MaskNetUse(arguments, i + 1, spans);
        }
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    std::vector<Span> merged;
    for (const Span& span : spans) {
        if (!merged.empty() && span.begin <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, span.end);
        } else {
            merged.push_back(span);
        }
    }

    std::string masked;
    size_t copied = 0;
    for (const Span& span : merged) {
        masked.append(commandLine.substr(copied, span.begin - copied));
        masked += Replacement(commandLine, span);
        copied = span.end;
    }
    masked.append(commandLine.substr(copied));
    return masked;
}
