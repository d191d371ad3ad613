// Network drives through mpr.dll, loaded at run time: Windows PE images made without networking
// lack it, and its absence is a plain message, never a failed start. The password passes
// straight from the caller's buffer to the call and is neither kept, logged nor copied.
#pragma once

#include <string>
#include <vector>

// A drive this program connected, while it stays connected.
struct ConnectedDrive {
    char Letter = 0;
    std::string Path;
    std::string User;
};

// The system's answer: 0 when connected, ERROR_PROC_NOT_FOUND when mpr.dll or its functions are
// missing. The run log gets the share, the user, the letter and the outcome.
unsigned long ConnectNetworkDrive(char letter, const std::string& path, const std::string& user, const char* password);
unsigned long DisconnectNetworkDrive(char letter);

// The drives connected through ConnectNetworkDrive and not disconnected since, in that order.
const std::vector<ConnectedDrive>& ConnectedDrives();
