#include "catalogues/layouts.h"
#include "common/guards.h"
#include "common/registry.h"
#include "common/resource_ids.h"
#include "common/window.h"
#include "session/launch.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "password/pass_key_derive.h"
#include "password/password_dialog.h"
#include "password/password_hash.h"
#include "password/password_store.h"
#include "session/shared_state.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

INT_PTR CALLBACK PassiveProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

struct Placement {
    std::map<int, POINT> controls;
    int width = 0;
    int height = 0;
};

const int kControls[] = {IDOK, IDCANCEL, IDC_PASSWORD_USER, IDC_PASSWORD_USER_LABEL, IDC_PASSWORD_EDIT,
                         IDC_PASSWORD_EDIT_LABEL, IDC_PASSWORD_REPEAT, IDC_PASSWORD_REPEAT_LABEL,
                         IDC_PASSWORD_HEADING, IDC_PASSWORD_LAYOUT, IDC_PASSWORD_LAYOUT_LABEL};

Placement Measure(HWND dialog)
{
    Placement placement;
    for (int id : kControls) placement.controls[id] = ControlPosition(GetDlgItem(dialog, id));
    placement.width = WindowWidth(dialog);
    placement.height = WindowHeight(dialog);
    return placement;
}

class PasswordDialogTest : public testing::Test {
protected:
    void UseModule(const std::string& name)
    {
        Shared().Settings.LangModuleName = name;
        ForgetLangModule();
        ASSERT_TRUE(LoadLangModule()) << name;
    }
    void TearDown() override
    {
        Shared() = SharedState();
        ForgetLangModule();
        SetEnvironmentVariableA("TARN_TESTLANG_RESULT", nullptr);
    }
    // The template as laid out before the dialog procedure touches it.
    Placement TemplatePlacement()
    {
        HWND plain = CreateDialogParamA(LoadLangModule(), MAKEINTRESOURCEA(IDD_PASSWORD), nullptr, PassiveProc, 0);
        Placement placement = Measure(plain);
        DestroyWindow(plain);
        return placement;
    }
    INT_PTR Run(PasswordMode mode, std::vector<DriverStep> steps)
    {
        prompt.Mode = mode;
        DialogDriver driver(std::move(steps));
        ScopeExit keepBoxes([&] { boxes = driver.boxes; });
        INT_PTR result = ShowLangDialog(IDD_PASSWORD, nullptr, PasswordDlgProc, reinterpret_cast<LPARAM>(&prompt));
        EXPECT_TRUE(driver.Finished());
        return result;
    }
    PasswordPrompt prompt;
    std::vector<std::string> boxes;
};

void ExpectMovedUp(const Placement& before, const Placement& after, std::initializer_list<int> moved)
{
    for (int id : kControls) {
        bool shouldMove = std::find(moved.begin(), moved.end(), id) != moved.end();
        EXPECT_EQ(after.controls.at(id).x, before.controls.at(id).x) << id;
        EXPECT_EQ(after.controls.at(id).y, before.controls.at(id).y - (shouldMove ? 25 : 0)) << id;
    }
    EXPECT_EQ(after.height, before.height - 25);
    EXPECT_EQ(after.width, before.width);
}

void ExpectCentred(HWND dialog)
{
    RECT rect{};
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - RectWidth(rect)) / 2);
    EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - RectHeight(rect)) / 2);
}


}  // namespace

TEST_F(PasswordDialogTest, LogonLayoutHidesTheRepeatRowWithTheShippedModule)
{
    UseModule("LangPack.dll");
    Placement before = TemplatePlacement();
    INT_PTR result = Run(PasswordMode::Logon,
                         {Check([&](HWND dialog) {
                              ExpectMovedUp(before, Measure(dialog),
                                            {IDOK, IDCANCEL, IDC_PASSWORD_LAYOUT, IDC_PASSWORD_LAYOUT_LABEL});
                              ExpectCentred(dialog);
                              EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_PASSWORD_REPEAT)));
                              EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_PASSWORD_REPEAT_LABEL)));
                              EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(dialog, IDC_PASSWORD_USER), GWL_STYLE) & WS_VISIBLE);
                              EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_PASSWORD_EDIT));
                              char user[256] = "";
                              GetDlgItemTextA(dialog, IDC_PASSWORD_USER, user, sizeof user);
                              char expected[256] = "";
                              DWORD size = sizeof expected;
                              GetUserNameA(expected, &size);
                              EXPECT_STREQ(user, expected);
                              EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
                          }),
                          TypeInto(IDC_PASSWORD_EDIT, "x"),
                          Check([](HWND dialog) { EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK))); }),
                          TypeInto(IDC_PASSWORD_EDIT, ""),
                          Check([](HWND dialog) {
                              EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
                              EndDialog(dialog, 42);
                          })});
    EXPECT_EQ(result, 42);
}

