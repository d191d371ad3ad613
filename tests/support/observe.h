// What another process shows: its windows, and what the probe program recorded of its runs.
// Free of the test framework, so that the benchmark driver uses the same readings.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// The first visible top-level window of the process with the given caption, or null.
HWND FindProcessWindow(DWORD processId, const std::string& caption);

// The first visible top-level window of the process that has a child with the given id, or null.
HWND FindProcessWindowWithControl(DWORD processId, int control);

// What the probe program recorded, one record per run: key=value fields.
struct ProbeRun {
    std::map<std::string, std::string> fields;
    const std::string& operator[](const std::string& key) const;
};
std::vector<ProbeRun> ReadProbeLog(const std::string& path);
