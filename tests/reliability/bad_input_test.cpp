// Damaged and outsized input, one row per case, each with what the operator gets instead: a
// defined result or a clear message, never a crash, a hang, lost data or an open door.
// Rows already covered elsewhere: SettingsFile.ReadsBinaryGarbageAndAOneMegabyteLine,
// SettingsText.HugeAndGarbageInputGivesADefinedResult and .EveryLineEndCountsAndAZeroByteEndsTheText
// (the parser), LogonShellTest.StartsTheShellAgainEachTimeItEnds (no language module),
// TargetScanTest.DescribesEachInstallationFromItsOwnHive (a garbage hive).
#include "catalogues/installation_rules.h"
#include "catalogues/layout_rules.h"
#include "catalogues/layouts.h"
#include "catalogues/timezones.h"
#include "catalogues/targets.h"
#include "common/errors.h"
#include "common/files.h"
#include "common/resource_ids.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "password/password_hash.h"
#include "password/password_store.h"
#include "shellctl/autorun.h"
#include "session/launch.h"
#include "session/shared_state.h"
#include "support/logon_case.h"
#include "support/wine_drives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>

using namespace std::chrono;

namespace {

// ---- registry values of every wrong type and size ----

// What a place that reads text gets from a value.
enum class Reads { Nothing, Text, Empty, TextAndPadding };

// One damaged or unusual value, made from the text the place expects.
struct BadValue {
    const char* label;
    DWORD type;
    std::string (*bytes)(const std::string& text);
    Reads reads;
    // Stored through the wide call, where an odd byte count exists; reading drops the half character.
    bool wide = false;
};

constexpr size_t kMegabyte = 1u << 20;

std::string WideBytes(const std::string& text)
{
    std::string bytes;
    for (char c : text) bytes += std::string{c, '\0'};
    return bytes;
}

const BadValue kBadValues[] = {
    {"number", REG_DWORD, [](const std::string&) { return std::string("\1\0\0\0", 4); }, Reads::Nothing},
    {"64-bit number", REG_QWORD, [](const std::string&) { return std::string(8, '\1'); }, Reads::Nothing},
    {"binary text", REG_BINARY, [](const std::string& t) { return t + '\0'; }, Reads::Nothing},
    {"list of texts", REG_MULTI_SZ, [](const std::string& t) { return t + '\0' + t + '\0' + '\0'; }, Reads::Nothing},
    {"typeless text", REG_NONE, [](const std::string& t) { return t + '\0'; }, Reads::Nothing},
    {"typeless, no data", REG_NONE, [](const std::string&) { return std::string(); }, Reads::Nothing},
    {"expandable text", REG_EXPAND_SZ, [](const std::string& t) { return t + '\0'; }, Reads::Text},
    {"text without data", REG_SZ, [](const std::string&) { return std::string(); }, Reads::Empty},
    {"unterminated text", REG_SZ, [](const std::string& t) { return t; }, Reads::Text},
    {"text with an odd byte count", REG_SZ, [](const std::string& t) { return WideBytes(t) + 'x'; }, Reads::Text, true},
    {"one-megabyte text", REG_SZ, [](const std::string& t) { return t + std::string(kMegabyte, 'x') + '\0'; },
     Reads::TextAndPadding},
};

void SetValue(HKEY key, const std::string& name, const BadValue& row, const std::string& text)
{
    std::string bytes = row.bytes(text);
    auto data = reinterpret_cast<const BYTE*>(bytes.data());
    auto size = static_cast<DWORD>(bytes.size());
    std::wstring wideName(name.begin(), name.end());
    LONG rc = row.wide ? RegSetValueExW(key, wideName.c_str(), 0, row.type, data, size)
                       : RegSetValueExA(key, name.c_str(), 0, row.type, data, size);
    ASSERT_EQ(rc, ERROR_SUCCESS) << row.label;
}

std::optional<std::string> Expected(const BadValue& row, const std::string& text)
{
    switch (row.reads) {
    case Reads::Nothing: return std::nullopt;
    case Reads::Text: return text;
    case Reads::Empty: return std::string();
    case Reads::TextAndPadding: return text + std::string(kMegabyte, 'x');
    }
    return std::nullopt;
}

// hivex, which writes the test hives, stores no value of a megabyte or more (it writes no big-data
// cells); the reader's big data is tested in HiveFileRules.BigDataIsJoinedFromItsSegmentsFromVersionFourOn.
bool IsHivexValue(const BadValue& row) { return row.reads != Reads::TextAndPadding; }

const std::string kAutorunKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
const std::string kLayoutsKey = "\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\";
const std::string kZonesKey = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\";
const char kTestLayoutFile[] = "tarn_bad_kbd.dll";

// Works on the machine's own keys: everything a case adds is named so and removed afterwards,
// also the layouts and zones keys when the prefix had none.
class BadRegistryValueTest : public testing::Test {
protected:
    void SetUp() override
    {
        Clear();
        hadParents_ = OpenRegKey(kLayoutsKey, KEY_READ) && OpenRegKey(kZonesKey, KEY_READ);
    }
    void TearDown() override
    {
        Clear();
        if (!hadParents_) {
            for (const std::string& parent : {kLayoutsKey, kZonesKey}) {
                if (RegSubKeyNames(OpenRegKey(parent, KEY_READ).get()).empty()) DeleteRegTree(parent);
            }
        }
        Shared() = SharedState();
    }
    void Clear()
    {
        for (const char* name : {"Run", "RunOnce", "RunOnceEx"}) DeleteRegTree(kAutorunKey + name);
        DeleteRegTree("\\Software\\Quillon");
        for (size_t i = 0; i < std::size(kBadValues); ++i) {
            DeleteRegTree(kLayoutsKey + LayoutId(i));
            DeleteRegTree(kZonesKey + ZoneName(i));
        }
        DeleteFileA(ExpandCommand("%windir%\\system32\\").append(kTestLayoutFile).c_str());
    }
    static std::string LayoutId(size_t row)
    {
        char id[9];
        std::snprintf(id, sizeof id, "0000F5%02X", static_cast<unsigned>(row));
        return id;
    }
    static std::string ZoneName(size_t row) { return "Tarn Bad Value " + std::to_string(row); }
    std::string Entry(const std::string& tag) const
    {
        return "\"" + BinFolder() + "probe.exe\" log=" + log_ + " tag=" + tag + " ";
    }
    std::vector<std::string> StartedTags() const
    {
        std::vector<std::string> tags;
        for (const ProbeRun& run : ReadProbeLog(log_)) {
            const std::string& command = run["cmdline"];
            size_t tag = command.find("tag=") + 4;
            tags.push_back(command.substr(tag, command.find(' ', tag) - tag));
        }
        std::sort(tags.begin(), tags.end());
        return tags;
    }

