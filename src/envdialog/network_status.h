// The network row of the environment dialog: what the adapters say now, and the start of the
// network by wpeutil, which runs in the background while the dialog stays usable.
#pragma once

#include "envdialog/network_rules.h"

#include <string>

// Reads the adapters, collects a start that has ended (its exit code goes to the run log) and
// logs each change of the state.
NetworkStatus CurrentNetworkStatus();

// The status as the operator reads it.
std::string NetworkStatusText(const NetworkStatus& status);

// Starts "wpeutil.exe InitializeNetwork /NoWait" hidden and returns at once; false when it could
// not be started (the run log says why).
bool StartNetwork();
