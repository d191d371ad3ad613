// Collect logs: which files of the running Windows PE and of the selected installation are
// copied, where each one goes under the collection folder, which are left out and what the
// folder's index.txt says. No platform calls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Files larger than this are listed in the index, not copied: a full memory dump is no log.
constexpr unsigned long long kLogSizeLimit = 256ull * 1024 * 1024;

enum class LogSourceKind {
    File,      // one file
    Tree,      // a folder with everything below it
    Matching,  // the files of one folder whose names match pattern, not its subfolders
};

struct LogSource {
    LogSourceKind kind = LogSourceKind::File;
    std::string path;         // without a trailing backslash
    std::string pattern;      // Matching only, for FindFirstFile: "setupapi*.log"
    std::string destination;  // relative to the collection folder: "PE\\Windows\\Logs"
};

// The sources in the order they are copied: the run log (when there is one) and the Windows PE
// folders under PE\, then the installation's under Target\ (when one is selected). A File's
// destination names the file; the others name a folder. peSystemFolder, when given, is the
// folder through which this program reaches Windows PE's System32 ("X:\Windows\Sysnative" for
// the 32-bit build on a 64-bit Windows PE); the copies keep the System32 name.
std::vector<LogSource> PlanLogSources(const std::string& runLogPath, const std::string& peWindows,
                                      const std::string& targetWindows, const std::string& peSystemFolder = "");

enum class CopyDecision {
    Copy,
    TooLarge,
    Withheld,      // the password or the settings file, by name, wherever it is found
    AnswerFile,    // a Windows Setup answer file, by name, wherever it is found
    ReparsePoint,  // a junction or link: what it points to lies outside the collected folders
};

CopyDecision DecideCopy(std::string_view fileName, unsigned long long size, bool reparsePoint,
                        unsigned long long sizeLimit);

// "NAME-yyyymmdd-hhmmss": the computer name with every character a folder name cannot hold (and
// blanks) made '_', "PC" when it is empty.
std::string CollectionFolderName(std::string_view computerName, int year, int month, int day, int hour, int minute,
                                 int second);

enum class IndexOutcome {
    Copied,
    Skipped,
    Absent,  // a planned file or folder that is not there
};

struct IndexEntry {
    IndexOutcome outcome = IndexOutcome::Copied;
    std::string source;
    unsigned long long size = 0;
    std::string reason;  // Skipped: why
};

struct IndexHeader {
    std::string computer;
    std::string when;  // "2026-12-09 13:15:00"
    std::string peWindows;
    std::string targetWindows;  // empty: none selected
    bool cancelled = false;
    bool byOperator = true;  // cancelled with Cancel, not by the program's end
};

// The text of index.txt, CR LF line ends.
std::string FormatIndex(const IndexHeader& header, const std::vector<IndexEntry>& entries);

// "1,234,567": the figures of the index and of the closing box.
std::string WithThousands(unsigned long long value);

// The index's reason for a skipped file (the error text only for Unreadable).
std::string TooLargeReason(unsigned long long sizeLimit);
std::string WithheldReason();
std::string AnswerFileReason();
std::string ReparsePointReason();
std::string UnreadableReason(const std::string& errorText);
std::string NotWrittenReason(const std::string& errorText);
