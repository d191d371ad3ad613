// One pass of the environment dialog: the catalogues built under the scan dialog, the operator's
// choice of target and shell, and the publishing of TARGET_ROOT.
#pragma once

#include "catalogues/display_modes.h"
#include "catalogues/layouts.h"
#include "catalogues/targets.h"
#include "catalogues/timezones.h"
#include "envdialog/drive_watch.h"
#include "envdialog/environment_form.h"

#include <windows.h>

#include <set>
#include <string>

// What the operator had selected when a new pass was started from inside the dialog, given back
// by the next one when it is still there.
struct KeptSelection {
    bool Kept = false;
    std::string Target;
    int Shell = -1;
};

// The environment dialog's own working state, set up as it opens.
struct EnvironmentDialogState {
    std::string OkText;  // the template's text of OK, put back when the selection leaves a locked drive
    LongFormLayout LongForm;
    // The entry of the time-zone list shown as the selected installation's, or -1.
    int MarkedZone = -1;
    // The installations whose zone TimeZoneFromTarget= has applied in this pass.
    std::set<std::string> ZonesApplied;
    // Set while a new pass gives back the operator's selection: that is no choice of the
    // operator's, so it applies no zone (which could undo a zone the operator chose after the
    // installation's).
    bool RestoringSelection = false;
};

// Everything one pass has: created by RunEnvironmentDialog, handed to the dialog as its creation
// parameter, and gone with the pass, also when an error leaves it. Every index the dialog passes
// to the catalogues is a position in these lists, and every combo box and the list view keep
// their entries in list order. Declared so that the lists go in the order targets, layouts,
// display modes, time zones.
struct EnvironmentPass {
    TTimeZoneList TimeZones;
    TDisplayModeList DisplayModes;
    TLayoutList Layouts;
    TTargetList Targets;
    DriveWatch Drives;
    // In: the previous pass's selection to give back; out: this pass's, when it ends for a new one.
    KeptSelection Kept;
    EnvironmentDialogState Dialog;
};

// Builds the catalogues under the scan dialog, shows the environment dialog, and publishes the
// target root. Returns after OK (ShellCommand and TargetRoot set) or when the dialog cannot be
// shown (both unchanged); ends the program after a shutdown choice. A drive that comes or goes,
// is unlocked, or a driver loaded in the dialog starts a new pass with the selection kept.
void RunEnvironmentDialog(HWND owner);
