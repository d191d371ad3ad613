// A network drive: what the operator typed, checked before the connection is tried, and what a
// failed connection means in plain words. Platform-free, so the errors a test network cannot
// produce (an unsigned server, a refused guest) are tested too.
#pragma once

#include <cstdint>
#include <string>

enum class ShareProblem { None, BadPath, BadUser, BadLetter };

// \\server\share, a folder below it allowed; DOMAIN\user, user@domain, .\user or a bare user
// name (empty: no user, the connection's own default); a letter A-Z with or without its colon.
ShareProblem CheckShareInput(const std::string& path, const std::string& user, const std::string& letter);

// The letter proposed for a new drive: the last free one from Z: down to D:, as Explorer does;
// 0 when none is free. usedDrives as GetLogicalDrives reports them (bit 0 = A:).
char ProposedDriveLetter(uint32_t usedDrives);

// What a failed WNetAddConnection2 means for the operator.
enum class ShareFailure {
    NotFound,          // ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME, no such host
    Credentials,       // a wrong user or password
    Conflict,          // already connected to that server as another user
    SigningRequired,   // the server does not sign its SMB traffic, which the client requires
    GuestBlocked,      // the server only offers guest access, which the client refuses
    NoNetwork,
    LetterInUse,
    Other,             // shown with the system's own text
};
ShareFailure ClassifyShareError(unsigned long code);

// One NetworkDrive= preset: "Z: \\server\share DOMAIN\user" (the user may be left out). False
// for a line that is not one; a password never belongs here.
struct DrivePreset {
    char Letter = 0;
    std::string Path;
    std::string User;
};
bool ParseDrivePreset(const std::string& value, DrivePreset& preset);

// A refused preset as the run log may show it: its letter and share only, "..." for the rest,
// which may hold a password written where none belongs.
std::string DrivePresetForLog(const std::string& value);
