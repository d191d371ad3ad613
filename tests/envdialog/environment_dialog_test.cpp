#include "common/files.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/window.h"
#include "envdialog/environment_dialog.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/shared_state.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

INT_PTR CALLBACK PassiveProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// Drives the environment dialog over catalogues the test lays out itself.
class EnvironmentDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        UseModule("LangPack.dll");
        AddTarget("C:\\Windows", "Windows 10 Pro ", "OS, 237 GB");
        AddTarget("D:\\WINNT", "Windows XP Professional Service Pack 3");
        AddTarget("(none)", "no target");
        AddShell("Prompt", "cmd.exe /k");
        AddShell("Explorer", "explorer.exe");
    }
    void TearDown() override
    {
        Shared() = SharedState();
        ForgetLangModule();
        SetEnvironmentVariableA("TARN_TESTLANG_RESULT", nullptr);
    }
    void UseModule(const std::string& name)
    {
        Shared().Settings.LangModuleName = name;
        ForgetLangModule();
        ASSERT_TRUE(LoadLangModule());
    }
    TLokInfo& AddTarget(const std::string& path, const std::string& description,
                        const std::string& volume = std::string())
    {
        TLokInfo& target = pass_.Targets.Add();
        target.Path = path;
        target.Description = description;
        target.Volume = volume;
        return target;
    }
    static void AddShell(const std::string& name, const std::string& command)
    {
        TShellItem& shell = Shared().Settings.ShellList.Add();
        shell.Name = name;
        shell.CommandLine = command;
    }
    INT_PTR Run(std::vector<DriverStep> steps)
    {
        DialogDriver driver(std::move(steps));
        INT_PTR result = ShowLangDialog(IDD_ENVIRONMENT, nullptr, EnvironmentDlgProc, reinterpret_cast<LPARAM>(&pass_));
        EXPECT_TRUE(driver.Finished());
        return result;
    }
    EnvironmentPass pass_;
};

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

void Select(HWND dialog, int index, bool selected = true)
{
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(Item(dialog, IDC_ENV_TARGETS), LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&state));
}

std::string ItemText(HWND dialog, int item, int column)
{
    char text[260] = "";
    LVITEMA request{};
    request.iSubItem = column;
    request.pszText = text;
    request.cchTextMax = sizeof text;
    SendMessageA(Item(dialog, IDC_ENV_TARGETS), LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&request));
    return text;
}

std::string Text(HWND dialog, int id)
{
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

DriverStep EndWith(INT_PTR code)
{
    return Check([code](HWND dialog) { EndDialog(dialog, code); });
}

}  // namespace

TEST_F(EnvironmentDialogTest, ListsTargetsByCallbackInListOrderUnderThreeColumns)
{
    Run({Check([](HWND dialog) {
             HWND list = Item(dialog, IDC_ENV_TARGETS);
             EXPECT_EQ(GetWindowLongPtrA(dialog, GWLP_USERDATA), 1973);
             EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 100);
             EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0), ClientWidth(list) - 200);
             EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 2, 0), 100);
             EXPECT_EQ(ItemText(dialog, 0, 2), "OS, 237 GB");
             EXPECT_EQ(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x421, 0x421);
             ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
             EXPECT_EQ(ItemText(dialog, 0, 0), "C:\\Windows");
             EXPECT_EQ(ItemText(dialog, 1, 1), "Windows XP Professional Service Pack 3");
             EXPECT_EQ(ItemText(dialog, 2, 0), "(none)");
             LVITEMA item{};
             item.mask = LVIF_PARAM | LVIF_TEXT;
             item.iItem = 1;
             SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
             EXPECT_EQ(item.lParam, 1);
             EXPECT_EQ(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0), 0) << "nothing starts selected";
             EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_GETCOUNT, 0, 0), 2);
             EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_GETCURSEL, 0, 0), 0);
             EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_ENV_LAYOUT, CB_GETCURSEL, 0, 0), CB_ERR);
             EXPECT_TRUE(IsWindowEnabled(Item(dialog, IDCANCEL)));
             RECT rect{};
             GetWindowRect(dialog, &rect);
             EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - RectWidth(rect)) / 2);
         }),
         EndWith(5)});
}

