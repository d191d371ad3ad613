// The driver-matching figure of `make bench` (tools/bench.sh): the library pass of Find drivers
// against what any pass must do, reading the bytes of the same INF files.
//   driver_match_bench <library folder> <devices file> <label> <run>
// prints, as "name value" lines,
//   drivers_bare_<label>_ms    the same folder walk, and every INF file opened and read whole
//   drivers_match_<label>_ms   a first pass: the library read (each INF parsed) and every device
//                              of the devices file ranked against it
//   drivers_reuse_<label>_ms   the same pass again over unchanged files, which parses none
//   drivers_parse_<label>_ms   of the first pass, the INF reader alone over the files' bytes
//   drivers_matched_<label>    how many devices found a driver
// Each side runs kRounds times, alternating, and the fastest round counts, as for the scan.
// The devices file (bench/make_driver_library.py writes it) holds one device a line: hardware
// IDs, '|', compatible IDs, each list separated by ','.
#include "catalogues/driver_library.h"
#include "catalogues/inf_rules.h"
#include "common/files.h"
#include "common/guards.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 3;

double NowMs()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

void Report(const std::string& name, double value)
{
    std::printf("%s %.3f\n", name.c_str(), value);
    std::fflush(stdout);
}

struct Device {
    std::vector<std::string> hardwareIds;
    std::vector<std::string> compatibleIds;
};

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

std::vector<Device> ReadDevices(const char* path)
{
    std::vector<Device> devices;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t bar = line.find('|');
        if (bar == std::string::npos) continue;
        devices.push_back({SplitCommas(line.substr(0, bar)), SplitCommas(line.substr(bar + 1))});
    }
    return devices;
}

bool IsInf(const char* name)
{
    const size_t length = std::strlen(name);
    return length > 4 && lstrcmpiA(name + length - 4, ".inf") == 0;
}

// What any pass must do: walk the folders as the library search does and read every INF whole.
size_t BareRead(const std::string& folder, std::vector<char>& buffer)
{
    size_t bytes = 0;
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((folder + "*").c_str(), &entry));
    if (!find) return 0;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            bytes += BareRead(folder + name + "\\", buffer);
            continue;
        }
        if (!IsInf(entry.cFileName)) continue;
        UniqueFile file(CreateFileA((folder + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) continue;
        if (buffer.size() < entry.nFileSizeLow) buffer.resize(entry.nFileSizeLow);
        DWORD read = 0;
        if (ReadFile(file.get(), buffer.data(), entry.nFileSizeLow, &read, nullptr)) bytes += read;
    } while (FindNextFileA(find.get(), &entry));
    return bytes;
}

// One pass as Find drivers makes it, without the loading: the library, then each device ranked.
size_t MatchPass(const std::vector<std::string>& folders, const std::vector<Device>& devices)
{
    const DriverLibrary library = ReadDriverLibrary(folders);
    size_t matched = 0;
    for (const Device& device : devices) {
        matched += !RankDrivers(device.hardwareIds, device.compatibleIds, library.infs, library.index).empty();
    }
    return matched;
}

// The part of a first pass that is the reader's own work, with the files already in memory.
double ParseOnly(const std::string& folder)
{
    std::vector<std::string> contents;
    for (const std::string& relative : FindInfFiles(folder)) {
        if (std::optional<std::string> bytes = ReadWholeFile(folder + relative, 16 * 1024 * 1024)) {
            contents.push_back(std::move(*bytes));
        }
    }
    // The processor the pass chooses models sections for: this program's own.
    InfPlatform platform;
#if defined(__aarch64__) || defined(_M_ARM64)
    platform.architecture = "arm64";
#elif defined(__x86_64__) || defined(_M_X64)
    platform.architecture = "amd64";
#else
    platform.architecture = "x86";
#endif
    double fastest = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const double start = NowMs();
        for (const std::string& bytes : contents) ReadInfDriver(bytes, platform);
        fastest = std::min(fastest, NowMs() - start);
    }
    return fastest;
}

double Timed(const std::function<void()>& step)
{
    const double start = NowMs();
    step();
    return NowMs() - start;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: driver_match_bench <library folder> <devices file> <label> <run>\n");
        return 1;
    }
    std::string folder = argv[1];
    if (folder.back() != '\\') folder += '\\';
    const std::vector<std::string> folders{folder};
    const std::vector<Device> devices = ReadDevices(argv[2]);
    const std::string label = argv[3];
    const int run = std::atoi(argv[4]);
    if (devices.empty()) return 2;

    std::vector<char> buffer;
    BareRead(folder, buffer);  // code paged in and the file cache warm before either is timed
    double bare = 1e30, match = 1e30, reuse = 1e30;
    size_t matched = 0;
    // Alternating order, so that neither side always runs second.
    for (int round = 0; round < 2 * kRounds; ++round) {
        if ((round + run) % 2 == 0) {
            bare = std::min(bare, Timed([&] { BareRead(folder, buffer); }));
        } else {
            ForgetReadInfFiles();  // every round a first pass, which parses every file
            match = std::min(match, Timed([&] { matched = MatchPass(folders, devices); }));
        }
    }
    for (int round = 0; round < kRounds; ++round) {
        reuse = std::min(reuse, Timed([&] { MatchPass(folders, devices); }));
    }
    Report("drivers_bare_" + label + "_ms", bare);
    Report("drivers_match_" + label + "_ms", match);
    Report("drivers_reuse_" + label + "_ms", reuse);
    Report("drivers_parse_" + label + "_ms", ParseOnly(folder));
    Report("drivers_matched_" + label, static_cast<double>(matched));
    Report("drivers_devices_" + label, static_cast<double>(devices.size()));
    return 0;
}