TEST_F(PasswordDialogTest, SetLayoutHidesTheUserRowWithTheShippedModule)
{
    UseModule("LangPack.dll");
    Placement before = TemplatePlacement();
    INT_PTR result = Run(PasswordMode::Set,
                         {Check([&](HWND dialog) {
                              ExpectMovedUp(before, Measure(dialog),
                                            {IDOK, IDCANCEL, IDC_PASSWORD_EDIT, IDC_PASSWORD_EDIT_LABEL,
                                             IDC_PASSWORD_REPEAT, IDC_PASSWORD_REPEAT_LABEL, IDC_PASSWORD_LAYOUT,
                                             IDC_PASSWORD_LAYOUT_LABEL});
                              ExpectCentred(dialog);
                              EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_PASSWORD_USER)));
                              EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_PASSWORD_USER_LABEL)));
                              char text[256] = "";
                              GetWindowTextA(dialog, text, sizeof text);
                              EXPECT_EQ(text, LoadLangString(IDS_SETPASS_TITLE));
                              GetDlgItemTextA(dialog, IDC_PASSWORD_HEADING, text, sizeof text);
                              EXPECT_EQ(text, LoadLangString(IDS_SETPASS_HEADING));
                              EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_PASSWORD_EDIT));
                          }),
                          TypeInto(IDC_PASSWORD_EDIT, "x"),
                          Check([](HWND dialog) { EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK))); }),
                          TypeInto(IDC_PASSWORD_REPEAT, "y"),
                          Check([](HWND dialog) { EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK))); }),
                          Click(IDCANCEL)});
    EXPECT_EQ(result, kSetCancelled) << "Esc and Cancel leave set mode";
}

// A module built for 1.5 has no keyboard row: the program adds it below the buttons, inside the
// grown dialog, with the layouts installed and the one in force selected; choosing one applies it.
TEST_F(PasswordDialogTest, KeyboardRowIsAddedToAnOldTemplateAndAppliesTheChoice)
{
    UseModule("TestLang.dll");
    // Two layouts of the test's own, removed again; the prefix may have none that can be listed.
    const std::string keys = "\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\";
    const std::string file = ExpandCommand("%windir%\\system32\\tarn_test_kbd.dll");
    WriteBytes(file, "MZ");
    for (const char* id : {"0000F407", "0000F409"}) {
        UniqueKey layout = CreateRegKey(keys + id, KEY_ALL_ACCESS);
        WriteRegString(layout.get(), "Layout File", "tarn_test_kbd.dll");
        WriteRegString(layout.get(), "Layout Text", id);
    }
    ScopeExit remove([&] {
        for (const char* id : {"0000F407", "0000F409"}) DeleteRegTree(keys + id);
        DeleteFileA(file.c_str());
    });
    for (PasswordMode mode : {PasswordMode::Logon, PasswordMode::Set}) {
        Run(mode, {Check([this](HWND dialog) {
                       ScopeExit end([dialog] { EndDialog(dialog, 42); });
                       HWND combo = GetDlgItem(dialog, IDC_PASSWORD_LAYOUT);
                       ASSERT_TRUE(combo);
                       EXPECT_TRUE(GetWindowLongPtrA(combo, GWL_STYLE) & WS_VISIBLE);
                       char label[64] = "";
                       GetDlgItemTextA(dialog, IDC_PASSWORD_LAYOUT_LABEL, label, sizeof label);
                       EXPECT_STREQ(label, "&Keyboard:");
                       RECT client{}, rect{};
                       GetClientRect(dialog, &client);
                       GetWindowRect(combo, &rect);
                       MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
                       EXPECT_LE(rect.bottom, client.bottom);
                       EXPECT_LE(rect.right, client.right);
                       EXPECT_GT(rect.top, ControlPosition(GetDlgItem(dialog, IDOK)).y) << "below the template's controls";
                       ExpectCentred(dialog);

                       const auto count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
                       EXPECT_EQ(static_cast<size_t>(count), prompt.Layouts.Count());
                       ASSERT_GE(count, 2) << "the prefix's layouts are listed";
                       const int current = FindCurrentLayout(prompt.Layouts);
                       EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), current);
                       const int other = (current + 1) % static_cast<int>(count);
                       SendMessageA(combo, CB_SETCURSEL, other, 0);
                       SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PASSWORD_LAYOUT, CBN_SELCHANGE),
                                    reinterpret_cast<LPARAM>(combo));
                       char name[KL_NAMELENGTH] = "";
                       GetKeyboardLayoutNameA(name);
                       // Wine may refuse the switch; where it makes it, the layout in force follows.
                       if (std::string(name) == prompt.Layouts.At(other).Id) {
                           EXPECT_EQ(FindCurrentLayout(prompt.Layouts), other);
                       }
                       EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_PASSWORD_EDIT)) << "back to the password";
                   })});
    }
    ActivateKeyboardLayout(LoadKeyboardLayoutA("00000409", 0), 0);
}

