// What a driver's INF file offers this machine: its class, its DriverVer, and the device models
// of the models sections Windows itself would read on this processor and version. No platform
// calls: the reader takes the file's bytes as they are on the disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The platform the models sections are chosen for: the architecture as INF decorations spell it
// ("x86", "amd64", "arm64") and the running Windows' version.
struct InfPlatform {
    std::string architecture;
    unsigned long major = 10;
    unsigned long minor = 0;
    unsigned long build = 0;
    unsigned long productType = 1;  // VER_NT_WORKSTATION: what Windows PE reports
};

// One line of a models section: "description = install-section, hardware-id[, compatible-id...]".
struct InfModel {
    std::string description;     // [Strings] substituted
    std::string installSection;
    std::vector<std::string> ids;  // as written: [0] the hardware ID (may be empty), then compatible IDs
};

struct InfDriver {
    std::string className;  // [Version] Class=
    std::string classGuid;  // [Version] ClassGuid=
    std::string driverVer;  // [Version] DriverVer= as written, for the run log
    uint32_t date = 0;      // DriverVer's date as yyyymmdd; 0 when missing or unreadable
    uint64_t version = 0;   // DriverVer's w.x.y.z, 16 bits each
    std::vector<InfModel> models;
};

// The file's text: UTF-16LE with its byte-order mark and UTF-8 with one become UTF-8 without it;
// any other bytes are taken as they are (the IDs that matter are ASCII).
std::string InfText(std::string_view bytes);

// Reads the INF's [Version], [Manufacturer] and the models sections chosen for the platform.
// Section names and keys ignore case; a section written twice counts as one, its lines in file
// order; ';' outside quotes starts a comment; a '\' ending a line joins the next; %key% takes the
// [Strings] value and %% stands for '%'.
InfDriver ReadInfDriver(std::string_view bytes, const InfPlatform& platform);

// The models section a [Manufacturer] value names for the platform: value is the fields after
// '=' ("Intel, NTamd64.10.0...16299, NTx86"). Empty when none applies. Of the decorations for
// this architecture whose version is not above the platform's, the highest wins; without one,
// the undecorated section serves only x86, as Windows requires non-x86 sections to be decorated.
std::string ChooseModelsSection(const std::vector<std::string>& fields, const InfPlatform& platform);

// The "mm/dd/yyyy" of DriverVer as yyyymmdd, 0 when it is not a date.
uint32_t InfDate(std::string_view text);
// "w.x.y.z" as four 16-bit fields, missing ones 0.
uint64_t InfVersion(std::string_view text);