    CaseFolder folder_;
    std::string log_ = folder_.File("autorun.log");
    bool hadParents_ = true;
};

using Names = std::vector<std::string>;

}  // namespace

// A stored hash that cannot be read as the one 32-bit number it must be is an error, never "no
// password": nobody gets in without it.
TEST_F(BadRegistryValueTest, StoredHashOfAnyOtherTypeOrSizeFailsClosed)
{
    const std::pair<DWORD, std::string> rows[] = {
        {REG_DWORD, ""},           {REG_DWORD, std::string(3, '\1')},  {REG_DWORD, std::string(5, '\1')},
        {REG_DWORD, std::string(kMegabyte, '\1')},                     {REG_DWORD_BIG_ENDIAN, "\1\2\3\4"},
        {REG_QWORD, std::string(8, '\1')},                             {REG_BINARY, "\1\2\3\4"},
        {REG_NONE, "\1\2\3\4"},    {REG_NONE, ""},                     {REG_SZ, std::string("1234\0", 5)},
        {REG_EXPAND_SZ, std::string("1234\0", 5)},                     {REG_MULTI_SZ, std::string("1\0\0", 3)},
    };
    for (const auto& [type, bytes] : rows) {
        {
            UniqueKey key = CreateRegKey(kPasswordKey, KEY_ALL_ACCESS);
            ASSERT_EQ(RegSetValueExA(key.get(), kPasswordValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size())),
                      ERROR_SUCCESS);
        }
        try {
            const StoredPassword read = ReadStoredPassword();
            ADD_FAILURE() << "type " << type << ", " << bytes.size() << " bytes: read as " << read.Hash;
        } catch (const RegistryError& e) {
            EXPECT_STREQ(e.what(), "Invalid data type for 'PassHash'") << type << ", " << bytes.size() << " bytes";
        }
    }
}

