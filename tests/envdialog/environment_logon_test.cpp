// One pass after another of the real program, driven from outside as an operator would drive
// it: pick a target and a shell, work in the shell, come back to the dialog.
#include "common/resource_ids.h"
#include "../../langpack/langpack_ids.h"
#include "support/key_input.h"
#include "support/logon_case.h"
#include "support/pe_image.h"
#include "support/wine_drives.h"

#include <commctrl.h>
#include <dbt.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr const char* kEnvironmentKey = "\\System\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The list view of another process, reached through memory allocated in that process.
class RemoteListView {
public:
    RemoteListView(HANDLE process, HWND list) : process_(process), list_(list)
    {
        memory_ = static_cast<char*>(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteListView() { VirtualFreeEx(process_, memory_, 0, MEM_RELEASE); }

    int Count() const { return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }
    std::string Text(int index, int column = 0) const
    {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = memory_ + 1024;
        item.cchTextMax = 1024;
        if (!memory_ || !WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr)) {
            return "<no access to the program's memory: error " + std::to_string(GetLastError()) + ">";
        }
        SendMessageA(list_, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(memory_));
        char text[1024] = "";
        ReadProcessMemory(process_, memory_ + 1024, text, sizeof text - 1, nullptr);
        return text;
    }
    void Select(int index) const
    {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
        SendMessageA(list_, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(memory_));
    }
    // The text as the control holds it, in UTF-16: Wi-Fi names are not in the code page.
    std::wstring WideText(int index, int column = 0) const
    {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t*>(memory_ + 1024);
        item.cchTextMax = 512;
        if (!memory_ || !WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr)) return L"<no access>";
        SendMessageW(list_, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(memory_));
        wchar_t text[512] = L"";
        ReadProcessMemory(process_, memory_ + 1024, text, sizeof text - sizeof(wchar_t), nullptr);
        return text;
    }
    int Find(const std::string& text) const
    {
        for (int i = 0; i < Count(); ++i) {
            if (Text(i) == text) return i;
        }
        return -1;
    }

private:
    HANDLE process_;
    HWND list_;
    char* memory_ = nullptr;
};

std::wstring WideItemText(HWND dialog, int control)
{
    wchar_t text[512] = L"";
    GetDlgItemTextW(dialog, control, text, 512);
    return text;
}

