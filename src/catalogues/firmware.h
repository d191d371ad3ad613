// The machine's firmware as the program learns it at start: UEFI or BIOS, whether Secure Boot is
// on, and whether db (the UEFI variable that lists what the firmware may start) holds Microsoft's
// two Windows CAs. A medium boots with Secure Boot on only where db trusts the CA its boot files
// are signed through; the run log's firmware line tells an administrator which one that is.
#pragma once

#include "catalogues/secure_boot_rules.h"

#include <string_view>
#include <vector>

// The certificates in db's bytes, each with its subject's common name and SHA-1 thumbprint as
// crypt32 decodes it (an empty sha1 for one it cannot decode), and the walk that found them.
struct DbCertificates {
    SignatureListWalk walk;
    std::vector<DbCertificate> certificates;
};

DbCertificates ReadDbCertificates(std::string_view db);

// Appends the run log's firmware line. Reads at most three firmware variables, with the system
// environment privilege enabled only meanwhile; it never stops the start, whatever they hold.
void LogFirmware();
