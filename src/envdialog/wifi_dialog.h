// The Wi-Fi dialog of the network row: the visible networks, strongest first, and joining one
// (asking for its passphrase where it has one), with progress and outcome in words.
#pragma once

#include <windows.h>

void RunWifiDialog(HWND owner);