std::string Utf8(const std::wstring& text)
{
    char bytes[1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
    return bytes;
}

// The lines of another process's combo box (the wide call: Wine's ANSI one gives one character).
std::vector<std::string> ComboTexts(HWND combo)
{
    std::vector<std::string> texts;
    for (LRESULT i = 0, count = SendMessageW(combo, CB_GETCOUNT, 0, 0); i < count; ++i) {
        std::wstring wide(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
        texts.emplace_back(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(wcslen(wide.c_str())));
    }
    return texts;
}

class EnvironmentLogonTest : public LogonCase {
protected:
    void SetUp() override
    {
        // An installation folder at the root of the fixed drive C: (no hive: an unreadable product).
        installation_ = "C:\\TarnE2E-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(installation_.c_str(), nullptr);
        CreateDirectoryA((installation_ + "\\system32").c_str(), nullptr);
        CreateDirectoryA((installation_ + "\\system32\\config").c_str(), nullptr);
        SetMachineTarget(nullptr);
    }
    void TearDown() override
    {
        if (program_) program_->Terminate();
        RemoveTree(installation_);
        SetMachineTarget(nullptr);
        RemoveLocationConsent();
    }
    static void SetMachineTarget(const char* value)
    {
        UniqueKey key = OpenRegKey(kEnvironmentKey, KEY_ALL_ACCESS);
        if (value) {
            WriteRegExpandString(key.get(), "TARGET_ROOT", value);
        } else {
            DeleteRegValue(key.get(), "TARGET_ROOT");
        }
    }
    static std::string MachineTarget()
    {
        UniqueKey key = OpenRegKey(kEnvironmentKey, KEY_READ);
        return RegValueExists(key.get(), "TARGET_ROOT") ? ReadRegString(key.get(), "TARGET_ROOT") : "<none>";
    }
    // Waits for a fresh environment dialog (not the one given) and returns it.
    HWND WaitForDialog(HWND previous = nullptr)
    {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                found = FindProcessWindowWithControl(program_->Id(), IDC_ENV_TARGETS);
                return found && found != previous;
            },
            std::chrono::seconds(20));
        return found != previous ? found : nullptr;
    }
    static void Command(HWND dialog, int control) { PostMessageA(dialog, WM_COMMAND, control, 0); }
    static std::string ItemText(HWND dialog, int control)
    {
        char text[MAX_PATH] = "";
        GetDlgItemTextA(dialog, control, text, sizeof text);
        return text;
    }
    // The program's message box with the given caption: its text, once it is closed with OK.
    std::string AnswerBox(const std::string& caption)
    {
        HWND box = WaitForBox(caption);
        if (!box) return "<no box>";
        std::string text = BoxText(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitUntil([&] { return !IsWindow(box); }, std::chrono::seconds(5));
        return text;
    }

    // Starts the program with the stand-in wlanapi.dll beside it; one that is absent refuses to
    // load, as no wlanapi.dll would (Wine always has a builtin one to fall back on).
    void StartWithWlan(bool present, const std::string& settings)
    {
        RemoveLocationConsent();
        Install("tarn_logon.exe", settings.c_str());
        InstallLanguage("LangPack.dll", "LangPack.dll");
        CopyOrFail(BinFolder() + "wlanstub.dll", folder_.File("pe\\wlanapi.dll"));
        const char* inherited = std::getenv("WINEDLLOVERRIDES");
        std::string overrides = inherited && *inherited ? std::string(inherited) + ";" : std::string();
        std::map<std::string, std::string> environment = {{"WINEDLLOVERRIDES", overrides + "wlanapi=n"},
                                                          {"TARN_WLAN_PASSPHRASE", kRightPassphrase},
                                                          {"TARN_WLAN_LOG", folder_.Path() + "wlan.log"}};
        if (!present) environment["TARN_WLAN_ABSENT"] = "1";
        Start(std::string(), 5000, environment);
    }
    // What the program sets on Windows PE (the test prefix is one) for the WLAN service.
    static void RemoveLocationConsent()
    {
        const std::string manager = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager";
        DeleteRegTree(manager + "\\ConsentStore\\location");
        DeleteRegTree(manager + "\\Capabilities\\wlanLocationBypass");
    }
    HWND OpenWifiDialog()
    {
        HWND dialog = WaitForDialog();
        if (!dialog) return nullptr;
        Command(dialog, IDC_ENV_WIFI);
        return WaitForWindowWith(IDC_WIFI_LIST);
    }
    bool WaitForStatus(HWND wifi, const std::wstring& part)
    {
        return WaitUntil([&] { return WideItemText(wifi, IDC_WIFI_STATUS).find(part) != std::wstring::npos; },
                         std::chrono::seconds(20));
    }
    void Join(HWND wifi, const char* passphrase)
    {
        RemoteListView(program_->Handle(), GetDlgItem(wifi, IDC_WIFI_LIST)).Select(0);
        Command(wifi, IDC_WIFI_CONNECT);
        HWND prompt = WaitForWindowWith(IDC_WIFI_PASSPHRASE);
        ASSERT_TRUE(prompt);
        SendMessageA(GetDlgItem(prompt, IDC_WIFI_PASSPHRASE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(passphrase));
        Command(prompt, IDOK);
    }

    static constexpr const char* kRightPassphrase = "correct horse battery";
    std::string installation_;
};

const char* kSettings = "UseRegRun=NO\r\n[Shell]\r\nMissing=C:\\no\\such\\shell.exe\r\nProbe shell=%windir%\\system32\\cmd.exe /probe\r\n";

}  // namespace

// From the first dialog to the end with the shipped module: the planted installation under its
// name, the shell, the dialog again, and Quit in the module's shutdown dialog. The ARM64 build's
// smoke run under qemu (tools/run-arm64-smoke.sh) is this case, and there no process can reach
// another's memory (Wine does that through ptrace, which qemu-user lacks): so the list is driven
// by its keys, the chosen folder read from the dialog and the name from the run log's scan line.
TEST_F(EnvironmentLogonTest, ChosenInstallationReachesTheShellAndTheDialogComesBack)
{
    // The hive was written at build time (tests/support/tarn_os.reg): under emulation no Python
    // is at hand to write one.
    CopyOrFail(BinFolder() + "tarn_os_software.hiv", installation_ + "\\system32\\config\\software");
    WriteBytes(installation_ + "\\system32\\ntoskrnl.exe", PeImage(0xAA64));
    const std::string log = folder_.Path() + "run.log";
    Install("tarn_logon.exe", ("LogFile=" + log + "\r\n" + kSettings).c_str());
    InstallLanguage("LangPack.dll", "LangPack.dll");
    ChildProcess& program = Start(std::string(), 500);
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);

    const std::string scanned = "scan installation=" + installation_ + " name=\"Tarn OS (ARM64)\"";
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(log).find(scanned) != std::string::npos; }, std::chrono::seconds(5)))
        << ReadBytes(log);
    HWND list = GetDlgItem(dialog, IDC_ENV_TARGETS);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    PostMessageA(list, WM_KEYDOWN, VK_HOME, 0);
    int index = 0;
    while (!WaitUntil([&] { return ItemText(dialog, IDC_ENV_FOLDER) == installation_; }, std::chrono::seconds(2)) &&
           ++index < count) {
        PostMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    }
    ASSERT_EQ(ItemText(dialog, IDC_ENV_FOLDER), installation_) << "the installation is listed";
    EXPECT_LT(index, count - 1) << "the no-target entry stays last";
    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 1, 0);
    Command(dialog, IDOK);

    ASSERT_TRUE(WaitForShellRuns(1));
    ProbeRun run = ShellRuns()[0];
    EXPECT_EQ(run["target_root"], installation_);
    EXPECT_NE(run["cmdline"].find("system32\\cmd.exe /probe"), std::string::npos) << run["cmdline"];
    EXPECT_EQ(MachineTarget(), installation_);
    HWND next = WaitForDialog(dialog);
    ASSERT_TRUE(next) << "the dialog is back when the shell ends";

    Command(next, IDCANCEL);
    HWND shutdown = WaitForWindowWith(IDC_SHUTDOWN_QUIT);
    ASSERT_TRUE(shutdown) << "the module's shutdown dialog";
    SendDlgItemMessageA(shutdown, IDC_SHUTDOWN_QUIT, BM_CLICK, 0, 0);
    SendDlgItemMessageA(shutdown, IDOK, BM_CLICK, 0, 0);
    EXPECT_EQ(program.WaitForExit(15000), 0u);
    EXPECT_EQ(ShellRuns().size(), 1u);
}