TEST_F(PasswordDialogTest, FifthWrongPasswordEndsTheProgram)
{
    UseModule("TestLang.dll");
    prompt.Stored.Hash = PasswordHash("right");
    std::vector<DriverStep> steps;
    for (int attempt = 0; attempt < 4; ++attempt) {
        steps.push_back(TypeInto(IDC_PASSWORD_EDIT, attempt == 0 ? "Right" : "wrong"));
        steps.push_back(Click(IDOK));
        steps.push_back(ExpectBox("WRONG"));
    }
    steps.push_back(Click(IDOK));  // the entry is not cleared after a failure
    steps.push_back(ExpectBox("LAST WRONG"));
    EXPECT_EQ(Run(PasswordMode::Logon, steps), kEndProgram);
    std::vector<std::string> expected(4, "Tarn Logon|WRONG|warning");
    expected.push_back("Tarn Logon|LAST WRONG|error");
    EXPECT_EQ(boxes, expected);
}

TEST_F(PasswordDialogTest, RightPasswordAtTheFifthTryIsAccepted)
{
    UseModule("TestLang.dll");
    std::string longPassword = "rescue-100-abcdefghijklmnopqrstuvwxyz";  // 37 characters, 29 count
    prompt.Stored.Hash = PasswordHash(longPassword.substr(0, 29));
    ASSERT_GE(prompt.Stored.Hash, 0x80000000u) << "a hash with the top bit set";
    std::vector<DriverStep> steps;
    for (int attempt = 0; attempt < 4; ++attempt) {
        steps.push_back(TypeInto(IDC_PASSWORD_EDIT, longPassword.substr(0, 28)));
        steps.push_back(Click(IDOK));
        steps.push_back(ExpectBox("WRONG"));
    }
    steps.push_back(TypeInto(IDC_PASSWORD_EDIT, longPassword));
    steps.push_back(Click(IDOK));
    EXPECT_EQ(Run(PasswordMode::Logon, steps), kLogonAccepted);
    EXPECT_EQ(boxes.size(), 4u);
}

// A key the platform refuses to derive (here: no iterations) must not count as a wrong entry, let
// alone a right one: the dialog ends, and the flow raises the error once the dialog is gone.
TEST_F(PasswordDialogTest, AKeyThatCannotBeDerivedEndsThePrompt)
{
    UseModule("TestLang.dll");
    prompt.Stored.Key = TPassKey{0, {1}, {2}};
    INT_PTR result = -1;
    EXPECT_THROW(result = Run(PasswordMode::Logon, {TypeInto(IDC_PASSWORD_EDIT, "right"), Click(IDOK)}), AppError);
    EXPECT_NE(result, kLogonAccepted);
    EXPECT_TRUE(boxes.empty()) << "no wrong-password message";
}

TEST_F(PasswordDialogTest, SetModeWantsTwoIdenticalEntries)
{
    UseModule("TestLang.dll");
    std::string longPassword = "Secret-password-that-is-longer-than-29";
    INT_PTR result = Run(PasswordMode::Set, {TypeInto(IDC_PASSWORD_EDIT, "Secret"), TypeInto(IDC_PASSWORD_REPEAT, "secret"),
                                             Click(IDOK), ExpectBox("MISMATCH"),
                                             TypeInto(IDC_PASSWORD_EDIT, longPassword),
                                             TypeInto(IDC_PASSWORD_REPEAT, longPassword), Click(IDOK)});
    EXPECT_EQ(result, kNewPasswordAccepted);
    EXPECT_EQ(boxes, std::vector<std::string>{"Tarn Logon|MISMATCH|warning"});
    ASSERT_TRUE(prompt.NewKey);
    EXPECT_EQ(prompt.NewKey->Iterations, 600000u);
    EXPECT_TRUE(PassKeyMatches(*prompt.NewKey, longPassword)) << "the whole entry counts";
    EXPECT_FALSE(PassKeyMatches(*prompt.NewKey, longPassword.substr(0, 29)));
    EXPECT_EQ(prompt.Stored.Hash, 0u) << "no legacy hash is made";
}

