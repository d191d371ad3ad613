#include "envdialog/hive_names.h"

namespace {
constexpr std::string_view kHiveNames = "SOFTWARE,SAM,SECURITY,SYSTEM,DEFAULT";
}

bool IsHiveName(std::string_view upperName)
{
    // find() matches an empty name at position 0, but an empty name is no hive file.
    return !upperName.empty() && kHiveNames.find(upperName) != std::string_view::npos;
}