TEST_F(EnvironmentLogonTest, NoTargetDeletesTheValueAndTheShortFormCarriesOver)
{
    SetMachineTarget("X:\\old");
    Install("tarn_logon.exe", kSettings);
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start(std::string(), 200);
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    Command(dialog, IDC_ENV_TOGGLE);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(GetDlgItem(dialog, IDC_ENV_LAYOUT_LABEL)); },
                          std::chrono::seconds(5)));
    RemoteListView list(program_->Handle(), GetDlgItem(dialog, IDC_ENV_TARGETS));
    list.Select(list.Count() - 1);
    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 1, 0);
    Command(dialog, IDOK);

    ASSERT_TRUE(WaitForShellRuns(1));
    EXPECT_EQ(MachineTarget(), "<none>");
    HWND next = WaitForDialog(dialog);
    ASSERT_TRUE(next);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(next, IDC_ENV_LAYOUT_LABEL))) << "opens in the short form again";
}

TEST_F(EnvironmentLogonTest, AShellThatCannotStartIsReportedAndTheDialogComesBack)
{
    const std::string log = folder_.Path() + "run.log";
    Install("tarn_logon.exe", ("LogFile=" + log + "\r\n" + kSettings).c_str());
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start();
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 0, 0);
    auto pressed = std::chrono::steady_clock::now();
    Command(dialog, IDOK);
    // The box has the dialog's caption: it is looked for once the dialog is gone.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, std::chrono::seconds(5)));
    const std::string box = AnswerBox("Tarn Logon");
    EXPECT_EQ(box.rfind("The shell could not be started (error 2): ", 0), 0u) << box;
    EXPECT_NE(box.find("Check the disks"), std::string::npos) << "the module's hint follows";
    EXPECT_NE(ReadBytes(log).find("shell-start command=C:\\no\\such\\shell.exe result=failed"), std::string::npos)
        << ReadBytes(log);
    ASSERT_TRUE(WaitForDialog(dialog));
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(3));
    EXPECT_TRUE(ShellRuns().empty());
}

TEST_F(EnvironmentLogonTest, QuitFromTheShutdownChoiceEndsWithoutPublishing)
{
    SetMachineTarget("X:\\old");
    Install("tarn_logon.exe", kSettings);
    InstallLanguage();  // the recording test module answers the shutdown dialog with "quit"
    ChildProcess& program = Start(std::string(), 300, {{"TARN_TESTLANG_RESULT", "0"}});
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    Command(dialog, IDCANCEL);
    EXPECT_EQ(program.WaitForExit(15000), 0u);
    EXPECT_EQ(MachineTarget(), "X:\\old");
    EXPECT_TRUE(ShellRuns().empty());
}

namespace {

const std::string kRecoveryKey = "466895-217492-569250-069608-104434-135707-527241-083622";

// The stand-in manage-bde.exe in the prefix's own system32, where the program looks for it.
struct StandInTool {
    explicit StandInTool(const char* name = "manage-bde.exe")
    {
        char system[MAX_PATH] = "";
        GetSystemDirectoryA(system, MAX_PATH);
        path = std::string(system) + "\\" + name;
        DeleteFileA(path.c_str());
    }
    ~StandInTool() { DeleteFileA(path.c_str()); }
    std::string path;
};

}  // namespace

TEST_F(EnvironmentLogonTest, LockedDriveIsListedAndTheRightRecoveryKeyUnlocksIt)
{
    LockedTestDrive drive('L');
    ASSERT_TRUE(drive.Ok());
    StandInTool tool;
    CopyOrFail(BinFolder() + "probe_console.exe", tool.path);
    const std::string toolLog = folder_.Path() + "manage-bde.log";
    Install("tarn_logon.exe", kSettings);
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start(std::string(), 300,
          {{"TARN_BDE_LOG", toolLog}, {"TARN_BDE_PASSWORD", kRecoveryKey}, {"TARN_BDE_UNLOCKS", drive.Contents()},
           {"TARN_BDE_UNLOCK_MS", "1000"}});
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);

    RemoteListView list(program_->Handle(), GetDlgItem(dialog, IDC_ENV_TARGETS));
    const int locked = list.Find("L:\\");
    ASSERT_GE(locked, 0) << "the locked drive is listed";
    EXPECT_EQ(list.Text(locked, 1), "Locked by BitLocker");
    EXPECT_LT(list.Find(installation_), locked) << "in drive order";
    list.Select(list.Find(installation_));
    const std::string okText = ItemText(dialog, IDOK);
    list.Select(locked);
    EXPECT_EQ(ItemText(dialog, IDC_ENV_FOLDER), "");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_ENV_FOLDER)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_ENV_BROWSE)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_EQ(ItemText(dialog, IDOK), "&Unlock...");
    list.Select(list.Find(installation_));
    EXPECT_EQ(ItemText(dialog, IDOK), okText) << "another entry gives OK its own text back";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_ENV_BROWSE)));
    list.Select(locked);
    Command(dialog, IDOK);

    HWND prompt = WaitForWindowWith(IDC_UNLOCK_PASSWORD);
    ASSERT_TRUE(prompt);
    EXPECT_EQ(ItemText(prompt, IDC_UNLOCK_DRIVE), "L:");
    EXPECT_EQ(GetDlgItem(prompt, IDC_UNLOCK_OSK), nullptr) << "no on-screen keyboard button without osk.exe";
    EXPECT_EQ(ItemText(prompt, IDC_UNLOCK_KEY_ID), "{6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C}") << "read from UTF-16 output";
    EXPECT_EQ(ComboTexts(GetDlgItem(prompt, IDC_UNLOCK_METHOD)), std::vector<std::string>{"Recovery key (48 digits)"})
        << "only the kinds the drive has";

    SetDlgItemTextA(prompt, IDC_UNLOCK_PASSWORD, "466893-217492-569250-069608-104434-135707-527241-083622");
    Command(prompt, IDOK);
    EXPECT_NE(AnswerBox("BitLocker").find("48 digits"), std::string::npos);
    EXPECT_TRUE(IsWindowVisible(prompt)) << "a malformed key keeps the prompt";

    const std::string wrongKey = "000000" + kRecoveryKey.substr(6);
    SetDlgItemTextA(prompt, IDC_UNLOCK_PASSWORD, wrongKey.c_str());
    Command(prompt, IDOK);
    // OK pressed again while the tool runs starts no second run (the log below has one).
    ASSERT_TRUE(WaitUntil([&] { return ReadLines(toolLog).size() == 4; }, std::chrono::seconds(10)));
    Command(prompt, IDOK);
    EXPECT_NE(AnswerBox("BitLocker").find("did not accept"), std::string::npos);
    EXPECT_TRUE(IsWindowVisible(prompt)) << "a refused key keeps the prompt";

    // The right key from the on-screen keypad, a slip taken back with its backspace: each key
    // reaches the entry as a typed one. The keys are a finger wide (9 mm) at the display's DPI.
    RECT keyRect{};
    GetWindowRect(GetDlgItem(prompt, IDC_UNLOCK_KEYPAD_FIRST), &keyRect);
    HDC screen = GetDC(nullptr);
    EXPECT_GE(keyRect.right - keyRect.left, MulDiv(GetDeviceCaps(screen, LOGPIXELSX), 90, 254) - 1);
    ReleaseDC(nullptr, screen);
    SetDlgItemTextA(prompt, IDC_UNLOCK_PASSWORD, "");
    const std::string keypad = "123456789\b0-";
    for (char c : "7\b" + kRecoveryKey) {
        SendMessageA(GetDlgItem(prompt, IDC_UNLOCK_KEYPAD_FIRST + static_cast<int>(keypad.find(c))), BM_CLICK, 0, 0);
    }
    EXPECT_EQ(ItemText(prompt, IDC_UNLOCK_PASSWORD), kRecoveryKey);
    Command(prompt, IDOK);
    HWND next = WaitForDialog(dialog);
    ASSERT_TRUE(next) << "a new pass after the unlock";
    RemoteListView relisted(program_->Handle(), GetDlgItem(next, IDC_ENV_TARGETS));
    EXPECT_GE(relisted.Find("L:\\Windows"), 0) << "the unlocked drive's installation is listed";
    EXPECT_TRUE(ShellRuns().empty()) << "no shell between the passes";

    EXPECT_EQ(ReadLines(toolLog),
              (std::vector<std::string>{"-protectors -get L: -Type RecoveryPassword\tsecret=none",
                                        "-protectors -get L: -Type Password\tsecret=none",
                                        "-protectors -get L: -Type ExternalKey\tsecret=none",
                                        "-unlock L: -RecoveryPassword " + wrongKey + "\tsecret=argument",
                                        "-unlock L: -RecoveryPassword " + kRecoveryKey + "\tsecret=argument"}));
}

