#include "support/dialog_driver.h"

#include "common/unique.h"

namespace {

struct DriverState {
    std::vector<DriverStep> steps;
    size_t next = 0;
    int idleTicks = 0;
    std::vector<std::string>* boxes = nullptr;
};
DriverState g_driver;

constexpr int kMaxIdleTicks = 200;  // 200 ticks of 25 ms: 5 s for one step

void CALLBACK DriverTick(HWND, UINT, UINT_PTR, DWORD)
{
    static bool running = false;  // a step that pumps messages must not re-enter the driver
    if (running) return;
    running = true;
    ScopeExit done([] { running = false; });
    HWND active = GetActiveWindow();
    if (g_driver.next >= g_driver.steps.size() || !active) return;
    if (g_driver.steps[g_driver.next](active)) {
        ++g_driver.next;
        g_driver.idleTicks = 0;
    } else if (++g_driver.idleTicks > kMaxIdleTicks) {
        g_driver.next = g_driver.steps.size();
        EndDialog(active, kDriverTimeout);
        if (!MessageBoxText(active).empty()) PostMessageA(active, WM_COMMAND, IDOK, 0);
    }
}

bool IsDialogWithControl(HWND window, int control) { return GetDlgItem(window, control) != nullptr; }

// Which system icon a message box shows; its icon control is 20 on Windows and 1088 under Wine.
std::string BoxIcon(HWND box)
{
    for (int id : {20, 1088}) {
        HWND control = GetDlgItem(box, id);
        if (!control) continue;
        auto icon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
        if (icon == LoadIconA(nullptr, IDI_HAND)) return "error";
        if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) return "warning";
        if (icon) return "other";
    }
    return "none";
}

}  // namespace

DialogDriver::DialogDriver(std::vector<DriverStep> steps)
{
    g_driver = DriverState{std::move(steps), 0, 0, &boxes};
    timer_ = SetTimer(nullptr, 0, 25, DriverTick);
}

DialogDriver::~DialogDriver()
{
    KillTimer(nullptr, timer_);
    g_driver = DriverState();
}

bool DialogDriver::Finished() const { return g_driver.next >= g_driver.steps.size(); }

std::string MessageBoxText(HWND window)
{
    HWND text = GetDlgItem(window, 0xFFFF);
    if (!text) return std::string();
    char buffer[2048] = "";
    GetWindowTextA(text, buffer, sizeof buffer);
    return buffer;
}

DriverStep TypeInto(int control, const std::string& text)
{
    return [=](HWND active) {
        if (!IsDialogWithControl(active, control) || !MessageBoxText(active).empty()) return false;
        SetDlgItemTextA(active, control, text.c_str());
        return true;
    };
}

DriverStep Click(int control)
{
    return [=](HWND active) {
        HWND button = GetDlgItem(active, control);
        if (!button || !MessageBoxText(active).empty()) return false;
        // Posted: a click may open a message box, whose loop must not run inside this step.
        PostMessageA(active, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return true;
    };
}

DriverStep ExpectBox(const std::string& text)
{
    return [=](HWND active) {
        std::string shown = MessageBoxText(active);
        if (shown.empty()) return false;
        char caption[256] = "";
        GetWindowTextA(active, caption, sizeof caption);
        g_driver.boxes->push_back(std::string(caption) + "|" + shown + "|" + BoxIcon(active));
        PostMessageA(active, WM_COMMAND, IDOK, 0);
        return shown == text;
    };
}

DriverStep Check(const std::function<void(HWND dialog)>& inspect)
{
    return [=](HWND active) {
        if (!MessageBoxText(active).empty()) return false;
        inspect(active);
        return true;
    };
}

DriverStep UntilIdle()
{
    return [](HWND active) { return IsWindowEnabled(active) && MessageBoxText(active).empty(); };
}
