// Reading tarn_logon.ini from the executable's folder at start-up.
#pragma once

#include "session/settings_text.h"

#include <string>

// The settings file's full path: the executable's folder followed by "tarn_logon.ini".
std::string SettingsFilePath();

// Fills the settings of the shared state from the settings file. A missing file is reported in
// an error box; a missing, unreadable or oversized file leaves every setting at its initial value
// and the shell list empty.
void ReadSettings();

// Applies the file at path to settings. False, and settings untouched, when the file cannot be
// read completely.
bool ReadSettingsFile(const std::string& path, TSettings& settings);
