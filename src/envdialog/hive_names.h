// Which files of an installation's system32\config folder count as registry hives.
#pragma once

#include <string_view>

// True when the upper-cased file name occurs anywhere in "SOFTWARE,SAM,SECURITY,SYSTEM,DEFAULT".
// The rule is a plain substring test, so pieces of the list (SOFT, CURITY, TEM) count as well,
// while longer names (SOFTWARE2, SYSTEM.ALT, USERDIFF) do not. An empty name never counts.
bool IsHiveName(std::string_view upperName);