// A drive with a password and a key file besides its recovery key: the password is typed at the
// tool's own console, never passed on; the key file is found on a stick by its key ID; the
// suspend for one restart runs only when asked for. Neither secret reaches the run log.
TEST_F(EnvironmentLogonTest, LockedDriveUnlocksWithItsPasswordOrItsKeyFileAndSuspendsOnlyWhenAsked)
{
    const std::string keyId = "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D";
    const std::string password = "Tr0ub4dor &3";
    LockedTestDrive drive('L');
    TestDrive stick('R', DRIVE_REMOVABLE);
    ASSERT_TRUE(drive.Ok());
    ASSERT_TRUE(stick.Ok());
    WriteBytes(stick.Root() + "6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C.BEK", "another drive's key");
    WriteBytes(stick.Root() + keyId + ".BEK", "this drive's key");
    SetFileAttributesA((stick.Root() + keyId + ".BEK").c_str(), FILE_ATTRIBUTE_HIDDEN);
    StandInTool tool;
    CopyOrFail(BinFolder() + "probe_console.exe", tool.path);
    StandInTool keyboard("osk.exe");
    CopyOrFail(BinFolder() + "probe.exe", keyboard.path);
    const std::string toolLog = folder_.Path() + "manage-bde.log";
    const std::string runLog = folder_.Path() + "run.log";
    Install("tarn_logon.exe", ("LogFile=" + runLog + "\r\n" + kSettings).c_str());
    InstallLanguage("LangPack.dll", "LangPack.dll");
    const std::map<std::string, std::string> environment = {
        {"TARN_BDE_LOG", toolLog}, {"TARN_BDE_PROTECTORS", "RecoveryPassword,Password,ExternalKey"},
        {"TARN_BDE_DRIVE_PASSWORD", password}, {"TARN_BDE_KEY_FILE_ID", keyId},
        {"TARN_BDE_UNLOCKS", drive.Contents()}};
    // Opens the prompt for L: and chooses the kind at the given place of its list.
    auto openPrompt = [&](int method, HWND& dialog) {
        Start(std::string(), 300, environment);
        dialog = WaitForDialog();
        if (!dialog) return HWND{};
        RemoteListView list(program_->Handle(), GetDlgItem(dialog, IDC_ENV_TARGETS));
        list.Select(list.Find("L:\\"));
        Command(dialog, IDOK);
        HWND prompt = WaitForWindowWith(IDC_UNLOCK_PASSWORD);
        if (!prompt) return prompt;
        HWND methods = GetDlgItem(prompt, IDC_UNLOCK_METHOD);
        SendMessageA(methods, CB_SETCURSEL, method, 0);
        PostMessageA(prompt, WM_COMMAND, MAKEWPARAM(IDC_UNLOCK_METHOD, CBN_SELCHANGE), reinterpret_cast<LPARAM>(methods));
        return prompt;
    };
    auto unlockedListed = [&](HWND dialog) {
        HWND next = WaitForDialog(dialog);
        if (!next) return false;
        RemoteListView relisted(program_->Handle(), GetDlgItem(next, IDC_ENV_TARGETS));
        return relisted.Find("L:\\Windows") >= 0;
    };

    // Removable drives are searched only on request, then for the rest of the session.
    CreateFolders(stick.Root() + "Windows\\system32\\config");
    Start(std::string(), 300, environment);
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    EXPECT_LT(RemoteListView(program_->Handle(), GetDlgItem(dialog, IDC_ENV_TARGETS)).Find("R:\\Windows"), 0);
    SendDlgItemMessageA(dialog, IDC_ENV_REMOVABLE, BM_SETCHECK, BST_CHECKED, 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ENV_REMOVABLE, BN_CLICKED), 0);
    HWND searched = WaitForDialog(dialog);
    ASSERT_TRUE(searched);
    EXPECT_GE(RemoteListView(program_->Handle(), GetDlgItem(searched, IDC_ENV_TARGETS)).Find("R:\\Windows"), 0);
    EXPECT_EQ(SendDlgItemMessageA(searched, IDC_ENV_REMOVABLE, BM_GETCHECK, 0, 0), BST_CHECKED) << "kept";
    program_->Terminate();

    HWND prompt = openPrompt(1, dialog);
    ASSERT_TRUE(prompt);
    EXPECT_EQ(ComboTexts(GetDlgItem(prompt, IDC_UNLOCK_METHOD)),
              (std::vector<std::string>{"Recovery key (48 digits)", "Password", "Recovery key file (.BEK) on a USB drive"}))
        << "recovery key first";
    ASSERT_TRUE(WaitUntil([&] { return SendDlgItemMessageA(prompt, IDC_UNLOCK_PASSWORD, EM_GETPASSWORDCHAR, 0, 0) != 0; },
                          std::chrono::seconds(5)))
        << "a password is masked";
    ASSERT_TRUE(GetDlgItem(prompt, IDC_UNLOCK_OSK)) << "the image carries osk.exe";
    SendMessageA(GetDlgItem(prompt, IDC_UNLOCK_OSK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitForShellRuns(1)) << "the on-screen keyboard started";
    SetDlgItemTextA(prompt, IDC_UNLOCK_PASSWORD, "wrong password");
    Command(prompt, IDOK);
    EXPECT_NE(AnswerBox("BitLocker").find("did not accept the password"), std::string::npos);
    SetDlgItemTextA(prompt, IDC_UNLOCK_PASSWORD, password.c_str());
    SendDlgItemMessageA(prompt, IDC_UNLOCK_SUSPEND, BM_SETCHECK, BST_CHECKED, 0);
    Command(prompt, IDOK);
    EXPECT_NE(AnswerBox("BitLocker").find("suspended for the next restart"), std::string::npos);
    EXPECT_TRUE(unlockedListed(dialog)) << "unlocked with the password";
    program_->Terminate();
    RemoveTree(drive.Contents() + "\\Windows");

    prompt = openPrompt(2, dialog);
    ASSERT_TRUE(prompt);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(GetDlgItem(prompt, IDC_UNLOCK_KEY_FILE)) != FALSE; },
                          std::chrono::seconds(5)));
    EXPECT_EQ(ItemText(prompt, IDC_UNLOCK_KEY_FILE), "Key file found: R:\\" + keyId + ".BEK") << "the one whose ID matches";
    Command(prompt, IDOK);
    EXPECT_TRUE(unlockedListed(dialog)) << "unlocked with the key file";
    program_->Terminate();

    const std::vector<std::string> asked = {"-protectors -get L: -Type RecoveryPassword\tsecret=none",
                                            "-protectors -get L: -Type Password\tsecret=none",
                                            "-protectors -get L: -Type ExternalKey\tsecret=none"};
    std::vector<std::string> expected = asked;
    expected.insert(expected.end(), {"-unlock L: -Password\tsecret=console", "-unlock L: -Password\tsecret=console",
                                     "-protectors -disable L: -RebootCount 1\tsecret=none"});
    expected.insert(expected.end(), asked.begin(), asked.end());
    expected.push_back("-unlock L: -RecoveryKey R:\\\tsecret=none");
    EXPECT_EQ(ReadLines(toolLog), expected);
    const std::string log = ReadBytes(runLog);
    EXPECT_EQ(log.find("Tr0ub4dor"), std::string::npos) << "the password is on no record";
    EXPECT_EQ(log.find("wrong password"), std::string::npos);
    EXPECT_NE(log.find("action=suspend"), std::string::npos) << log;
}

