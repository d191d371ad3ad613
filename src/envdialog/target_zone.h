// The time zone of the installation selected in the environment dialog: found in the zone list,
// marked there as the installation's, and applied at once where the settings ask for it.
#pragma once

#include "envdialog/environment_pass.h"

#include <windows.h>

// Selecting an installation selects its own zone for Apply; TimeZoneFromTarget= applies it at
// once, the first time the installation is selected in the pass. Null: no installation, the mark
// goes.
void SelectTargetZone(HWND dialog, EnvironmentPass& pass, const TLokInfo* target);
