#include "common/command_mask.h"

#include "common/text.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::string_view kMask = "***";

// At most this many command lines quoted after cmd /c are split again in one line: real lines hold
// one or two, and the bound keeps a line of nested quotes from costing more than a few passes.
constexpr int kMaxInnerCommands = 8;

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

// The arguments of line from the offset on, each placed in the whole line.
std::vector<Argument> SplitArguments(std::string_view line, size_t from)
{
    std::vector<Argument> arguments;
    size_t i = from;
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

// The program an argument names, as the rules below know it: without its folder and .exe, upper case.
std::string ProgramName(const std::string& text)
{
    const size_t slash = text.find_last_of("\\/");
    std::string name = UpperAscii(slash == std::string::npos ? text : text.substr(slash + 1));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".EXE") == 0) name.resize(name.size() - 4);
    return name;
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

// NET USER [username [password | *] [options]]: the password is the positional after the name.
void MaskNetUser(const std::vector<Argument>& arguments, size_t user, std::vector<Span>& spans)
{
    size_t positionals = 0;
    for (size_t i = user + 1; i < arguments.size() && !IsCommandBreak(arguments[i]); ++i) {
        const std::string& text = arguments[i].text;
        if (!text.empty() && text[0] == '/') continue;
        if (++positionals < 2) continue;
        if (text != "*") spans.push_back({arguments[i].begin, arguments[i].end});
        return;
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

// Where a program's own switch carries its password.
enum class SecretAt {
    NextArgument,  // -pw Secret
    Glued,         // -pSecret; the switch alone asks for the password
    NextOrGlued,   // -u user:Secret or -uuser:Secret
};

// Switches documented as taking a password under names the general rule does not know. Each is
// masked only behind its own program: -rp or -pw mean other things to other tools.
struct ProgramSecrets {
    std::string_view programs;  // as ProgramName gives them, separated by blanks
    std::string_view switches;  // upper case with their - or /, separated by blanks
    SecretAt at;
    bool afterColon;  // the value is user:password, and the user stays
};

const ProgramSecrets kProgramSecrets[] = {
    {"MANAGE-BDE", "-RP -RECOVERYPASSWORD /RP /RECOVERYPASSWORD", SecretAt::NextArgument, false},
    {"PLINK PSCP PSFTP", "-PW", SecretAt::NextArgument, false},
    {"SCHTASKS", "/RP /P -RP -P", SecretAt::NextArgument, false},
    {"CURL", "-U", SecretAt::NextOrGlued, true},  // -u and -U, the proxy's user
    {"CURL", "--USER --PROXY-USER", SecretAt::NextArgument, true},
    {"7Z 7ZA 7ZR", "-P", SecretAt::Glued, false},
    {"RAR UNRAR WINRAR", "-P -HP", SecretAt::Glued, false},
};

std::vector<std::string_view> Words(std::string_view list)
{
    std::vector<std::string_view> words;
    for (size_t start = 0; start < list.size();) {
        const size_t end = std::min(list.find(' ', start), list.size());
        words.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool IsListed(std::string_view list, std::string_view word)
{
    const std::vector<std::string_view> words = Words(list);
    return std::find(words.begin(), words.end(), word) != words.end();
}

// The value from index of the argument's text on. A * asks for the password and rar's -p- turns
// the question off: neither is one.
void MaskValue(const Argument& argument, size_t index, bool afterColon, std::vector<Span>& spans)
{
    const std::string& text = argument.text;
    const std::string_view value = std::string_view(text).substr(index);
    if (value.empty() || value == "*" || value == "-") return;
    if (afterColon) {
        const size_t colon = text.find(':', index);
        if (colon == std::string::npos || colon + 1 == text.size()) return;
        index = colon + 1;
    }
    spans.push_back(index == 0 ? Span{argument.begin, argument.end} : RestOf(argument, index));
}

void MaskProgramSwitches(const std::vector<Argument>& arguments, size_t program, const ProgramSecrets& secrets,
                         std::vector<Span>& spans)
{
    const std::vector<std::string_view> names = Words(secrets.switches);
    for (size_t i = program + 1; i < arguments.size() && !IsCommandBreak(arguments[i]); ++i) {
        const std::string upper = UpperAscii(arguments[i].text);
        for (const std::string_view name : names) {
            if (upper.compare(0, name.size(), name) != 0) continue;
            if (upper.size() > name.size() && secrets.at != SecretAt::NextArgument) {
                MaskValue(arguments[i], name.size(), secrets.afterColon, spans);
            } else if (upper.size() == name.size() && secrets.at != SecretAt::Glued && i + 1 < arguments.size() &&
                       !IsCommandBreak(arguments[i + 1])) {
                MaskValue(arguments[i + 1], 0, secrets.afterColon, spans);
            }
        }
    }
}

void CollectSpans(std::string_view line, size_t from, int& innerCommands, std::vector<Span>& spans);

// cmd /c and /k (after any of cmd's other switches) run the rest of the line. When that starts
// with a quote, cmd drops it and the line's last quote and splits what lies between anew, so a
// net use quoted whole is a command line of its own, not one argument.
void MaskCmdCommand(std::string_view line, const std::vector<Argument>& arguments, size_t cmd, int& innerCommands,
                    std::vector<Span>& spans)
{
    for (size_t i = cmd + 1; i < arguments.size(); ++i) {
        const std::string upper = UpperAscii(arguments[i].text);
        if (upper.empty() || upper[0] != '/') return;
        if (upper.compare(0, 2, "/C") != 0 && upper.compare(0, 2, "/K") != 0) continue;
        // The command may follow in the next argument or glued to the switch: /c"net use ...".
        size_t start = line.size();
        if (upper.size() > 2) {
            start = arguments[i].at[1] + 1;
        } else if (i + 1 < arguments.size()) {
            start = arguments[i + 1].begin;
        }
        if (start >= line.size() || line[start] != '"' || innerCommands == 0) return;
        --innerCommands;
        const size_t last = line.find_last_of('"');
        CollectSpans(line.substr(0, last > start ? last : line.size()), start + 1, innerCommands, spans);
        return;
    }
}

void CollectSpans(std::string_view line, size_t from, int& innerCommands, std::vector<Span>& spans)
{
    const std::vector<Argument> arguments = SplitArguments(line, from);
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i].text.empty()) continue;
        MaskSwitch(arguments, i, spans);
        MaskUrlPassword(arguments[i], spans);
        const std::string program = ProgramName(arguments[i].text);
        const std::string verb = i + 1 < arguments.size() ? UpperAscii(arguments[i + 1].text) : std::string();
        if ((program == "NET" || program == "NET1") && verb == "USE") MaskNetUse(arguments, i + 1, spans);
        if ((program == "NET" || program == "NET1") && verb == "USER") MaskNetUser(arguments, i + 1, spans);
        if (program == "CMD") MaskCmdCommand(line, arguments, i, innerCommands, spans);
        for (const ProgramSecrets& secrets : kProgramSecrets) {
            if (IsListed(secrets.programs, program)) MaskProgramSwitches(arguments, i, secrets, spans);
        }
    }
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
    std::vector<Span> spans;
    int innerCommands = kMaxInnerCommands;
    CollectSpans(commandLine, 0, innerCommands, spans);
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