// Also a BitLocker To Go drive, whose root is the readable discovery volume: it is listed as
// locked, with the same unlock.
TEST_F(EnvironmentLogonTest, LockedDriveWithoutTheToolNamesTheMissingComponents)
{
    for (bool toGo : {false, true}) {
    SCOPED_TRACE(toGo ? "To Go" : "-FVE-FS-");
    LockedTestDrive drive('L', toGo);
    ASSERT_TRUE(drive.Ok());
    StandInTool absent;
    Install("tarn_logon.exe", kSettings);
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start();
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    RemoteListView list(program_->Handle(), GetDlgItem(dialog, IDC_ENV_TARGETS));
    const int locked = list.Find("L:\\");
    ASSERT_GE(locked, 0) << "listed without the tool too";
    list.Select(locked);
    Command(dialog, IDOK);
    const std::string message = AnswerBox("BitLocker");
    EXPECT_NE(message.find("WinPE-WMI"), std::string::npos) << message;
    EXPECT_NE(message.find("WinPE-SecureStartup"), std::string::npos) << message;
    EXPECT_EQ(FindProcessWindowWithControl(program_->Id(), IDC_UNLOCK_PASSWORD), nullptr) << "no prompt";
    EXPECT_TRUE(IsWindowVisible(dialog));
    if (program_) program_->Terminate();
    }
}

