#include "session/pe_rules.h"

#include "common/text.h"

#include <algorithm>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAbsolute(std::string_view path)
{
    return (!path.empty() && IsSeparator(path[0])) || (path.size() >= 2 && path[1] == ':');
}

char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The next folder or file name of path from at on; at moves past its separator.
std::string_view NextName(std::string_view path, size_t& at)
{
    size_t end = at;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::string_view name = path.substr(at, end - at);
    at = end < path.size() ? end + 1 : end;
    return name;
}

int CompareNames(std::string_view a, std::string_view b)
{
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        unsigned char x = static_cast<unsigned char>(FoldCase(a[i]));
        unsigned char y = static_cast<unsigned char>(FoldCase(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace

std::string ResolveDriverFolder(std::string_view value, const std::string& programFolder)
{
    std::string folder = Trim(value);
    if (folder.empty()) return folder;
    return IsAbsolute(folder) ? folder : programFolder + folder;
}

bool DriverPathLess(std::string_view a, std::string_view b)
{
    size_t atA = 0;
    size_t atB = 0;
    while (atA < a.size() && atB < b.size()) {
        int order = CompareNames(NextName(a, atA), NextName(b, atB));
        if (order != 0) return order < 0;
    }
    return atA >= a.size() && atB < b.size();
}

void SortDriverPaths(std::vector<std::string>& paths)
{
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return DriverPathLess(a, b);
    });
}
