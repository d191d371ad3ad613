#include "shellctl/autorun.h"

#include "common/command_mask.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "session/launch.h"
#include "session/pe_tools.h"
#include "session/shared_state.h"

#include <vector>

namespace {

constexpr const char* kRunKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\";
constexpr const char* kRunOnceKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\";
constexpr const char* kRunOnceExKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx\\";

enum class AfterStart { Keep, Delete };
// A RunOnceEx section's unnamed value is its title, shown while its entries run; Windows never
// starts it. In RunOnce and Run the unnamed value is an entry like any other.
enum class UnnamedValue { Entry, Title };

void LogEntry(const std::string& keyPath, const std::string& name, const std::string& command,
              const StartOutcome& outcome, bool deleted)
{
    bool failed = !outcome.processId && !command.empty();
    std::string result = command.empty() ? "empty" : failed ? "failed" : outcome.stopped ? "stopped-after-5s" : "started";
    LogEvent("autorun", {{"key", keyPath}, {"name", name}, {"command", MaskCommandCredentials(command)}, {"result", result},
                         {failed ? "error" : "", failed ? SystemErrorText(outcome.error) : ""},
                         {"deleted", deleted ? "yes" : "no"}});
}

// The names are all read before the first entry starts, so deleting values cannot disturb the
// enumeration. A value that is not text (a number, binary data) is no command line: it is
// neither started nor deleted, so nothing the image carries is lost.
void RunEntries(const std::string& keyPath, StartOutcome (*start)(const std::string&), AfterStart after,
                UnnamedValue unnamed = UnnamedValue::Entry)
{
    UniqueKey key = OpenRegKey(keyPath, KEY_ALL_ACCESS);
    if (!key) return;
    for (const std::string& name : RegValueNames(key.get())) {
        if (name.empty() && unnamed == UnnamedValue::Title) continue;  // it goes with the section
        std::optional<std::string> command = ReadRegTextIfString(key.get(), name);
        if (!command) continue;
        StartOutcome outcome = command->empty() ? StartOutcome() : start(*command);
        // A once-only entry goes whether or not its program started: a broken entry must not
        // be retried at every boot.
        bool deleted = after == AfterStart::Delete && DeleteRegValue(key.get(), name);
        LogEntry(keyPath, name, *command, outcome, deleted);
    }
}

// Deepest keys first, as RegDeleteKeyA removes only keys without subkeys.
void DeleteKeyWithSubkeys(HKEY parent, const std::string& name)
{
    if (UniqueKey key = OpenRegKey(parent, name, KEY_ALL_ACCESS)) {
        std::vector<std::string> subkeys = RegSubKeyNames(key.get());
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it) DeleteKeyWithSubkeys(key.get(), *it);
    }
    DeleteRegKey(parent, name);
}

}  // namespace

bool IsAutorunWanted()
{
    const TSettings& settings = Shared().Settings;
    const char* skipped = !settings.UseRegRun                             ? "UseRegRun=NO"
                          : !IsWindowsPE() && !settings.UseRegRunSaidYes ? "not Windows PE and no UseRegRun=YES"
                                                                         : nullptr;
    if (skipped) LogEvent("autorun", {{"result", "skipped"}, {"reason", skipped}});
    return skipped == nullptr;
}

void ProcessRunOnceExSection(const std::string& sectionPath)
{
    RunEntries(sectionPath, RunHiddenLimited, AfterStart::Delete, UnnamedValue::Title);
}

void ProcessRunOnceEx()
{
    UniqueKey key = OpenRegKey(kRunOnceExKey, KEY_ALL_ACCESS);
    if (!key) return;
    for (const std::string& section : RegSubKeyNames(key.get())) {
        ProcessRunOnceExSection(std::string(kRunOnceExKey) + section + "\\");
        DeleteKeyWithSubkeys(key.get(), section);
    }
}

void ProcessRunOnce() { RunEntries(kRunOnceKey, StartHidden, AfterStart::Delete); }

void ProcessRun() { RunEntries(kRunKey, StartHidden, AfterStart::Keep); }
