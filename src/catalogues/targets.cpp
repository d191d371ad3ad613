#include "catalogues/targets.h"

#include "shellctl/shared_state.h"

// Being written.
void BuildTargetList() { Shared().TargetList->Add(); }
void ScanDrive(char) {}
std::string ReadInstallationName(const std::string&) { return std::string(); }
bool EnableRestorePrivilege() { return false; }
