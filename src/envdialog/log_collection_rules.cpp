#include "envdialog/log_collection_rules.h"

#include "common/text.h"

#include <algorithm>
#include <cstdio>

namespace {

// Windows PE's own folders, relative to its Windows folder.
struct PlannedPart {
    LogSourceKind kind;
    const char* relative;
    const char* pattern;
};
constexpr PlannedPart kPeParts[] = {
    {LogSourceKind::Tree, "Logs", ""},
    {LogSourceKind::Tree, "Panther", ""},
    {LogSourceKind::File, "System32\\wpeinit.log", ""},
    {LogSourceKind::Matching, "INF", "setupapi*.log"},
};
constexpr PlannedPart kTargetParts[] = {
    {LogSourceKind::Tree, "Panther", ""},
    {LogSourceKind::Tree, "Logs\\CBS", ""},
    {LogSourceKind::Tree, "Logs\\DISM", ""},
    {LogSourceKind::File, "INF\\setupapi.dev.log", ""},
    {LogSourceKind::Tree, "Minidump", ""},
    {LogSourceKind::File, "System32\\LogFiles\\Srt\\SrtTrail.txt", ""},
};

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

std::string FileNameOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path of a part: below windows, except that System32 is reached through systemFolder when
// one is given (the 32-bit build's view of System32 on a 64-bit system is another folder; the
// redirection touches System32 alone).
std::string PartPath(const std::string& windows, const std::string& systemFolder, const std::string& relative)
{
    const std::string system32 = "SYSTEM32\\";
    if (!systemFolder.empty() && UpperAscii(relative.substr(0, system32.size())) == system32) {
        return systemFolder + "\\" + relative.substr(system32.size());
    }
    return windows + "\\" + relative;
}

template <size_t N>
void AddParts(std::vector<LogSource>& sources, const PlannedPart (&parts)[N], const std::string& windows,
              const std::string& systemFolder, const std::string& prefix)
{
    for (const PlannedPart& part : parts) {
        sources.push_back({part.kind, PartPath(windows, systemFolder, part.relative), part.pattern, prefix + part.relative});
    }
}

// Names never copied, wherever they lie; upper case, '*' for any run of characters.
struct WithheldName {
    const char* pattern;
    CopyDecision decision;
};
constexpr WithheldName kWithheldNames[] = {
    {"TARN_PASSWORD.TXT", CopyDecision::Withheld},
    {"TARN_LOGON.INI", CopyDecision::Withheld},
    // Windows Setup's answer files: Setup keeps the one it ran with in Panther, deployment tools
    // leave theirs beside it, and they hold the administrator's and AutoLogon passwords and the
    // account that joins the domain.
    {"UNATTEND*.XML", CopyDecision::AnswerFile},
    {"AUTOUNATTEND*.XML", CopyDecision::AnswerFile},
    {"SYSPREP.INF", CopyDecision::AnswerFile},
};

bool MatchesName(std::string_view name, std::string_view pattern)
{
    const size_t star = pattern.find('*');
    if (star == std::string_view::npos) return name == pattern;
    const std::string_view head = pattern.substr(0, star), tail = pattern.substr(star + 1);
    return name.size() >= head.size() + tail.size() && name.substr(0, head.size()) == head &&
           name.substr(name.size() - tail.size()) == tail;
}

}  // namespace

std::vector<LogSource> PlanLogSources(const std::string& runLogPath, const std::string& peWindows,
                                      const std::string& targetWindows, const std::string& peSystemFolder)
{
    std::vector<LogSource> sources;
    if (!runLogPath.empty() && !FileNameOf(runLogPath).empty()) {
        sources.push_back({LogSourceKind::File, runLogPath, "", "PE\\" + FileNameOf(runLogPath)});
    }
    if (!peWindows.empty()) {
        AddParts(sources, kPeParts, WithoutTrailingSlash(peWindows), WithoutTrailingSlash(peSystemFolder),
                 "PE\\Windows\\");
    }
    if (!targetWindows.empty()) AddParts(sources, kTargetParts, WithoutTrailingSlash(targetWindows), "", "Target\\");
    return sources;
}

