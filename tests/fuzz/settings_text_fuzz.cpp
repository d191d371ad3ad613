// The settings text from arbitrary bytes: whatever the file holds, the result is well-formed
// and depends on the lines only, not on how they are ended.
#include "session/settings_text.h"

#include "fuzz_check.h"

namespace {

TSettings Parse(const std::string& text)
{
    TSettings settings;
    ApplySettingsText(text, settings);
    return settings;
}

bool SameSettings(const TSettings& a, const TSettings& b)
{
    if (a.CADApplication != b.CADApplication || a.CSEApplication != b.CSEApplication || a.UseRegRun != b.UseRegRun ||
        a.ShutdownEmulate != b.ShutdownEmulate || a.LangModuleName != b.LangModuleName ||
        a.LessLogonMode != b.LessLogonMode || a.EnableRebootButton != b.EnableRebootButton || a.LogFile != b.LogFile ||
        a.ShellList.Count() != b.ShellList.Count()) {
        return false;
    }
    for (size_t i = 0; i < a.ShellList.Count(); ++i) {
        const TShellItem& x = a.ShellList.At(static_cast<long long>(i));
        const TShellItem& y = b.ShellList.At(static_cast<long long>(i));
        if (x.Name != y.Name || x.CommandLine != y.CommandLine || x.Reserved != y.Reserved) return false;
    }
    return true;
}

// Trimmed, and a piece of one line: no line end and no zero byte inside.
bool IsCleanValue(const std::string& value)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    if (!value.empty() && (blank(value.front()) || blank(value.back()))) return false;
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

std::string WithLfLineEnds(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        result += text[i];
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text = BytesAsText(data, size);
    const TSettings settings = Parse(text);

    Require(SameSettings(settings, Parse(text)), "parsing is deterministic");
    Require(SameSettings(settings, Parse(WithLfLineEnds(text))), "CR LF and LF end lines alike");
    Require(SameSettings(settings, Parse(text + "\r\n")), "a final line break adds nothing");

    for (const std::string* value : {&settings.CADApplication, &settings.CSEApplication, &settings.LangModuleName, &settings.LogFile}) {
        Require(!value->empty() && IsCleanValue(*value), "text settings are never empty and always trimmed");
    }
    size_t lineEnds = 0;
    for (char c : text) lineEnds += c == '\n' || c == '\r';
    Require(settings.ShellList.Count() <= lineEnds, "a shell entry needs the marker line before it");
    for (size_t i = 0; i < settings.ShellList.Count(); ++i) {
        const TShellItem& item = settings.ShellList.At(static_cast<long long>(i));
        Require(IsCleanValue(item.Name) && IsCleanValue(item.CommandLine), "shell entries are trimmed single lines");
        Require(item.Name.find('=') == std::string::npos, "a shell name ends at the first equals sign");
        Require(item.Reserved.empty(), "Reserved stays empty");
    }
    return 0;
}
