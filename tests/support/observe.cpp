#include "support/observe.h"

#include "common/files.h"
#include "common/text.h"

namespace {

struct WindowSearch {
    DWORD processId;
    std::string caption;
    HWND found = nullptr;
    int control = 0;  // when set, match by this child instead of the caption
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    bool matches = search->control ? GetDlgItem(window, search->control) != nullptr : search->caption == text;
    if (owner == search->processId && IsWindowVisible(window) && matches) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindProcessWindow(DWORD processId, const std::string& caption)
{
    WindowSearch search{processId, caption};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindProcessWindowWithControl(DWORD processId, int control)
{
    WindowSearch search{processId, std::string(), nullptr, control};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

const std::string& ProbeRun::operator[](const std::string& key) const
{
    static const std::string empty;
    auto it = fields.find(key);
    return it == fields.end() ? empty : it->second;
}

std::vector<ProbeRun> ReadProbeLog(const std::string& path)
{
    // One run per line: fields separated by a tab, each "key=value".
    std::vector<ProbeRun> runs;
    for (const std::string& line : SplitLines(ReadWholeFile(path, 256u << 20).value_or(std::string()))) {
        ProbeRun run;
        size_t start = 0;
        while (start <= line.size()) {
            size_t tab = line.find('\t', start);
            std::string field = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
            size_t equals = field.find('=');
            if (equals != std::string::npos) run.fields[field.substr(0, equals)] = field.substr(equals + 1);
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        runs.push_back(run);
    }
    return runs;
}