TEST_F(PasswordDialogTest, CancelAtLogonOffersTheShutdownChoice)
{
    UseModule("TestLang.dll");
    prompt.Stored.Hash = PasswordHash("right");
    SetEnvironmentVariableA("TARN_TESTLANG_RESULT", "7");
    INT_PTR result = Run(PasswordMode::Logon,
                         {Click(IDCANCEL),
                          Check([](HWND dialog) {
                              EXPECT_TRUE(IsWindowVisible(dialog)) << "a cancelled choice returns to the dialog";
                              SetEnvironmentVariableA("TARN_TESTLANG_RESULT", "0");
                          }),
                          Click(IDCANCEL)});
    EXPECT_EQ(result, kEndProgram);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "quit was chosen";
}

TEST_F(PasswordDialogTest, SetpassFlowReportsAndWritesThePasswordFile)
{
    UseModule("TestLang.dll");
    std::string path = PasswordFilePath();
    DeleteFileA(path.c_str());
    ScopeExit remove([&] { DeleteFileA(path.c_str()); });

    {
        DialogDriver driver({Click(IDCANCEL), ExpectBox("UNCHANGED")});
        RunPasswordDialog(nullptr, PasswordMode::Set);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(driver.boxes, std::vector<std::string>{"Tarn Logon|UNCHANGED|warning"});
        EXPECT_TRUE(ReadBytes(path).empty()) << "no file after Esc";
    }
    StoredPassword set;
    {
        DialogDriver driver({TypeInto(IDC_PASSWORD_EDIT, "ab"), TypeInto(IDC_PASSWORD_REPEAT, "ab"), Click(IDOK),
                             ExpectBox("DONE")});
        set = RunPasswordDialog(nullptr, PasswordMode::Set);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(driver.boxes, std::vector<std::string>{"Tarn Logon|DONE|warning"});
    }
    std::string text = ReadBytes(path);
    ASSERT_TRUE(set.Key);
    EXPECT_EQ(text, PassKeyFileText(*set.Key));

    // The empty password means none: the legacy file says so, as it always did.
    {
        DialogDriver driver({Click(IDOK), ExpectBox("DONE")});
        set = RunPasswordDialog(nullptr, PasswordMode::Set);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_FALSE(set.Key);
    EXPECT_EQ(ReadBytes(path), PasswordFileText("", 0));
}

// Only OK with two matching entries writes the file: a dialog ended with the very result of an
// accepted password, or by a quit message, writes nothing and tells nothing.
TEST_F(PasswordDialogTest, SetModeWritesOnlyAfterItsOwnDecision)
{
    UseModule("TestLang.dll");
    std::string path = PasswordFilePath();
    DeleteFileA(path.c_str());
    ScopeExit remove([&] { DeleteFileA(path.c_str()); });
    const std::function<void(HWND)> endings[] = {
        [](HWND dialog) { EndDialog(dialog, kNewPasswordAccepted); },
        [](HWND) { PostQuitMessage(0); },
    };
    for (const auto& end : endings) {
        DialogDriver driver({TypeInto(IDC_PASSWORD_EDIT, "ab"), TypeInto(IDC_PASSWORD_REPEAT, "ab"), Check(end)});
        RunPasswordDialog(nullptr, PasswordMode::Set);
        EXPECT_TRUE(driver.Finished());
        EXPECT_TRUE(driver.boxes.empty());
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "no password file";
        MSG message;
        PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
}

TEST_F(PasswordDialogTest, NoStoredPasswordShowsNoDialog)
{
    UseModule("TestLang.dll");
    DeleteRegTree("\\Software\\Quillon");
    UniqueKey key = CreateRegKey(kPasswordKey, KEY_ALL_ACCESS);
    WriteRegDword(key.get(), kPasswordValue, 0);
    ScopeExit remove([] { DeleteRegTree("\\Software\\Quillon"); });

    DialogDriver driver({Check([](HWND) { ADD_FAILURE() << "a dialog was shown"; })});
    RunPasswordDialog(nullptr, PasswordMode::Logon);
    EXPECT_FALSE(driver.Finished());
}
