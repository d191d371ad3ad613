// The password as an operator and an administrator meet it, with the real executable.
#include "common/resource_ids.h"
#include "password/pass_key_derive.h"
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
    static void StorePassKey(const std::string& password, uint32_t iterations)
    {
        const TPassKeyBytes bytes = PassKeyBytes(MakePassKey(password, iterations));
        StorePassKeyBytes(REG_BINARY, std::string(bytes.begin(), bytes.end()));
    }
    static void StorePassKeyBytes(DWORD type, const std::string& bytes)
    {
        UniqueKey key = CreateRegKey(kPasswordKey, KEY_ALL_ACCESS);
        ASSERT_TRUE(key);
        RegSetValueExA(key.get(), kPassKeyValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    }
    // The program stops at start-up with the last-resort box naming the value, and no shell runs.
    void ExpectStopsWithError(const std::string& message)
    {
        ChildProcess& program = Start();
        HWND box = WaitForBox("Application Error");
        ASSERT_TRUE(box);
        EXPECT_NE(BoxText(box).find(message), std::string::npos) << BoxText(box);
        PressOk(box);
        EXPECT_EQ(program.WaitForExit(15000), 1u);
        EXPECT_TRUE(ShellRuns().empty());
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
    const std::string password = "say \"open\", sesame: a passphrase past 29 characters";
    Install();
    InstallLanguage("LangPack.dll", "LangPack.dll");
    std::vector<TPassKey> keys;
    for (int run = 0; run < 2; ++run) {
        ChildProcess& program = Start("setpass");
        HWND dialog = WaitForWindowWith(IDC_PASSWORD_REPEAT);
        ASSERT_TRUE(dialog);
        Enter(dialog, IDC_PASSWORD_EDIT, password);
        Enter(dialog, IDC_PASSWORD_REPEAT, password);
        ASSERT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
        PressOk(dialog);
        EXPECT_EQ(ConfirmBox(), ShippedString(IDS_SETPASS_DONE));
        EXPECT_EQ(program.WaitForExit(15000), 0u);

        // The key that the reg add line carries opens with the whole password, and the file is
        // exactly the one of that key (its lines are checked byte for byte elsewhere).
        const std::string text = ReadBytes(folder_.Path() + "pe\\tarn_password.txt");
        const size_t digits = text.find("/t REG_BINARY /d ") + 17;
        ASSERT_LE(digits + 2 * kPassKeySize, text.size()) << text;
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < 2 * kPassKeySize; i += 2) bytes.push_back(std::stoi(text.substr(digits + i, 2), nullptr, 16));
        std::optional<TPassKey> key = ParsePassKey(bytes.data(), bytes.size());
        ASSERT_TRUE(key) << text;
        EXPECT_EQ(key->Iterations, 600000u);
        EXPECT_TRUE(PassKeyMatches(*key, password));
        EXPECT_EQ(text, PassKeyFileText(*key));
        EXPECT_EQ(text.find("sesame"), std::string::npos) << "the password is nowhere in the file";
        keys.push_back(*key);
    }
    EXPECT_NE(keys[0].Salt, keys[1].Salt) << "each run draws a fresh salt";
    EXPECT_NE(keys[0].Digest, keys[1].Digest);
    EXPECT_TRUE(ShellRuns().empty());
    EXPECT_FALSE(OpenRegKey(kPasswordKey, KEY_READ)) << "setpass changes nothing in the registry";
}

TEST_F(PasswordLogonTest, ConfiguredPasswordIsAskedFirstAndTheFifthWrongEntryEndsTheProgram)
{
    for (bool withKey : {false, true}) {
        SCOPED_TRACE(withKey ? "PassKey" : "PassHash");
        DeleteRegTree("\\Software\\Quillon");
        withKey ? StorePassKey("right", 1000) : StorePassword("right");
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
}

// A PassKey alone decides: the password of a PassHash beside it is wrong, and the key covers the
// whole entry, not its first 29 characters.
TEST_F(PasswordLogonTest, PassKeyAloneDecidesAndCoversTheWholeEntry)
{
    const std::string phrase = "rescue-100-abcdefghijklmnopqrstuvwxyz";
    StorePassword("other");
    StorePassKey(phrase, kPassKeyIterations);
    Install();
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start();
    HWND dialog = WaitForWindowWith(IDC_PASSWORD_EDIT);
    ASSERT_TRUE(dialog);
    for (const std::string& wrong : {std::string("other"), phrase.substr(0, 29)}) {
        Enter(dialog, IDC_PASSWORD_EDIT, wrong);
        PressOk(dialog);
        EXPECT_EQ(ConfirmBox(), ShippedString(IDS_LOGON_WRONG)) << wrong;
    }
    Enter(dialog, IDC_PASSWORD_EDIT, phrase);
    PressOk(dialog);
    HWND environment = WaitForWindowWith(IDC_ENV_TARGETS);
    ASSERT_TRUE(environment) << "the environment dialog follows the password";
    PressOk(environment);
    EXPECT_TRUE(WaitForShellRuns(1));
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

// Anything but the right password that ends the prompt (here a quit message posted to its
// thread) ends the program: no environment dialog, no shell.
TEST_F(PasswordLogonTest, PromptEndedWithoutTheRightPasswordOpensNothing)
{
    StorePassword("right");
    Install();
    InstallLanguage("LangPack.dll", "LangPack.dll");
    ChildProcess& program = Start();
    HWND dialog = WaitForWindowWith(IDC_PASSWORD_EDIT);
    ASSERT_TRUE(dialog);
    Enter(dialog, IDC_PASSWORD_EDIT, "right");  // typed, but never confirmed
    ASSERT_TRUE(PostThreadMessageA(GetWindowThreadProcessId(dialog, nullptr), WM_QUIT, 0, 0));
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
    ExpectStopsWithError("Invalid data type for 'PassHash'");
}

// A PassKey that set mode cannot have written is not trusted, whatever PassHash says: no
// prompt, no shell.
TEST_F(PasswordLogonTest, UntrustworthyPassKeyStopsTheProgram)
{
    const TPassKeyBytes good = PassKeyBytes(MakePassKey("right", 1000));
    auto changed = [&](size_t at, uint8_t value) {
        std::string bytes(good.begin(), good.end());
        bytes[at] = static_cast<char>(value);
        return bytes;
    };
    const std::string type = "Invalid data type for 'PassKey'";
    const std::string data = "Invalid data for 'PassKey'";
    const struct {
        const char* label;
        DWORD type;
        std::string bytes;
        const std::string& message;
    } rows[] = {
        {"REG_DWORD", REG_DWORD, "\1\2\3\4", type},
        {"REG_SZ of the right size", REG_SZ, std::string(good.begin(), good.end()), type},
        {"52 bytes", REG_BINARY, std::string(good.begin(), good.end() - 1), data},
        {"54 bytes", REG_BINARY, std::string(good.begin(), good.end()) + '\0', data},
        {"format 0", REG_BINARY, changed(0, 0), data},
        {"format 2", REG_BINARY, changed(0, 2), data},
        {"0 iterations", REG_BINARY, changed(1, 0).replace(1, 4, 4, '\0'), data},
        {"10,000,001 iterations", REG_BINARY, changed(1, 0x81).replace(2, 3, "\x96\x98\x00", 3), data},
    };
    Install();
    InstallLanguage();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        DeleteRegTree("\\Software\\Quillon");
        StorePassword("right");
        StorePassKeyBytes(row.type, row.bytes);
        ExpectStopsWithError(row.message);
    }
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