namespace {

// A stand-in (the probe) for one of the Windows PE tools, in the prefix's own system32.
struct StandInPeTool {
    explicit StandInPeTool(const char* name)
    {
        char system[MAX_PATH] = "";
        GetSystemDirectoryA(system, MAX_PATH);
        path = std::string(system) + "\\" + name;
        DeleteFileA(path.c_str());
    }
    ~StandInPeTool() { DeleteFileA(path.c_str()); }
    std::string path;
};

// Answers the program's file chooser with the given file.
bool ChooseFile(DWORD process, const std::string& file)
{
    HWND chooser = nullptr;
    WaitUntil([&] { return (chooser = FindProcessWindowWithControl(process, 0x047C)) != nullptr; },
              std::chrono::seconds(20));
    if (!chooser) return false;
    SetDlgItemTextA(chooser, 0x047C, file.c_str());
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    return WaitUntil([&] { return !IsWindow(chooser); }, std::chrono::seconds(10));
}

// A drive letter that a stand-in defines later on its own; gone with the test, once it came.
struct LateDrive {
    explicit LateDrive(char drive) : letter(drive) {}
    ~LateDrive()
    {
        WaitUntil([&] { return (GetLogicalDrives() & (1u << (letter - 'A'))) != 0; }, std::chrono::seconds(10));
        DefineDrive(letter, DRIVE_NO_ROOT_DIR, "");
    }
    char letter;
};

std::vector<ProbeRun> RunsOf(const std::vector<ProbeRun>& runs, const std::string& tool)
{
    std::vector<ProbeRun> found;
    for (ProbeRun run : runs) {
        if (run["cmdline"].find(tool) != std::string::npos) found.push_back(run);
    }
    return found;
}

}  // namespace