// Autostart: only text is a command line. A value that is not text is neither started nor
// deleted, so an image's RunOnce entry that was not run stays for whatever understands it. A
// RunOnceEx section goes as a whole once its entries have run, as it always does.
TEST_F(BadRegistryValueTest, AutorunStartsOnlyTextAndKeepsEveryEntryItDidNotRun)
{
    {
        UniqueKey once = CreateRegKey(kAutorunKey + "RunOnce", KEY_ALL_ACCESS);
        UniqueKey run = CreateRegKey(kAutorunKey + "Run", KEY_ALL_ACCESS);
        UniqueKey section = CreateRegKey(kAutorunKey + "RunOnceEx\\001", KEY_ALL_ACCESS);
        for (size_t i = 0; i < std::size(kBadValues); ++i) {
            SetValue(once.get(), "v" + std::to_string(i), kBadValues[i], Entry("once-" + std::to_string(i)));
            SetValue(run.get(), "v" + std::to_string(i), kBadValues[i], Entry("run-" + std::to_string(i)));
            SetValue(section.get(), "v" + std::to_string(i), kBadValues[i], Entry("ex-" + std::to_string(i)));
        }
    }
    ProcessRunOnceEx();
    ProcessRunOnce();
    ProcessRun();

    Names started, keptOnce, allNames;
    for (size_t i = 0; i < std::size(kBadValues); ++i) {
        const BadValue& row = kBadValues[i];
        allNames.push_back("v" + std::to_string(i));
        if (row.reads == Reads::Nothing) keptOnce.push_back(allNames.back());
        // Text that is a command line starts; a megabyte is far beyond what a process accepts,
        // so that entry is tried (and deleted) without starting anything.
        if (row.reads == Reads::Text) {
            for (const char* place : {"ex-", "once-", "run-"}) started.push_back(place + std::to_string(i));
        }
    }
    std::sort(started.begin(), started.end());
    WaitUntil([&] { return StartedTags().size() >= started.size(); }, seconds(15));
    Sleep(500);  // a program started by mistake would have recorded itself by now
    EXPECT_EQ(StartedTags(), started);

    UniqueKey once = OpenRegKey(kAutorunKey + "RunOnce", KEY_READ);
    Names onceNames = RegValueNames(once.get());
    std::sort(onceNames.begin(), onceNames.end());
    std::sort(keptOnce.begin(), keptOnce.end());
    EXPECT_EQ(onceNames, keptOnce);
    UniqueKey run = OpenRegKey(kAutorunKey + "Run", KEY_READ);
    Names runNames = RegValueNames(run.get());
    std::sort(runNames.begin(), runNames.end());
    std::sort(allNames.begin(), allNames.end());
    EXPECT_EQ(runNames, allNames) << "Run keeps every entry";
    EXPECT_TRUE(RegSubKeyNames(OpenRegKey(kAutorunKey + "RunOnceEx", KEY_READ).get()).empty());
}

