// The network settings dialog: a fixed IPv4 address, or DHCP, for one adapter.
#pragma once

#include "envdialog/address_rules.h"

#include <windows.h>

#include <string>

// Shows the dialog (the module's template, or the program's own); tells the operator when there
// is no wired or wireless adapter instead.
void RunAddressDialog(HWND owner);

// What the operator reads for a refusal of the address rule.
std::string AddressProblemText(AddressProblem problem, const AddressInput& input);