// Load driver: drvload missing, refusing, then loading; after the load a new pass lists the disk
// the driver revealed (a drive the test defines meanwhile), with the selection kept.
TEST_F(EnvironmentLogonTest, LoadDriverSaysWhatHappenedAndANewPassListsTheRevealedDisk)
{
    const std::string inf = folder_.File("drivers\\iastorvd.inf");
    WriteBytes(inf, "[Version]\r\n");
    StandInPeTool drvload("drvload.exe");
    Install("tarn_logon.exe", kSettings);
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start(std::string(), 200, {{"TARN_PROBE_EXIT", "2"}});
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    RemoteListView list(program_->Handle(), GetDlgItem(dialog, IDC_ENV_TARGETS));
    list.Select(list.Find(installation_));

    Command(dialog, IDC_ENV_LOAD_DRIVER);
    ASSERT_TRUE(ChooseFile(program_->Id(), inf));
    const std::string missing = AnswerBox("Load Driver");
    EXPECT_NE(missing.find("\\drvload.exe is missing"), std::string::npos) << missing;

    CopyOrFail(BinFolder() + "probe.exe", drvload.path);
    Command(dialog, IDC_ENV_LOAD_DRIVER);
    ASSERT_TRUE(ChooseFile(program_->Id(), inf));
    const std::string refused = AnswerBox("Load Driver");
    EXPECT_NE(refused.find("(exit code 2)"), std::string::npos) << refused;
    EXPECT_EQ(WaitForDialog(), dialog) << "no new pass after a refusal";

    program_->Terminate();

    // A driver that loads slowly, and whose disk Plug and Play sets up only after drvload has
    // ended, with no broadcast: a later pass lists it all the same. Enter pressed twice during
    // the load neither closes the result box unread nor then presses OK and starts the shell.
    CaseFolder disk;
    CreateFolders(disk.Path() + "Windows\\system32\\config");
    LateDrive late('R');
    Start(std::string(), 3000, {{"TARN_PROBE_DRIVE", "R:" + UnixPathOf(disk.Path())}, {"TARN_PROBE_DRIVE_MS", "2500"}});
    dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    RemoteListView again(program_->Handle(), GetDlgItem(dialog, IDC_ENV_TARGETS));
    again.Select(again.Find(installation_));
    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 1, 0);
    Command(dialog, IDC_ENV_LOAD_DRIVER);
    ASSERT_TRUE(ChooseFile(program_->Id(), inf));
    ASSERT_TRUE(WaitUntil([&] { return RunsOf(ShellRuns(), "drvload.exe").size() == 2; }, std::chrono::seconds(10)));
    SetForegroundWindow(dialog);
    for (int press = 0; press < 2; ++press) {
        INPUT keys[] = {KeyInput(VK_RETURN, false), KeyInput(VK_RETURN, true)};
        SendInput(2, keys, sizeof(INPUT));
    }
    HWND box = WaitForBox("Load Driver");
    ASSERT_TRUE(box);
    Sleep(500);
    ASSERT_TRUE(IsWindow(box)) << "keys typed during the load closed the box";
    EXPECT_NE(BoxText(box).find("was loaded"), std::string::npos) << BoxText(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);

    HWND next = nullptr;
    WaitUntil(
        [&] {
            HWND shown = FindProcessWindowWithControl(program_->Id(), IDC_ENV_TARGETS);
            if (!shown || shown == dialog) return false;
            next = shown;
            return RemoteListView(program_->Handle(), GetDlgItem(shown, IDC_ENV_TARGETS)).Find("R:\\Windows") >= 0;
        },
        std::chrono::seconds(30));
    ASSERT_TRUE(next) << "a new pass after the load";
    RemoteListView relisted(program_->Handle(), GetDlgItem(next, IDC_ENV_TARGETS));
    EXPECT_GE(relisted.Find("R:\\Windows"), 0) << "the late disk's installation is listed";
    const auto selected = SendMessageA(GetDlgItem(next, IDC_ENV_TARGETS), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                       LVNI_SELECTED);
    EXPECT_EQ(relisted.Text(static_cast<int>(selected)), installation_) << "the selection is kept";
    EXPECT_EQ(SendDlgItemMessageA(next, IDC_ENV_SHELL, CB_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(RunsOf(ShellRuns(), "cmd.exe").empty()) << "no key typed during the load started the shell";
    std::vector<ProbeRun> loads = RunsOf(ShellRuns(), "drvload.exe");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_NE(loads[1]["cmdline"].find("drvload.exe\" \"" + inf + "\""), std::string::npos) << loads[1]["cmdline"];
    EXPECT_EQ(loads[1]["show"], "0") << "hidden";
}

// The network row: a status of the defined ones; Start runs wpeutil in the background while the
// dialog keeps answering. A volume that arrives starts a new pass that lists it.
TEST_F(EnvironmentLogonTest, NetworkRowStartsWpeutilAndAnArrivingVolumeStartsANewPass)
{
    StandInPeTool wpeutil("wpeutil.exe");
    CopyOrFail(BinFolder() + "probe.exe", wpeutil.path);
    Install("tarn_logon.exe", kSettings);
    InstallLanguage();  // the test module: the program adds the network row and the driver button
    Start(std::string(), 3000);
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    const std::string status = ItemText(dialog, IDC_ENV_NETWORK_STATUS);
    const bool address = status.find(" (") != std::string::npos && isdigit(static_cast<unsigned char>(status[0]));
    // Adapters without an address (one the host has down) read as waiting for one.
    EXPECT_TRUE(address || status == "Not started" || status == "Waiting for an address") << status;
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, IDC_ENV_NETWORK_START)) != FALSE, !address);
    if (!address) {
        Command(dialog, IDC_ENV_NETWORK_START);
        ASSERT_TRUE(WaitUntil([&] { return !RunsOf(ShellRuns(), "wpeutil.exe").empty(); }, std::chrono::seconds(10)));
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer))
            << "the dialog answers while wpeutil runs";
        EXPECT_EQ(ItemText(dialog, IDC_ENV_NETWORK_STATUS), "Starting...");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_ENV_NETWORK_START)));
        EXPECT_NE(RunsOf(ShellRuns(), "wpeutil.exe")[0]["cmdline"].find("wpeutil.exe\" InitializeNetwork /NoWait"),
                  std::string::npos);
    }

    RemoteListView list(program_->Handle(), GetDlgItem(dialog, IDC_ENV_TARGETS));
    list.Select(list.Find(installation_));
    TestDrive arrived('U', DRIVE_FIXED);
    ASSERT_TRUE(arrived.Ok());
    CreateFolders(arrived.Root() + "Windows\\system32\\config");
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('U' - 'A');
    for (int i = 0; i < 3; ++i) {  // one pass for several messages
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(dialog, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume),
                            SMTO_ABORTIFHUNG, 2000, &answer);
        EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the answer the broadcast asks for";
    }
    HWND next = WaitForDialog(dialog);
    ASSERT_TRUE(next) << "a new pass";
    RemoteListView relisted(program_->Handle(), GetDlgItem(next, IDC_ENV_TARGETS));
    EXPECT_GE(relisted.Find("U:\\Windows"), 0);
    const auto selected = SendMessageA(GetDlgItem(next, IDC_ENV_TARGETS), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                       LVNI_SELECTED);
    EXPECT_EQ(relisted.Text(static_cast<int>(selected)), installation_) << "the selection is kept";
    Sleep(1500);
    EXPECT_EQ(WaitForDialog(), next) << "one pass only";
}