// Catalogues read from a running or offline system show a value that is no text as empty text
// and go on with the next value and the next entry.
TEST_F(BadRegistryValueTest, CataloguesShowEveryValueThatIsNoTextAsEmptyText)
{
    WriteBytes(ExpandCommand("%windir%\\system32\\") + kTestLayoutFile, "MZ");
    CaseFolder hives;
    for (size_t i = 0; i < std::size(kBadValues); ++i) {
        const BadValue& row = kBadValues[i];
        UniqueKey layout = CreateRegKey(kLayoutsKey + LayoutId(i), KEY_ALL_ACCESS);
        SetValue(layout.get(), "Layout File", row, kTestLayoutFile);
        SetValue(layout.get(), "Layout Text", row, "Tarn layout");
        UniqueKey zone = CreateRegKey(kZonesKey + ZoneName(i), KEY_ALL_ACCESS);
        for (const char* name : {"Display", "Std", "Dlt", "Tzi"}) {
            SetValue(zone.get(), name, row, std::string("Tarn ") + name);
        }
        if (IsHivexValue(row)) {
            MakeInstallation(hives.Path() + std::to_string(i), {{"ProductName", {row.type, row.bytes("Tarn OS"), row.wide}},
                                                                {"CSDVersion", {row.type, row.bytes("SP9"), row.wide}}});
        }
    }
    Shared().Settings.LangModuleName = "LangPack.dll";
    ForgetLangModule();
    TLayoutList layouts;
    TTimeZoneList zones;
    BuildLayoutList(layouts);
    BuildTimeZoneList(zones);
    Names zoneNames = RegSubKeyNames(OpenRegKey(kZonesKey, KEY_READ).get());

    for (size_t i = 0; i < std::size(kBadValues); ++i) {
        const BadValue& row = kBadValues[i];
        SCOPED_TRACE(row.label);
        int layout = FindLayoutIndex(layouts, LayoutId(i));
        if (Expected(row, kTestLayoutFile) == std::string(kTestLayoutFile)) {
            ASSERT_NE(layout, -1) << "its file is there";
            EXPECT_EQ(layouts.At(layout).Text, Expected(row, "Tarn layout").value_or(""));
        } else {
            EXPECT_EQ(layout, -1) << "no usable file name";
        }

        auto zoneIndex = std::find(zoneNames.begin(), zoneNames.end(), ZoneName(i)) - zoneNames.begin();
        ASSERT_LT(static_cast<size_t>(zoneIndex), zones.Count());
        const TTimeZoneInformationEx& zone = zones.At(zoneIndex);
        EXPECT_EQ(zone.Display, Expected(row, "Tarn Display").value_or(""));
        EXPECT_EQ(zone.StandardName, Expected(row, "Tarn Std").value_or(""));
        EXPECT_EQ(zone.DaylightName, Expected(row, "Tarn Dlt").value_or(""));

        if (IsHivexValue(row)) {
            InstallationValues read;
            read.ProductName = Expected(row, "Tarn OS").value_or("");
            read.CsdVersion = Expected(row, "SP9").value_or("");
            EXPECT_EQ(ReadInstallationName(hives.Path() + std::to_string(i)), DescribeInstallation(read, ""));
        }
    }
}

// ---- the real program meeting bad input ----

namespace {

constexpr unsigned kLongShellMs = 60000;

class BadInputLogonTest : public LogonCase {
protected:
    void SetUp() override { DeleteRegTree("\\Software\\Quillon"); }
    void TearDown() override
    {
        EndRun();
        DeleteRegTree("\\Software\\Quillon");
    }
    // Ends the program, then its shells, and forgets what they recorded. Cases end the program
    // while it waits for a long-running shell or a dialog, never while it starts one: a Wine
    // process started as its parent is killed can hang in its start-up for ever.
    void EndRun()
    {
        if (program_) program_->Terminate();
        program_.reset();
        for (const ProbeRun& run : ShellRuns()) {
            UniqueHandle shell(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(run["pid"])));
            if (shell && TerminateProcess(shell.get(), 0)) WaitForSingleObject(shell.get(), 5000);
        }
        DeleteFileA(ShellLog().c_str());
    }
    // Waits for a fresh environment dialog (not the one given).
    HWND WaitForDialog(HWND previous = nullptr, seconds timeout = seconds(20))
    {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                found = FindProcessWindowWithControl(program_->Id(), IDC_ENV_TARGETS);
                return found && found != previous;
            },
            timeout);
        return found != previous ? found : nullptr;
    }
    // The program gets the operator to a shell: through the dialog when it can show one.
    ::testing::AssertionResult ReachesAShell()
    {
        HWND dialog = nullptr;
        WaitUntil([&] { return !ShellRuns().empty() || (dialog = WaitForDialog(nullptr, seconds(0))) != nullptr; },
                  seconds(20));
        if (dialog) PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        if (!WaitForShellRuns(1)) return ::testing::AssertionFailure() << "no shell started";
        if (FindProcessWindow(program_->Id(), "Application Error")) return ::testing::AssertionFailure() << "error box";
        if (program_->WaitForExit(0) != STILL_ACTIVE) return ::testing::AssertionFailure() << "the program ended";
        return ::testing::AssertionSuccess();
    }
    static void StorePassword(DWORD type, const std::string& bytes)
    {
        UniqueKey key = CreateRegKey(kPasswordKey, KEY_ALL_ACCESS);
        RegSetValueExA(key.get(), kPasswordValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    }
    static void StorePassword(const std::string& password)
    {
        DWORD hash = PasswordHash(password);
        StorePassword(REG_DWORD, std::string(reinterpret_cast<const char*>(&hash), sizeof hash));
    }
    std::string LanguageFile() const { return folder_.Path() + "pe\\LangPack.dll"; }
};

}  // namespace

