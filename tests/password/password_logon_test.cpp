// The password as an operator and an administrator meet it, with the real executable.
#include "common/resource_ids.h"
#include "password/password_hash.h"
#include "password/password_store.h"
#include "support/logon_case.h"

#include <gtest/gtest.h>

namespace {

class PasswordLogonTest : public LogonCase {
protected:
    void SetUp() override { DeleteRegTree("\\Software\\Quillon"); }
    void TearDown() override { DeleteRegTree("\\Software\\Quillon"); }

    static void StorePassword(const std::string& password)
    {
        UniqueKey key = CreateRegKey(kPasswordKey, KEY_ALL_ACCESS);
        ASSERT_TRUE(key);
        WriteRegDword(key.get(), kPasswordValue, PasswordHash(password));
    }
    // Types into the prompt and presses OK as the operator would.
    static void Enter(HWND dialog, int control, const std::string& text)
    {
        SendMessageA(GetDlgItem(dialog, control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    static void PressOk(HWND window) { PostMessageA(window, WM_COMMAND, IDOK, 0); }
    // Waits for the program's next message box, returns its text and confirms it.
    std::string ConfirmBox()
    {
        HWND box = WaitForWindowWith(0xFFFF);
        if (!box) return "<no box>";
        std::string text = BoxText(box);
        PressOk(box);
        WaitUntil([&] { return !IsWindow(box); }, std::chrono::seconds(10));
        return text;
    }
    static std::string ShippedString(UINT id)
    {
        HMODULE module = LoadLibraryExA((BinFolder() + "LangPack.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        char text[1024] = "";
        LoadStringA(module, id, text, sizeof text);
        FreeLibrary(module);
        return text;
    }
};

}  // namespace

TEST_F(PasswordLogonTest, SetpassWritesThePasswordFileNextToTheExecutableAndRunsNothingElse)
{
    Install();
    InstallLanguage("LangPack.dll", "LangPack.dll");
    ChildProcess& program = Start("setpass");
    HWND dialog = WaitForWindowWith(IDC_PASSWORD_REPEAT);
    ASSERT_TRUE(dialog);
    Enter(dialog, IDC_PASSWORD_EDIT, "say \"open\"");
    Enter(dialog, IDC_PASSWORD_REPEAT, "say \"open\"");
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    PressOk(dialog);
    EXPECT_EQ(ConfirmBox(), ShippedString(IDS_SETPASS_DONE));
    EXPECT_EQ(program.WaitForExit(15000), 0u);

    EXPECT_EQ(ReadBytes(folder_.Path() + "pe\\tarn_password.txt"),
              PasswordFileText("say \"open\"", PasswordHash("say \"open\"")));
    EXPECT_TRUE(ShellRuns().empty());
    EXPECT_FALSE(OpenRegKey(kPasswordKey, KEY_READ)) << "setpass changes nothing in the registry";
}

TEST_F(PasswordLogonTest, ConfiguredPasswordIsAskedFirstAndTheFifthWrongEntryEndsTheProgram)
{
    StorePassword("right");
    Install();
    InstallLanguage("LangPack.dll", "LangPack.dll");
    ChildProcess& program = Start();
    HWND dialog = WaitForWindowWith(IDC_PASSWORD_EDIT);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(ShellRuns().empty()) << "nothing runs before the password";

    for (int attempt = 1; attempt <= 5; ++attempt) {
        Enter(dialog, IDC_PASSWORD_EDIT, "wrong");
        PressOk(dialog);
        EXPECT_EQ(ConfirmBox(), ShippedString(attempt < 5 ? IDS_LOGON_WRONG : IDS_LOGON_LAST_WRONG)) << attempt;
    }
    EXPECT_EQ(program.WaitForExit(15000), 0u);
    EXPECT_TRUE(ShellRuns().empty());
}

TEST_F(PasswordLogonTest, RightPasswordLeadsToTheShell)
{
    // As setpass stores a long password: only its first 29 characters count. The hash has its top bit set.
    StorePassword("rescue-100-abcdefghijklmnopqr");
    Install();
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start();
    HWND dialog = WaitForWindowWith(IDC_PASSWORD_EDIT);
    ASSERT_TRUE(dialog);
    Enter(dialog, IDC_PASSWORD_EDIT, "rescue-100-abcdefghijklmnopqrstuvwxyz");
    PressOk(dialog);
    HWND environment = WaitForWindowWith(IDC_ENV_TARGETS);
    ASSERT_TRUE(environment) << "the environment dialog follows the password";
    PressOk(environment);
    EXPECT_TRUE(WaitForShellRuns(1));
}

TEST_F(PasswordLogonTest, PromptThatCannotBeShownLetsNobodyIn)
{
    StorePassword("right");
    Install();  // no language module
    ChildProcess& program = Start();
    HWND box = WaitForBox("Tarn Logon");
    ASSERT_TRUE(box);
    EXPECT_NE(BoxText(box).find("password prompt cannot be shown"), std::string::npos) << BoxText(box);
    PressOk(box);
    EXPECT_EQ(program.WaitForExit(15000), 0u);
    EXPECT_TRUE(ShellRuns().empty());
}

TEST_F(PasswordLogonTest, StoredHashOfTheWrongTypeStopsTheProgram)
{
    {
        UniqueKey key = CreateRegKey(kPasswordKey, KEY_ALL_ACCESS);
        WriteRegString(key.get(), kPasswordValue, "8FBFEAC4");
    }
    Install();
    InstallLanguage();
    ChildProcess& program = Start();
    HWND box = WaitForBox("Application Error");
    ASSERT_TRUE(box);
    EXPECT_NE(BoxText(box).find("Invalid data type for 'PassHash'"), std::string::npos) << BoxText(box);
    PressOk(box);
    EXPECT_EQ(program.WaitForExit(15000), 1u);
    EXPECT_TRUE(ShellRuns().empty());
}
