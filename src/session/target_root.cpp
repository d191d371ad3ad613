#include "session/target_root.h"

#include "common/errors.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "common/window.h"

#include <windows.h>

namespace {

constexpr const char* kEnvironmentKey = "\\System\\CurrentControlSet\\Control\\Session Manager\\Environment\\";

}  // namespace

bool PublishSystemVariable(const std::string& name, const std::string& value)
{
    UniqueKey key = CreateRegKey(kEnvironmentKey, KEY_ALL_ACCESS);
    const char* registry = key ? "written" : "failed";
    if (key && value.empty()) {
        DeleteRegValue(key.get(), name);  // a value that is not there is no error
        registry = "deleted";
    } else if (key) {
        try {
            WriteRegExpandString(key.get(), name, value);
        } catch (const RegistryError&) {
            // Only the machine-wide copy is lost; the shell still gets the target below.
            registry = "failed";
        }
    }
    // The shell inherits the program's own environment, so that is set even when the machine-wide
    // copy cannot be: a stale value would hand the shell the previous pass's target.
    SetEnvironmentVariableA(name.c_str(), value.c_str());
    if (!key) {
        LogEvent("publish", {{"name", name}, {"value", value}, {"registry", registry}, {"broadcast", "skipped"}});
        return false;
    }

    const bool started = BroadcastSettingChange("Environment");
    LogEvent("publish",
             {{"name", name}, {"value", value}, {"registry", registry}, {"broadcast", started ? "started" : "failed"}});
    return true;
}

void PublishTargetRoot(const std::string& text) { PublishSystemVariable("TARGET_ROOT", text); }