TEST_F(BadInputLogonTest, DamagedSettingsFilesStillLeadToAShell)
{
    std::string garbage(64 * 1024, '\0');
    std::mt19937 random(4711);
    for (char& c : garbage) c = static_cast<char>(random() % 251 + 1);
    std::string hugeValues;
    for (const char* key : {"CADApplication=", "CSEApplication=", "UseRegRun=", "ShutdownEmulate=", "LangModuleName=",
                            "LessLogonMode=", "EnableRebootButton="}) {
        hugeValues += key + std::string(kMegabyte, 'v') + "\r\n";
    }
    const std::pair<const char*, std::string> rows[] = {
        {"garbage bytes", garbage},
        {"empty file", ""},
        {"a lone zero byte", std::string(1, '\0')},
        {"a zero byte before the shells", std::string("UseRegRun=NO\r\n\0[Shell]\r\nGone=x.exe\r\n", 36)},
        {"one one-megabyte line", std::string(kMegabyte, 'l')},
        {"a megabyte in every key", hugeValues},
    };
    Install();
    InstallLanguage();
    for (const auto& [label, content] : rows) {
        SCOPED_TRACE(label);
        EndRun();
        WriteBytes(folder_.Path() + "pe\\tarn_logon.ini", content);
        Start(std::string(), kLongShellMs);
        EXPECT_TRUE(ReachesAShell());
        ASSERT_FALSE(ShellRuns().empty());
        EXPECT_EQ(ShellRuns()[0]["cmdline"].find("x.exe"), std::string::npos);
    }
}

// The dialog lists every entry, and the last one starts, in bounded time.
TEST_F(BadInputLogonTest, TenThousandShellEntries)
{
    std::string settings = "UseRegRun=NO\r\n[Shell]\r\n";
    for (int i = 0; i < 10000; ++i) {
        settings += "Shell " + std::to_string(i) + "=%windir%\\system32\\cmd.exe n=" + std::to_string(i) + "\r\n";
    }
    Install("tarn_logon.exe", settings.c_str());
    InstallLanguage();
    auto start = steady_clock::now();
    Start(std::string(), kLongShellMs);
    HWND dialog = WaitForDialog(nullptr, seconds(60));
    ASSERT_TRUE(dialog);
    double shown = duration<double>(steady_clock::now() - start).count();
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_GETCOUNT, 0, 0), 10000);
    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 9999, 0);
    start = steady_clock::now();
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitForShellRuns(1));
    double started = duration<double>(steady_clock::now() - start).count();
    std::printf("[ TIMING   ] 10,000 shell entries: dialog after %.2f s, chosen shell after %.2f s more\n", shown,
                started);
    const std::string cmdline = ShellRuns()[0]["cmdline"];
    EXPECT_EQ(cmdline.substr(cmdline.size() - 6), "n=9999");
    EXPECT_LT(shown, 30.0);
}