TEST_F(EnvironmentDialogTest, SelectionFillsTheFolderAndDrivesOk)
{
    Run({Check([](HWND dialog) {
             Select(dialog, 1);
             EXPECT_EQ(Text(dialog, IDC_ENV_FOLDER), "D:\\WINNT");
             EXPECT_TRUE(IsWindowEnabled(Item(dialog, IDC_ENV_FOLDER)));
             EXPECT_TRUE(IsWindowEnabled(Item(dialog, IDC_ENV_BROWSE)));
             EXPECT_TRUE(IsWindowEnabled(Item(dialog, IDOK)));

             Select(dialog, 2);  // the no-target entry, known by its position
             EXPECT_EQ(Text(dialog, IDC_ENV_FOLDER), "");
             EXPECT_FALSE(IsWindowEnabled(Item(dialog, IDC_ENV_FOLDER)));
             EXPECT_FALSE(IsWindowEnabled(Item(dialog, IDC_ENV_BROWSE)));
             EXPECT_TRUE(IsWindowEnabled(Item(dialog, IDOK)));

             Select(dialog, 0);
             Select(dialog, 0, false);  // as a click on an empty area of the list does
             EXPECT_FALSE(IsWindowEnabled(Item(dialog, IDOK)));
             EXPECT_EQ(Text(dialog, IDC_ENV_FOLDER), "C:\\Windows") << "the folder stays";
         }),
         EndWith(5)});
}

namespace {
std::string ColumnTitle(HWND dialog, int column)
{
    char text[64] = "";
    LVCOLUMNA request{};
    request.mask = LVCF_TEXT;
    request.pszText = text;
    request.cchTextMax = sizeof text;
    SendMessageA(Item(dialog, IDC_ENV_TARGETS), LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&request));
    return text;
}

std::string ZoneText(HWND dialog, int index)
{
    char text[260] = "";
    SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

LRESULT ZoneSelection(HWND dialog) { return SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_GETCURSEL, 0, 0); }
}  // namespace

// A module built for 1.5 (the test module) lacks the new texts: the program's English ones stand in.
TEST_F(EnvironmentDialogTest, SelectingAnInstallationSelectsAndMarksItsOwnZone)
{
    UseModule("TestLang.dll");
    for (const char* key : {"Tarn A", "Tarn B"}) {
        TTimeZoneInformationEx& zone = pass_.TimeZones.Add();
        zone.Display = std::string("(UTC) ") + key;
        zone.KeyName = key;
        zone.StandardName = std::string(key) + " Standard";
    }
    pass_.TimeZones.Add().Display = "Local time";
    pass_.Targets.At(0).TimeZoneKey = "tarn b";  // key names are compared without case
    pass_.Targets.At(1).TimeZoneName = "Tarn A Standard";  // Windows XP has no key name
    AddTarget("E:\\Windows", "unknown zone").TimeZoneKey = "Nowhere Standard Time";
    std::swap(pass_.Targets.At(2), pass_.Targets.At(3));  // the no-target entry stays last

    CaseFolder folder;
    StartRunLog(folder.File("run.log"));
    Run({Check([](HWND dialog) {
             EXPECT_EQ(ColumnTitle(dialog, 2), "Volume");
             Select(dialog, 0);
             EXPECT_EQ(ZoneSelection(dialog), 1);
             EXPECT_EQ(ZoneText(dialog, 1), "Installation: (UTC) Tarn B");
             Select(dialog, 1);
             EXPECT_EQ(ZoneSelection(dialog), 0);
             EXPECT_EQ(ZoneText(dialog, 0), "Installation: (UTC) Tarn A");
             EXPECT_EQ(ZoneText(dialog, 1), "(UTC) Tarn B") << "one mark at a time";
             Select(dialog, 2);
             EXPECT_EQ(ZoneSelection(dialog), 0) << "a zone the list lacks leaves the selection";
             EXPECT_EQ(ZoneText(dialog, 0), "(UTC) Tarn A");
             Select(dialog, 3);
             EXPECT_EQ(ZoneText(dialog, 0), "(UTC) Tarn A");
             EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_GETCOUNT, 0, 0), 3);
         }),
         EndWith(5)});
    // TimeZoneFromTarget=YES applies the zone at once, once per installation and pass. Wine never
    // grants the privilege (error 1314), so the attempt shows in the log only.
    Shared().Settings.TimeZoneFromTarget = true;
    Run({Check([](HWND dialog) {
             for (int index : {0, 1, 0, 2, 1}) Select(dialog, index);
             EXPECT_EQ(ZoneSelection(dialog), 0);
         }),
         EndWith(5)});
    StartRunLog(std::string());
    std::vector<std::string> applied;
    for (const std::string& line : ReadLines(folder.File("run.log"))) {
        if (line.find(" apply what=timezone") != std::string::npos) applied.push_back(line);
    }
    ASSERT_EQ(applied.size(), 2u);
    EXPECT_NE(applied[0].find("key=\"Tarn B\""), std::string::npos) << applied[0];
    EXPECT_NE(applied[0].find("error=1314"), std::string::npos) << applied[0];
    EXPECT_NE(applied[1].find("key=\"Tarn A\""), std::string::npos) << applied[1];
    const std::string log = ReadWholeFile(folder.File("run.log"), 1 << 20).value_or("");
    EXPECT_NE(log.find(" zone installation=C:\\Windows action=apply entry=\"(UTC) Tarn B\""), std::string::npos) << log;
    EXPECT_NE(log.find(" zone installation=E:\\Windows key=\"Nowhere Standard Time\""), std::string::npos) << log;
}