// The stand-in radio sees one name twice (WPA2 and WPA3), one name that is not UTF-8 and an
// 802.1X network: three entries, strongest first. A wrong passphrase is named as such and its
// profile deleted; the right one connects, and no passphrase reaches the run log.
TEST_F(EnvironmentLogonTest, WifiDialogListsMergedNetworksAndJoinsWithThePassphrase)
{
    const std::string log = folder_.Path() + "run.log";
    StartWithWlan(true, "UseRegRun=NO\r\nLogFile=" + log + "\r\n");
    HWND wifi = OpenWifiDialog();
    ASSERT_TRUE(wifi);
    RemoteListView list(program_->Handle(), GetDlgItem(wifi, IDC_WIFI_LIST));
    ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3; }, std::chrono::seconds(10))) << list.Count();
    const std::wstring cafe = L"Caf\u00E9 Z\u00FCrich";  // UTF-8 bytes from the radio
    EXPECT_EQ(list.WideText(0), cafe);
    EXPECT_EQ(list.WideText(0, 2), L"WPA2-Personal") << "the strongest sighting's security";
    EXPECT_EQ(list.WideText(1), L"Corp");
    EXPECT_EQ(list.WideText(1, 2), L"802.1X (not supported here)");
    EXPECT_EQ(list.WideText(2), L"hex:fffe6e6574");
    EXPECT_EQ(list.WideText(2, 1), L"40 %");
    EXPECT_EQ(WideItemText(wifi, IDC_WIFI_STATUS), L"3 networks found.");

    Join(wifi, "zebra-quokka-77");
    EXPECT_TRUE(WaitForStatus(wifi, cafe + L" did not accept the passphrase.")) << Utf8(WideItemText(wifi, IDC_WIFI_STATUS));
    Join(wifi, kRightPassphrase);
    EXPECT_TRUE(WaitForStatus(wifi, L"Connected to " + cafe + L".")) << Utf8(WideItemText(wifi, IDC_WIFI_STATUS));
    EXPECT_EQ(list.WideText(0), cafe + L" (connected)");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(wifi, IDC_WIFI_DISCONNECT)));
    Command(wifi, IDC_WIFI_DISCONNECT);
    EXPECT_TRUE(WaitForStatus(wifi, L"Disconnected from " + cafe + L"."));
    Command(wifi, IDCANCEL);

    const std::string wlan = ReadBytes(folder_.Path() + "wlan.log");
    EXPECT_NE(wlan.find("<hex>436166C3A9205AC3BC72696368</hex>"), std::string::npos) << "the name's exact bytes";
    EXPECT_NE(wlan.find("<authentication>WPA2PSK</authentication>"), std::string::npos);
    EXPECT_NE(wlan.find("DeleteProfile Caf\xC3\xA9 Z\xC3\xBCrich"), std::string::npos) << "the failed one goes";
    EXPECT_EQ(wlan.find("DeleteProfile", wlan.find(kRightPassphrase)), std::string::npos) << "the good one stays";
    const std::string run = ReadBytes(log);
    EXPECT_NE(run.find(" wifi action=connect network=\"Caf\xC3\xA9 Z\xC3\xBCrich\" security=WPA2-Personal "
                       "result=wrong-passphrase reason=294932"),
              std::string::npos) << run;
    EXPECT_NE(run.find("result=connected reason=0"), std::string::npos) << run;
    EXPECT_NE(run.find(" wifi action=scan result=done"), std::string::npos) << run;
    for (const std::string& secret : {std::string(kRightPassphrase), std::string("zebra-quokka-77")}) {
        for (size_t i = 0; i + 6 <= secret.size(); ++i) {
            EXPECT_EQ(run.find(secret.substr(i, 6)), std::string::npos) << "a piece of " << secret;
        }
    }
}

// Microsoft's Windows PE has no wlanapi.dll: the dialog says so in one line and offers nothing.
TEST_F(EnvironmentLogonTest, WifiDialogWithoutWlanSupportSaysSoInOneLine)
{
    const std::string log = folder_.Path() + "run.log";
    StartWithWlan(false, "UseRegRun=NO\r\nLogFile=" + log + "\r\n");
    HWND wifi = OpenWifiDialog();
    ASSERT_TRUE(wifi);
    EXPECT_EQ(WideItemText(wifi, IDC_WIFI_STATUS), L"This Windows PE has no Wi-Fi support.");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wifi, IDC_WIFI_REFRESH)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wifi, IDC_WIFI_CONNECT)));
    Command(wifi, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(wifi); }, std::chrono::seconds(5)));
    EXPECT_NE(ReadBytes(log).find(" wifi action=load result=no-wlanapi"), std::string::npos);
}

// WifiProfiles= on Windows PE: the profiles are tried in name order until one connects, before
// the first dialog; the one that failed is deleted again.
TEST_F(EnvironmentLogonTest, WifiProfilesConnectAtStartUpBeforeTheDialog)
{
    const std::string log = folder_.Path() + "run.log";
    auto profile = [](const std::string& name, const std::string& key) {
        return "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<WLANProfile xmlns=\"http://www.microsoft.com/networking/WLAN/profile/v1\">"
               "<name>" + name + "</name><SSIDConfig><SSID><hex>436166C3A9205AC3BC72696368</hex></SSID></SSIDConfig>"
               "<MSM><security><sharedKey><keyType>passPhrase</keyType><protected>false</protected><keyMaterial>" +
               key + "</keyMaterial></sharedKey></security></MSM></WLANProfile>\r\n";
    };
    WriteBytes(folder_.File("pe\\Wifi\\01-old.xml"), profile("Old &amp; stale", "an old passphrase"));
    WriteBytes(folder_.File("pe\\Wifi\\02-cafe.xml"), profile("Cafe", kRightPassphrase));
    WriteBytes(folder_.File("pe\\Wifi\\readme.txt"), "not a profile");
    StartWithWlan(true, "UseRegRun=NO\r\nWifiProfiles=Wifi\r\nLogFile=" + log + "\r\n");
    ASSERT_TRUE(WaitForDialog());
    const std::string run = ReadBytes(log);
    const size_t old = run.find(" wifi action=connect profile=\"Old & stale\" result=wrong-passphrase");
    const size_t cafe = run.find(" wifi action=connect profile=Cafe result=connected");
    EXPECT_NE(old, std::string::npos) << run;
    EXPECT_NE(cafe, std::string::npos) << run;
    EXPECT_LT(old, cafe);
    EXPECT_LT(cafe, run.find(" dialog action=shown"));
    EXPECT_NE(run.find(" wifi action=location-consent key=\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                       "CapabilityAccessManager\\ConsentStore\\location value=Value=Allow"),
              std::string::npos) << "on Windows PE\n" << run;
    UniqueKey consent = OpenRegKey("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\"
                                   "Capabilities\\wlanLocationBypass", KEY_READ);
    EXPECT_EQ(ReadRegDwordIfPresent(consent.get(), "RequireWindowsCert"), std::optional<uint32_t>(0));
    EXPECT_EQ(run.find("an old passphrase"), std::string::npos);
    EXPECT_EQ(run.find(kRightPassphrase), std::string::npos);
    const std::string wlan = ReadBytes(folder_.Path() + "wlan.log");
    EXPECT_NE(wlan.find("DeleteProfile Old & stale"), std::string::npos);
    EXPECT_EQ(wlan.find("DeleteProfile Cafe"), std::string::npos);
}