// A command line at the platform's limit starts; one expanded beyond it cannot, is reported as
// too long, and the dialog comes back at once.
TEST_F(BadInputLogonTest, CommandLinesAtAndBeyondThePlatformLimit)
{
    const std::string shell = "%windir%\\system32\\cmd.exe ";
    std::string settings = "UseRegRun=NO\r\n[Shell]\r\nAt the limit=" + shell + std::string(32000 - shell.size(), 'a') +
                           "\r\nBeyond=" + shell + "%TARN_HALF%%TARN_HALF%\r\nUsual=" + shell + "usual sleep=" +
                           std::to_string(kLongShellMs) + "\r\n";
    Install("tarn_logon.exe", settings.c_str());
    InstallLanguage();
    Start(std::string(), 300, {{"TARN_HALF", std::string(20000, 'h')}});
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);

    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 0, 0);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitForShellRuns(1));
    EXPECT_EQ(ShellRuns()[0]["cmdline"].substr(ShellRuns()[0]["cmdline"].size() - 100), std::string(100, 'a'));
    dialog = WaitForDialog(dialog);
    ASSERT_TRUE(dialog);

    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 1, 0);
    auto pressed = steady_clock::now();
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    HWND box = WaitForBox("CAPTION");
    ASSERT_TRUE(box) << "the failed start is reported";
    EXPECT_EQ(BoxText(box).rfind("The shell could not be started (error 206): ", 0), 0u) << BoxText(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    dialog = WaitForDialog(dialog);
    ASSERT_TRUE(dialog) << "the dialog comes back";
    EXPECT_LT(steady_clock::now() - pressed, seconds(3));
    EXPECT_EQ(ShellRuns().size(), 1u) << "nothing cut short was started";

    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 2, 0);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return ShellRuns().back()["cmdline"].find("usual") != std::string::npos; },
                          seconds(20)))
        << "the program works on";
}

// Without a usable module the program cannot show its dialogs; the operator still gets a shell,
// and a configured password still keeps everybody out who does not know it.
TEST_F(BadInputLogonTest, LanguageModulesThatAreBrokenOrIncomplete)
{
    struct Row {
        const char* label;
        const char* source;  // built module to install, or null for a file that is no library
        bool showsDialogs;   // with a password: the prompt is shown, or the program ends at once
        bool canShutDown;
    };
    const Row rows[] = {
        {"no library", nullptr, false, false},
        {"no dialog templates", "TestLangNoTemplates.dll", false, true},
        {"no strings", "TestLangNoStrings.dll", true, true},
        {"no ShutdownSystem entry point", "TestLangPartial.dll", true, false},
    };
    Install("tarn_logon.exe", "UseRegRun=NO\r\n");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EndRun();
        DeleteRegTree("\\Software\\Quillon");
        if (row.source) {
            InstallLanguage("LangPack.dll", row.source);
        } else {
            WriteBytes(LanguageFile(), "MZ this is no library");
        }
        // Shutdown code 1 (power off) where the module can show the choice: a module without the
        // entry point that carries it out must offer nothing, so the dialog stays.
        Start(std::string(), kLongShellMs, {{"TARN_TESTLANG_RESULT", "1"}});
        HWND dialog = WaitForDialog(nullptr, seconds(row.showsDialogs ? 20 : 1));
        EXPECT_EQ(dialog != nullptr, row.showsDialogs);
        if (dialog && !row.canShutDown) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            Sleep(300);
            EXPECT_TRUE(IsWindowVisible(dialog)) << "nothing was chosen";
        }
        EXPECT_TRUE(ReachesAShell());

        EndRun();
        StorePassword("right");
        ChildProcess& program = Start();
        if (row.showsDialogs) {
            EXPECT_TRUE(WaitForWindowWith(IDC_PASSWORD_EDIT));
        } else {
            HWND box = WaitForBox("Tarn Logon");
            ASSERT_TRUE(box);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            EXPECT_EQ(program.WaitForExit(15000), 0u);
        }
        EXPECT_TRUE(ShellRuns().empty()) << "nobody got in";
    }
}