TEST_F(EnvironmentDialogTest, OkTakesTheTypedFolderCutTo259AndTheChosenShell)
{
    std::string typed(300, 'p');
    INT_PTR result = Run({Check([&](HWND dialog) {
                              SetDlgItemTextA(dialog, IDC_ENV_FOLDER, typed.c_str());
                              SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 1, 0);
                          }),
                          Click(IDOK)});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Shared().TargetRoot, typed.substr(0, 259));
    EXPECT_EQ(Shared().ShellCommand, "explorer.exe");
}

TEST_F(EnvironmentDialogTest, WithoutShellEntriesOkKeepsTheShellInForce)
{
    Shared().Settings.ShellList.Clear();
    EXPECT_EQ(Run({Check([](HWND dialog) { Select(dialog, 0); }), Click(IDOK)}), 1);
    EXPECT_EQ(Shared().ShellCommand, "%windir%\\system32\\cmd.exe");
    EXPECT_EQ(Shared().TargetRoot, "C:\\Windows");
}

// The short form lifts the buttons by the band from the keyboard row's top to the buttons' top.
// A module built for 1.5 lacks the network row and the driver button: the program adds them
// below its controls, inside the grown dialog, and the network row folds away in the short form.
TEST_F(EnvironmentDialogTest, CollapsesAndExpandsByTheLongFormBandAndRemembersTheForm)
{
    for (const char* module : {"LangPack.dll", "TestLang.dll"}) {
        SCOPED_TRACE(module);
        UseModule(module);
        const bool added = std::string(module) == "TestLang.dll";
        HWND plain = CreateDialogParamA(LoadLangModule(), MAKEINTRESOURCEA(IDD_ENVIRONMENT), nullptr, PassiveProc, 0);
        POINT templateOk = ControlPosition(GetDlgItem(plain, IDOK));
        POINT templateToggle = ControlPosition(GetDlgItem(plain, IDC_ENV_TOGGLE));
        POINT templateList = ControlPosition(GetDlgItem(plain, IDC_ENV_TARGETS));
        // The band ends at the first row that stays: the tools row, or the buttons of a 1.5 module.
        HWND tools = GetDlgItem(plain, IDC_ENV_LOAD_DRIVER);
        const int staying = tools ? ControlPosition(tools).y : templateToggle.y;
        const int band = staying - ControlPosition(GetDlgItem(plain, IDC_ENV_LAYOUT)).y;
        EXPECT_EQ(GetDlgItem(plain, IDC_ENV_NETWORK_STATUS) == nullptr, added);
        DestroyWindow(plain);

        Shared().Settings.LessLogonMode = true;
        Shared().Settings.EnableRebootButton = false;
        int longHeight = 0;
        auto expectForm = [&](HWND dialog, bool collapsed) {
            int shift = collapsed ? band : 0;
            if (!collapsed) longHeight = WindowHeight(dialog);
            EXPECT_EQ(ControlPosition(Item(dialog, IDOK)).y, templateOk.y - shift);
            EXPECT_EQ(ControlPosition(Item(dialog, IDOK)).x, templateOk.x);
            EXPECT_EQ(ControlPosition(Item(dialog, IDC_ENV_TOGGLE)).y, templateToggle.y - shift);
            EXPECT_EQ(ControlPosition(Item(dialog, IDC_ENV_TARGETS)).y, templateList.y) << "the list never moves";
            for (int id : {IDC_ENV_LAYOUT_LABEL, IDC_ENV_TIMEZONE, IDC_ENV_APPLY_DISPLAY, IDC_ENV_NETWORK_LABEL,
                           IDC_ENV_NETWORK_STATUS, IDC_ENV_NETWORK_START}) {
                EXPECT_EQ(IsWindowVisible(Item(dialog, id)) != FALSE, !collapsed) << id;
            }
            // Every shown control lies inside the dialog, and the driver button is always there.
            RECT client{};
            GetClientRect(dialog, &client);
            for (int id : {IDC_ENV_LOAD_DRIVER, IDC_ENV_DEVICES, IDC_ENV_COLLECT_LOGS}) {
                EXPECT_TRUE(GetWindowLongPtrA(Item(dialog, id), GWL_STYLE) & WS_VISIBLE) << id;
            }
            for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                if (!IsWindowVisible(child)) continue;
                RECT rect{};
                GetWindowRect(child, &rect);
                MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
                EXPECT_LE(rect.bottom, client.bottom) << GetDlgCtrlID(child);
                EXPECT_LE(rect.right, client.right) << GetDlgCtrlID(child);
            }
            if (added) {
                EXPECT_EQ(Text(dialog, IDC_ENV_LOAD_DRIVER), "L&oad driver...");
                EXPECT_EQ(Text(dialog, IDC_ENV_DEVICES), "De&vices...");
                EXPECT_EQ(Text(dialog, IDC_ENV_COLLECT_LOGS), "Collect lo&gs...");
                EXPECT_EQ(ControlPosition(Item(dialog, IDC_ENV_DEVICES)).y,
                          ControlPosition(Item(dialog, IDC_ENV_LOAD_DRIVER)).y) << "beside Load driver";
                EXPECT_EQ(Text(dialog, IDC_ENV_NETWORK_LABEL), "Network:");
                EXPECT_GT(ControlPosition(Item(dialog, IDC_ENV_NETWORK_LABEL)).y, ControlPosition(Item(dialog, IDOK)).y)
                    << "below the template's controls";
            }
            EXPECT_EQ(Text(dialog, IDC_ENV_TOGGLE), LoadLangString(collapsed ? IDS_TOGGLE_EXPAND : IDS_TOGGLE_COLLAPSE));
            EXPECT_EQ(Shared().Settings.LessLogonMode, collapsed);
            EXPECT_FALSE(IsWindowEnabled(Item(dialog, IDCANCEL))) << "shutdown button off in both forms";
            RECT rect{};
            GetWindowRect(dialog, &rect);
            EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - RectHeight(rect)) / 2);
        };
        int shortHeight = 0;
        Run({Check([&](HWND dialog) {
                 expectForm(dialog, true);
                 shortHeight = WindowHeight(dialog);
             }),
             Click(IDC_ENV_TOGGLE), Check([&](HWND dialog) { expectForm(dialog, false); }), Click(IDC_ENV_TOGGLE),
             Check([&](HWND dialog) {
                 expectForm(dialog, true);
                 EXPECT_EQ(WindowHeight(dialog), shortHeight);
             }),
             EndWith(5)});
        EXPECT_GE(longHeight - shortHeight, band);
    }
}

