#include "envdialog/log_collection_rules.h"

#include "common/text.h"

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

template <size_t N>
void AddParts(std::vector<LogSource>& sources, const PlannedPart (&parts)[N], const std::string& windows,
              const std::string& prefix)
{
    for (const PlannedPart& part : parts) {
        sources.push_back({part.kind, windows + "\\" + part.relative, part.pattern, prefix + part.relative});
    }
}

}  // namespace

std::vector<LogSource> PlanLogSources(const std::string& runLogPath, const std::string& peWindows,
                                      const std::string& targetWindows)
{
    std::vector<LogSource> sources;
    if (!runLogPath.empty() && !FileNameOf(runLogPath).empty()) {
        sources.push_back({LogSourceKind::File, runLogPath, "", "PE\\" + FileNameOf(runLogPath)});
    }
    if (!peWindows.empty()) AddParts(sources, kPeParts, WithoutTrailingSlash(peWindows), "PE\\Windows\\");
    if (!targetWindows.empty()) AddParts(sources, kTargetParts, WithoutTrailingSlash(targetWindows), "Target\\");
    return sources;
}

CopyDecision DecideCopy(std::string_view fileName, unsigned long long size, bool reparsePoint,
                        unsigned long long sizeLimit)
{
    const std::string upper = UpperAscii(fileName);
    if (upper == "TARN_PASSWORD.TXT" || upper == "TARN_LOGON.INI") return CopyDecision::Withheld;
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
    if (header.cancelled) text += "Cancelled by the operator: the lists below are what was done until then.\r\n";
    text += "\r\nCopied: " + std::to_string(copied) + " files, " + WithThousands(copiedBytes) + " bytes\r\n";
    for (const IndexEntry& entry : entries) {
        if (entry.outcome == IndexOutcome::Copied) text += "  " + entry.source + "  (" + WithThousands(entry.size) + " bytes)\r\n";
    }
    text += "\r\nSkipped: " + std::to_string(entries.size() - copied) + " files\r\n";
    for (const IndexEntry& entry : entries) {
        if (entry.outcome == IndexOutcome::Skipped) {
            text += "  " + entry.source + "  (" + WithThousands(entry.size) + " bytes): " + entry.reason + "\r\n";
        }
    }
    return text;
}
