// The Wi-Fi part of the environment dialog's network row: its button, and the row's text when
// the connection is wireless (the network's name may need characters outside the code page).
#pragma once

#include "envdialog/network_rules.h"

#include <windows.h>

// Gives a dialog from a module without the button (1.5 and 2.0 modules) one beside St&art,
// narrowing the status text to make room. For WM_INITDIALOG, after AddMissingControls.
void AddWifiButton(HWND dialog);

// Writes the row's status text: as NetworkStatusText says, or "Wi-Fi NAME: ..." over Wi-Fi.
void ShowNetworkText(HWND dialog, const NetworkStatus& status);