TEST_F(EnvironmentDialogTest, ShutdownButtonEndsOnlyWhenTheChoiceIsTaken)
{
    UseModule("TestLang.dll");
    SetEnvironmentVariableA("TARN_TESTLANG_RESULT", "7");
    INT_PTR result = Run({Click(IDCANCEL), Check([](HWND dialog) {
                              EXPECT_TRUE(IsWindowVisible(dialog));
                              SetEnvironmentVariableA("TARN_TESTLANG_RESULT", "0");
                          }),
                          Click(IDCANCEL)});
    EXPECT_EQ(result, 10);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(EnvironmentDialogTest, BrowsingWithoutAChoiceEmptiesTheFolderAndDisablesOk)
{
    Run({Check([](HWND dialog) {
             Select(dialog, 0);
             PostMessageA(dialog, WM_COMMAND, IDC_ENV_BROWSE, 0);
         }),
         [](HWND active) {  // the folder browser: cancel it
             if (!FindWindowExA(active, nullptr, "SysTreeView32", nullptr)) return false;
             PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
             return true;
         },
         Check([](HWND dialog) {
             EXPECT_EQ(Text(dialog, IDC_ENV_FOLDER), "");
             EXPECT_FALSE(IsWindowEnabled(Item(dialog, IDOK)));
         }),
         EndWith(5)});
}
