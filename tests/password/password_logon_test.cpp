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

namespace {

// The 32-bit build on 64-bit Windows: the password, the autorun keys and the machine environment
// are those of the system's own (64-bit) registry view, not the 32-bit copy that Windows shows
// such a program by default. make test runs this case from the x86 build in a 64-bit prefix;
// where a process sees only one view, it has nothing to show.
class Wow64LogonTest : public PasswordLogonTest {
protected:
    void SetUp() override
    {
        BOOL wow64 = FALSE;
        if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) GTEST_SKIP() << "one registry view only";
        PasswordLogonTest::SetUp();
        Clean();
    }
    void TearDown() override
    {
        if (program_) program_->Terminate();
        Clean();
        PasswordLogonTest::TearDown();
    }
    // Opened in the view given, without the program's own registry code.
    static UniqueKey ViewKey(REGSAM view, const std::string& path)
    {
        UniqueKey key;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                  key.put(), nullptr),
                  ERROR_SUCCESS)
            << path;
        return key;
    }
    static void Clean()
    {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            RegDeleteValueA(ViewKey(view, kRunOnce).get(), "tarn");
            RegDeleteValueA(ViewKey(view, kEnvironment).get(), "TARGET_ROOT");
            RegDeleteKeyExA(ViewKey(view, "Software\\Quillon\\TarnDesk").get(), "1.5", view, 0);
        }
    }
    std::string Entry(const std::string& tag) const
    {
        return "\"" + BinFolder() + "probe.exe\" log=" + folder_.File("autorun.log") + " tag=" + tag;
    }
    bool Ran(const std::string& tag) const
    {
        for (const ProbeRun& run : ReadProbeLog(folder_.File("autorun.log"))) {
            if (run["cmdline"].find("tag=" + tag) != std::string::npos) return true;
        }
        return false;
    }

    static constexpr const char* kRunOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    static constexpr const char* kEnvironment = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
};

}  // namespace

TEST_F(Wow64LogonTest, PasswordAutorunAndTargetRootAreTheSystemsOwn)
{
    WriteRegDword(ViewKey(KEY_WOW64_64KEY, kPasswordKey).get(), kPasswordValue, PasswordHash("right"));
    WriteRegString(ViewKey(KEY_WOW64_64KEY, kRunOnce).get(), "tarn", Entry("native"));
    WriteRegString(ViewKey(KEY_WOW64_32KEY, kRunOnce).get(), "tarn", Entry("redirected"));
    Install("tarn_logon.exe", "UseRegRun=YES\r\n");
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start();

    HWND dialog = WaitForWindowWith(IDC_PASSWORD_EDIT);
    ASSERT_TRUE(dialog) << "the password stored in the 64-bit view is asked for";
    EXPECT_TRUE(WaitUntil([&] { return Ran("native"); }, std::chrono::seconds(10)));
    EXPECT_FALSE(Ran("redirected"));
    EXPECT_FALSE(RegValueExists(ViewKey(KEY_WOW64_64KEY, kRunOnce).get(), "tarn")) << "deleted after its start";
    EXPECT_TRUE(RegValueExists(ViewKey(KEY_WOW64_32KEY, kRunOnce).get(), "tarn"));

    Enter(dialog, IDC_PASSWORD_EDIT, "right");
    PressOk(dialog);
    HWND environment = WaitForWindowWith(IDC_ENV_TARGETS);
    ASSERT_TRUE(environment);
    const std::string target = folder_.Path() + "win";
    SetDlgItemTextA(environment, IDC_ENV_FOLDER, target.c_str());
    PressOk(environment);
    ASSERT_TRUE(WaitForShellRuns(1));
    EXPECT_EQ(ReadRegString(ViewKey(KEY_WOW64_64KEY, kEnvironment).get(), "TARGET_ROOT"), target);
}
