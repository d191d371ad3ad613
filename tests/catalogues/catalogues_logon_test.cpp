// The real program's catalogue combo boxes, read from outside. The builders run here as well
// give the expected lines, so the test follows whatever the machine offers.
#include "catalogues/display_modes.h"
#include "catalogues/layouts.h"
#include "catalogues/timezones.h"
#include "common/resource_ids.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/shared_state.h"
#include "support/logon_case.h"
#include "support/test_display.h"

#include <gtest/gtest.h>

namespace {

// Cross-process, only the wide call returns the whole line under Wine; the ANSI one gives its
// first character.
std::vector<std::string> ComboLines(HWND combo)
{
    std::vector<std::string> lines;
    for (int i = 0; i < static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0)); ++i) {
        std::wstring wide(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
        char line[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, line, sizeof line, nullptr, nullptr);
        lines.push_back(line);
    }
    return lines;
}

int ComboSelection(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

template <class List, class Line>
std::vector<std::string> Lines(const List& list, Line line)
{
    std::vector<std::string> lines;
    for (size_t i = 0; i < list.Count(); ++i) lines.push_back(line(list.At(static_cast<long long>(i))));
    return lines;
}

class CataloguesLogonTest : public LogonCase {
protected:
    void SetUp() override
    {
        Shared().Settings.LangModuleName = "LangPack.dll";
        ForgetLangModule();
        // The program runs with the case folder as its Windows folder, where a layout's file is
        // looked up; so must the expected list, or a layout another test left behind counts here
        // and not there.
        char windir[MAX_PATH] = "";
        GetEnvironmentVariableA("WINDIR", windir, MAX_PATH);
        savedWindir_ = windir;
        SetEnvironmentVariableA("WINDIR", (folder_.Path() + "win").c_str());
        BuildLayoutList(layouts_);
        BuildTimeZoneList(zones_);
        BuildDisplayModeList(modes_);
    }
    void TearDown() override
    {
        if (program_) program_->Terminate();
        SetEnvironmentVariableA("WINDIR", savedWindir_.c_str());
        Shared() = SharedState();
        ForgetLangModule();
    }
    std::string savedWindir_;
    TLayoutList layouts_;
    TTimeZoneList zones_;
    TDisplayModeList modes_;
};

}  // namespace

TEST_F(CataloguesLogonTest, CombosHoldTheCataloguesAndApplyingKeepsTheDialogOpen)
{
    struct {
        int control;
        std::vector<std::string> lines;
        int current;
    } combos[] = {
        {IDC_ENV_LAYOUT, Lines(layouts_, [](const TLayoutInfo& l) { return l.Id + " " + l.Text; }),
         FindCurrentLayout(layouts_)},
        {IDC_ENV_TIMEZONE, Lines(zones_, [](const TTimeZoneInformationEx& z) { return z.Display; }),
         FindCurrentTimeZone(zones_)},
        {IDC_ENV_DISPLAY, Lines(modes_, [](const TScrResInfo& m) { return m.Text; }),
         FindCurrentDisplayMode(modes_)},
    };
    ASSERT_TRUE(IsTheTestDisplay());
    ASSERT_EQ(combos[2].lines, FallbackModeLines());
    ASSERT_EQ(combos[2].lines.at(combos[2].current), "1280 x 1024 x 32bpp x 0Hz");

    Install();
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start();
    HWND dialog = WaitForWindowWith(IDC_ENV_DISPLAY);
    ASSERT_TRUE(dialog);
    for (const auto& expected : combos) {
        HWND combo = GetDlgItem(dialog, expected.control);
        EXPECT_EQ(ComboLines(combo), expected.lines) << expected.control;
        EXPECT_EQ(ComboSelection(combo), expected.current) << expected.control;
    }

    // With the mode in force selected, the display button passes the driver's test: no warning.
    for (int button : {IDC_ENV_APPLY_LAYOUT, IDC_ENV_APPLY_TIMEZONE, IDC_ENV_APPLY_DISPLAY}) {
        // Sent rather than posted, so it returns once the button has acted, and not at all
        // while a message box holds the program; SMTO_NORMAL lets the display-change broadcast
        // reach this thread meanwhile.
        DWORD_PTR ignored = 0;
        EXPECT_TRUE(SendMessageTimeoutA(dialog, WM_COMMAND, button, 0, SMTO_NORMAL, 10000, &ignored)) << button;
        EXPECT_EQ(FindProcessWindow(program_->Id(), LoadLangString(IDS_DISPLAY_TEST_CAPTION)), nullptr) << button;
        EXPECT_TRUE(IsWindowVisible(dialog)) << button;
    }

    // Fallback entries meet the driver's real answers: 640 x 480 x 8 is refused (the warning, with
    // no owner, and nothing changes), 1280 x 1024 x 16 is accepted and stored without a word.
    // The dialog stays open and centred throughout.
    HWND display = GetDlgItem(dialog, IDC_ENV_DISPLAY);
    const std::string before = DisplayInForceAndStored();
    SendMessageW(display, CB_SETCURSEL, 0, 0);
    PostMessageA(dialog, WM_COMMAND, IDC_ENV_APPLY_DISPLAY, 0);
    HWND box = WaitForBox(LoadLangString(IDS_DISPLAY_TEST_CAPTION));
    ASSERT_TRUE(box) << "no warning for a mode the driver refuses";
    EXPECT_EQ(BoxText(box), LoadLangString(IDS_DISPLAY_TEST_FAILED));
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, std::chrono::seconds(10)));
    EXPECT_EQ(DisplayInForceAndStored(), before);

    struct RestoreStoredMode {
        ~RestoreStoredMode()
        {
            DEVMODEA mode{};
            mode.dmSize = sizeof mode;
            mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
            mode.dmPelsWidth = 1280;
            mode.dmPelsHeight = 1024;
            mode.dmBitsPerPel = 32;
            ChangeDisplaySettingsA(&mode, CDS_UPDATEREGISTRY);
        }
    } restore;
    SendMessageW(display, CB_SETCURSEL, 13, 0);
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(dialog, WM_COMMAND, IDC_ENV_APPLY_DISPLAY, 0, SMTO_NORMAL, 10000, &ignored));
    EXPECT_EQ(FindProcessWindow(program_->Id(), LoadLangString(IDS_DISPLAY_TEST_CAPTION)), nullptr);
    DEVMODEA stored{};
    stored.dmSize = sizeof stored;
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_REGISTRY_SETTINGS, &stored));
    EXPECT_EQ(std::to_string(stored.dmPelsWidth) + "x" + std::to_string(stored.dmPelsHeight) + "x" +
                  std::to_string(stored.dmBitsPerPel),
              "1280x1024x16");

    ASSERT_TRUE(IsWindowVisible(dialog));
    RECT rect{};
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2);
    EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 2);
}
