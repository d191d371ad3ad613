#include "catalogues/layouts.h"

#include "catalogues/layout_rules.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "session/launch.h"

#include <windows.h>

#include <cstring>

namespace {

const char kLayoutsKey[] = "\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\";

void LogLayoutApplied(const TLayoutInfo& layout, bool loaded, DWORD loadError, const std::string& defaultInput)
{
    LogEvent("apply", {{"what", "layout"}, {"entry", layout.Id + " " + layout.Text},
                       {"load", loaded ? "done" : SystemErrorText(loadError)}, {"default-input", defaultInput}});
}

}  // namespace

void BuildLayoutList(TLayoutList& list)
{
    const std::string systemFolder = ExpandCommand("%windir%\\system32\\");

    std::vector<std::string> names;
    {
        UniqueKey layouts = OpenRegKey(kLayoutsKey, KEY_READ);
        if (!layouts) return;
        names = RegSubKeyNames(layouts.get());
    }
    for (const std::string& name : names) {
        UniqueKey layout = OpenRegKey(kLayoutsKey + name, KEY_READ);
        if (!layout) continue;
        // A layout whose library is not in the system folder could not be loaded; an empty
        // value names the folder itself, which is no file either.
        std::string fileName = ReadRegStringOrEmpty(layout.get(), "Layout File");
        if (!IsExistingFile(systemFolder + fileName)) continue;
        TLayoutInfo& info = list.Add();
        info.Id = name;
        info.Text = ReadRegStringOrEmpty(layout.get(), "Layout Text");
        info.FileName = fileName;
    }
}

int FindCurrentLayout(const TLayoutList& list)
{
    char name[KL_NAMELENGTH] = {};
    if (!GetKeyboardLayoutNameA(name)) return -1;
    return FindLayoutIndex(list, std::string(name, strnlen(name, KL_NAMELENGTH - 1)));
}

void ApplyLayout(const TLayoutList& list, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= list.Count()) return;
    const TLayoutInfo& layout = list.At(index);

    // Both calls may fail (a layout the system refuses, a session without input languages);
    // the operator sees the keyboard unchanged and may pick another layout, so nothing is said.
    HKL loaded = LoadKeyboardLayoutA(layout.Id.c_str(), KLF_ACTIVATE | KLF_REORDER | KLF_REPLACELANG);
    DWORD loadError = GetLastError();
    if (!loaded) {
        LogLayoutApplied(layout, false, loadError, "not-tried");
        return;
    }
    // The default input language is an input-locale handle, such as 0x04070407 for "00000407":
    // the number the identifier spells names no loaded layout, and the next shell would keep
    // the old default.
    bool isDefault = SystemParametersInfoA(SPI_SETDEFAULTINPUTLANG, 0, &loaded, SPIF_SENDCHANGE) != FALSE;
    DWORD defaultError = GetLastError();
    LogLayoutApplied(layout, true, loadError, isDefault ? "set" : SystemErrorText(defaultError));
}
