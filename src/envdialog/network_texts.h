// The texts of the network's settings and network drives, each with the program's English for
// modules made before they existed.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

// The module's text, or the built-in English one.
std::string NetworkText(UINT id);
// The same with %1, %2, ... filled in.
std::string NetworkText(UINT id, std::initializer_list<std::string_view> values);
