#include "envdialog/target_zone.h"

#include "catalogues/timezone_rules.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "langmodule/langmodule.h"
#include "session/shared_state.h"

namespace {

// The installation's zone in the time-zone list: by its key name, or by the standard name an
// installation without key names (Windows XP) keeps; -1 when the list lacks it.
int FindTargetZone(const TLokInfo& target, const TTimeZoneList& zones)
{
    for (size_t i = 0; !target.TimeZoneKey.empty() && i < zones.Count(); ++i) {
        if (lstrcmpiA(zones.At(static_cast<long long>(i)).KeyName.c_str(), target.TimeZoneKey.c_str()) == 0) {
            return static_cast<int>(i);
        }
    }
    return target.TimeZoneName.empty() ? -1 : FindZoneIndex(zones, target.TimeZoneName);
}

// A drop-down list shows its items' own texts, so the mark is part of the item's text.
void SetZoneText(HWND dialog, int zone, const std::string& text)
{
    const LRESULT selected = SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_GETCURSEL, 0, 0);
    SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_DELETESTRING, static_cast<WPARAM>(zone), 0);
    SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_INSERTSTRING, static_cast<WPARAM>(zone),
                        reinterpret_cast<LPARAM>(text.c_str()));
    SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void MarkTargetZone(HWND dialog, EnvironmentPass& pass, int zone)
{
    int& marked = pass.Dialog.MarkedZone;
    if (zone == marked) return;
    if (marked >= 0) SetZoneText(dialog, marked, pass.TimeZones.At(marked).Display);
    marked = zone;
    // The mark leads: a zone's name is longer than the closed list is wide.
    if (zone >= 0) {
        const std::string mark = LoadLangStringOr(IDS_TARGET_ZONE, "Installation: %1");
        SetZoneText(dialog, zone, FillPlaceholders(mark, {pass.TimeZones.At(zone).Display, ""}));
    }
}

}  // namespace

void SelectTargetZone(HWND dialog, EnvironmentPass& pass, const TLokInfo* target)
{
    const int zone = target ? FindTargetZone(*target, pass.TimeZones) : -1;
    MarkTargetZone(dialog, pass, zone);
    if (zone < 0) {
        if (target && (!target->TimeZoneKey.empty() || !target->TimeZoneName.empty())) {
            LogEvent("zone", {{"installation", target->Path}, {"key", target->TimeZoneKey},
                              {"standard", target->TimeZoneName}, {"result", "not-listed"}});
        }
        return;
    }
    SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_SETCURSEL, static_cast<WPARAM>(zone), 0);
    if (!Shared().Settings.TimeZoneFromTarget || pass.Dialog.RestoringSelection) return;
    if (!pass.Dialog.ZonesApplied.insert(target->Path).second) return;
    LogEvent("zone", {{"installation", target->Path}, {"action", "apply"},
                      {"entry", pass.TimeZones.At(zone).Display}});
    ApplyTimeZone(pass.TimeZones, zone);
}
