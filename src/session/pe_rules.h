// Decisions of the Windows PE start-up that need no platform call.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The folder a DriverFolder= value names, its references already expanded: an absolute path
// (a drive letter, a rooted or a UNC path) as it is, any other taken from programFolder (which
// ends with a backslash). A blank value names no folder: empty.
std::string ResolveDriverFolder(std::string_view value, const std::string& programFolder);

// True when relative path a comes before b in the order drivers are loaded in: compared folder by
// folder, each name case-insensitively (ASCII), a shorter path first when it is the other's start.
// So "Chipset\x.inf" comes before "chipset2\a.inf" and "Storage\VMD\iaStorVD.inf", whatever the
// platform lists first, and a numbered prefix ("01-Storage") sets an order an administrator chooses.
bool DriverPathLess(std::string_view a, std::string_view b);

// The paths sorted by DriverPathLess.
void SortDriverPaths(std::vector<std::string>& paths);