// A stored hash that is unreadable stops the program before anything runs.
TEST_F(BadInputLogonTest, UnreadableStoredHashLetsNobodyIn)
{
    Install();
    InstallLanguage();
    for (const auto& [type, bytes] : {std::pair<DWORD, std::string>{REG_DWORD, ""}, {REG_BINARY, "\1\2\3\4"}}) {
        SCOPED_TRACE(type);
        EndRun();
        StorePassword(type, bytes);
        ChildProcess& program = Start();
        HWND box = WaitForBox("Application Error");
        ASSERT_TRUE(box);
        EXPECT_NE(BoxText(box).find("Invalid data type for 'PassHash'"), std::string::npos) << BoxText(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(program.WaitForExit(15000), 1u);
        EXPECT_TRUE(ShellRuns().empty());
    }
}

// Set mode where the password file cannot be written. Under Wine the tests run as root, and a
// read-only folder or file does not stop root from writing, so a folder in the file's place
// stands in for read-only media. The operator must not be told that the password was set.
TEST_F(BadInputLogonTest, SetModeWhereThePasswordFileCannotBeWritten)
{
    Install();
    InstallLanguage("LangPack.dll", "LangPack.dll");
    const std::string blocker = folder_.Path() + "pe\\tarn_password.txt";
    ASSERT_TRUE(CreateDirectoryA(blocker.c_str(), nullptr));
    WriteBytes(blocker + "\\keep.txt", "older data");
    ChildProcess& program = Start("setpass");
    HWND dialog = WaitForWindowWith(IDC_PASSWORD_REPEAT);
    ASSERT_TRUE(dialog);
    for (int control : {IDC_PASSWORD_EDIT, IDC_PASSWORD_REPEAT}) SetDlgItemTextA(dialog, control, "secret");
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);

    HWND box = WaitForWindowWith(0xFFFF);
    ASSERT_TRUE(box);
    char caption[256] = "";
    GetWindowTextA(box, caption, sizeof caption);
    EXPECT_STREQ(caption, "Application Error") << "first box: " << BoxText(box);
    EXPECT_NE(BoxText(box).find("Cannot create file \"" + blocker + "\""), std::string::npos) << BoxText(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.WaitForExit(15000), 1u);
    EXPECT_EQ(ReadBytes(blocker + "\\keep.txt"), "older data");
}

// A run log that cannot be written is skipped in silence: no message, and the operator gets a
// shell as always. Under Wine the tests run as root, for whom a read-only file is writable, so
// the kernel's read-only sysfs (Z:\sys) stands in for a write-protected medium.
TEST_F(BadInputLogonTest, RunLogsThatCannotBeWrittenAndALogThatIsRotated)
{
    Install();
    InstallLanguage();
    const std::string temp = folder_.Path() + "temp\\";  // the program's %TEMP%, where the log goes unless told
    const std::string defaultLog = temp + "tarn_logon.log";
    const std::string folderInTheWay = folder_.Path() + "a folder";
    const std::string oldLog(kMegabyte, 'o');
    struct Row {
        const char* label;
        std::string setting;
        std::function<void()> prepare;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"a folder that does not exist", "LogFile=" + folder_.Path() + "no\\such\\run.log", [] {},
         [&] { EXPECT_FALSE(IsExistingFolder(folder_.Path() + "no")); }},
        {"a read-only place", "LogFile=Z:\\sys\\tarn_logon.log", [] {}, [] {}},
        {"a path that is a folder", "LogFile=" + folderInTheWay, [&] { CreateDirectoryA(folderInTheWay.c_str(), nullptr); },
         [&] { EXPECT_TRUE(IsExistingFolder(folderInTheWay)); }},
        {"a log of 1 MB", "LogFile=",
         [&] {
             WriteBytes(defaultLog, oldLog);
             WriteBytes(defaultLog + ".old", "older still");
         },
         [&] {
             EXPECT_EQ(ReadBytes(defaultLog + ".old"), oldLog) << "the full log replaced the older one";
             std::vector<std::string> lines = ReadLines(defaultLog);
             ASSERT_FALSE(lines.empty());
             EXPECT_NE(lines[0].find(" start version="), std::string::npos) << lines[0];
         }},
        {"LogFile=NO", "LogFile=NO", [] {},
         [&] {
             EXPECT_FALSE(IsExistingFile(defaultLog));
             EXPECT_FALSE(IsExistingFile("NO")) << "in the current folder, which the program shares";
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EndRun();
        RemoveTree(temp);
        CreateDirectoryA(temp.c_str(), nullptr);
        row.prepare();
        WriteBytes(folder_.Path() + "pe\\tarn_logon.ini", "UseRegRun=NO\r\n" + row.setting + "\r\n");
        Start(std::string(), kLongShellMs, {{"TEMP", temp}, {"TMP", temp}});
        EXPECT_TRUE(ReachesAShell());
        EXPECT_FALSE(FindProcessWindowWithControl(program_->Id(), 0xFFFF)) << "no message box";
        row.check();
    }
}