CopyDecision DecideCopy(std::string_view fileName, unsigned long long size, bool reparsePoint,
                        unsigned long long sizeLimit)
{
    // Judged as Windows opens the name: "unattend.xml. " opens unattend.xml.
    std::string upper = UpperAscii(fileName);
    while (!upper.empty() && (upper.back() == '.' || upper.back() == ' ')) upper.pop_back();
    for (const WithheldName& withheld : kWithheldNames) {
        if (MatchesName(upper, withheld.pattern)) return withheld.decision;
    }
    if (reparsePoint) return CopyDecision::ReparsePoint;
    return size > sizeLimit ? CopyDecision::TooLarge : CopyDecision::Copy;
}

std::string CollectionFolderName(std::string_view computerName, int year, int month, int day, int hour, int minute,
                                 int second)
{
    std::string name;
    for (char c : computerName) {
        const bool bad = static_cast<unsigned char>(c) <= ' ' || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
        name += bad ? '_' : c;
    }
    // A name of dots alone would name the folder itself or its parent.
    if (name.find_first_not_of('.') == std::string::npos) name = "PC";
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", year, month, day, hour, minute, second);
    return name + stamp;
}

std::string WithThousands(unsigned long long value)
{
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

std::string TooLargeReason(unsigned long long sizeLimit) { return "larger than " + WithThousands(sizeLimit) + " bytes"; }
std::string WithheldReason() { return "withheld: the password or the settings file"; }
std::string AnswerFileReason() { return "withheld: a Windows Setup answer file, which may hold passwords"; }
std::string ReparsePointReason() { return "a junction or link, not followed"; }
std::string UnreadableReason(const std::string& errorText) { return "unreadable: " + errorText; }
std::string NotWrittenReason(const std::string& errorText) { return "not written: " + errorText; }

std::string FormatIndex(const IndexHeader& header, const std::vector<IndexEntry>& entries)
{
    unsigned long long copiedBytes = 0;
    size_t copied = 0;
    for (const IndexEntry& entry : entries) {
        if (entry.outcome != IndexOutcome::Copied) continue;
        ++copied;
        copiedBytes += entry.size;
    }
    std::string text = "Tarn Logon log collection\r\n";
    text += "Computer: " + header.computer + "\r\n";
    text += "Collected: " + header.when + "\r\n";
    text += "Windows PE: " + header.peWindows + "\r\n";
    text += "Installation: " + (header.targetWindows.empty() ? std::string("(none selected)") : header.targetWindows) + "\r\n";
    if (header.cancelled) {
        text += header.byOperator ? "Cancelled by the operator" : "Cancelled: the program was ending";
        text += ": the lists below are what was done until then.\r\n";
    }
    text += "\r\nCopied: " + std::to_string(copied) + " files, " + WithThousands(copiedBytes) + " bytes\r\n";
    for (const IndexEntry& entry : entries) {
        if (entry.outcome == IndexOutcome::Copied) text += "  " + entry.source + "  (" + WithThousands(entry.size) + " bytes)\r\n";
    }
    const auto skipped = std::count_if(entries.begin(), entries.end(),
                                       [](const IndexEntry& entry) { return entry.outcome == IndexOutcome::Skipped; });
    text += "\r\nSkipped: " + std::to_string(skipped) + " files\r\n";
    for (const IndexEntry& entry : entries) {
        if (entry.outcome == IndexOutcome::Skipped) {
            text += "  " + entry.source + "  (" + WithThousands(entry.size) + " bytes): " + entry.reason + "\r\n";
        }
    }
    const size_t absent = entries.size() - copied - static_cast<size_t>(skipped);
    if (absent == 0) return text;
    text += "\r\nNot found: " + std::to_string(absent) + " of the planned files and folders\r\n";
    for (const IndexEntry& entry : entries) {
        if (entry.outcome == IndexOutcome::Absent) text += "  " + entry.source + "\r\n";
    }
    return text;
}
