#include "envdialog/folder_browser.h"

#include "common/guards.h"
#include "common/registry.h"
#include "common/resource_ids.h"
#include "common/window.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/shared_state.h"
#include "support/dialog_driver.h"
#include "support/logon_case.h"
#include "support/test_support.h"
#include "support/wine_drives.h"

#include <gtest/gtest.h>
#include <shlobj.h>

namespace {

// Empty files, and folders for names ending in a backslash, in folder\system32\config.
void MakeConfig(const std::string& folder, const std::vector<std::string>& entries)
{
    for (const char* sub : {"", "\\system32", "\\system32\\config"}) CreateDirectoryA((folder + sub).c_str(), nullptr);
    for (const std::string& entry : entries) {
        const std::string path = folder + "\\system32\\config\\" + entry;
        if (entry.back() == '\\') {
            CreateDirectoryA(path.c_str(), nullptr);
        } else {
            WriteBytes(path, "");
        }
    }
}

// Wine finds the tree item of BFFM_SETSELECTIONA by an item id that holds the folder's access time,
// which the browser's own listing of a fresh folder can change under it: move it out of reach.
void MoveAccessTimeAhead(const std::string& folder)
{
    UniqueFile handle(CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILETIME time{};
    GetSystemTimeAsFileTime(&time);
    ULARGE_INTEGER ahead{{time.dwLowDateTime, time.dwHighDateTime}};
    ahead.QuadPart += 3600ull * 10000000ull;
    time = FILETIME{ahead.LowPart, ahead.HighPart};
    SetFileTime(handle.get(), nullptr, &time, nullptr);
}

// folder\system32\config\software as a hive that names the product.
void SaveSoftwareHive(const std::string& folder, const std::string& product)
{
    MakeInstallation(folder, {{"ProductName", Sz(product)}});
}

HWND Child(HWND browser, const char* className, DWORD exStyle = 0)
{
    for (HWND child = FindWindowExA(browser, nullptr, className, nullptr); child;
         child = FindWindowExA(browser, child, className, nullptr)) {
        if ((GetWindowLongA(child, GWL_EXSTYLE) & exStyle) == exStyle) return child;
    }
    return nullptr;
}

std::string Text(HWND window)
{
    char text[MAX_PATH] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// What the browser shows for the selected folder: "path|hives,...|description|ok".
std::string Shown(HWND browser)
{
    HWND list = Child(browser, "ListBox");
    std::string hives;
    for (int i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
        char name[MAX_PATH] = "";
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(name));
        hives += (i ? "," : "") + std::string(name);
    }
    return Text(FindWindowExA(browser, nullptr, "Static", nullptr)) + "|" + hives + "|" +
           Text(Child(browser, "Static", WS_EX_STATICEDGE)) + "|" +
           (IsWindowEnabled(GetDlgItem(browser, IDOK)) ? "ok" : "no ok");
}

// The program's own verdict on a folder: Wine's browser enables OK after the program's callback
// by its own rule, so the callback is run here directly, with no browser code after it, on the
// windows of the open browser.
std::string Judged(HWND browser, const std::string& folder)
{
    LPITEMIDLIST item = ILCreateFromPathA(folder.c_str());
    EXPECT_TRUE(item) << folder;
    TargetBrowser open;
    open.Browser = browser;
    open.PathLine = FindWindowExA(browser, nullptr, "Static", nullptr);
    open.HiveList = Child(browser, "ListBox");
    open.DescriptionBox = Child(browser, "Static", WS_EX_STATICEDGE);
    BrowserCallback(browser, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item), reinterpret_cast<LPARAM>(&open));
    ILFree(item);
    return Shown(browser);
}

bool IsOpenBrowser(HWND active) { return active && Text(active) == LoadLangString(IDS_BROWSE_TITLE); }

// The drive letters are machine-wide: take turns with the other tests that use them.
class FolderBrowserTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(WaitForSingleObject(turn_.get(), 120000), WAIT_TIMEOUT);
        Shared().Settings.LangModuleName = "LangPack.dll";
        ForgetLangModule();
    }
    void TearDown() override
    {
        Shared().Settings = TSettings();
        ForgetLangModule();
        ReleaseMutex(turn_.get());
    }
    UniqueHandle turn_{CreateMutexA(nullptr, FALSE, "TarnTargetScanTests")};
};

// A window's place in the browser's client coordinates: "left,top widthxheight".
RECT ClientRect(HWND browser, HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, browser, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
std::string Place(int x, int y, int width, int height)
{
    return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" + std::to_string(height);
}
std::string Place(const RECT& r) { return Place(r.left, r.top, r.right - r.left, r.bottom - r.top); }
std::string Place(HWND browser, HWND control) { return Place(ClientRect(browser, control)); }

struct Layout {
    RECT browser, tree, ok, cancel, pathLine;
};
Layout g_before;

// Records the platform's layout, then lets the program's callback reshape it.
int CALLBACK RecordingCallback(HWND browser, UINT message, LPARAM lParam, LPARAM lpData)
{
    if (message == BFFM_INITIALIZED) {
        GetWindowRect(browser, &g_before.browser);
        g_before.tree = ClientRect(browser, FindWindowExA(browser, nullptr, "SysTreeView32", nullptr));
        g_before.ok = ClientRect(browser, GetDlgItem(browser, IDOK));
        g_before.cancel = ClientRect(browser, GetDlgItem(browser, IDCANCEL));
        g_before.pathLine = ClientRect(browser, FindWindowExA(browser, nullptr, "Static", nullptr));
    }
    return BrowserCallback(browser, message, lParam, lpData);
}

void CheckReshaped(HWND browser)
{
    const Layout& b = g_before;
    const RECT& t = b.tree;
    const int d = t.top - b.pathLine.top - 20, x = t.right + 10, listHeight = t.bottom - t.top - 60;
    const int width = b.browser.right - b.browser.left, height = b.browser.bottom - b.browser.top;
    RECT now{};
    GetWindowRect(browser, &now);
    EXPECT_EQ(Place(now), Place((800 - (width + 135)) / 2, (600 - height) / 2 - 20, width + 135, height - d));
    auto moved = [&](const RECT& r, int dx) { return Place(r.left + dx, r.top - d, r.right - r.left, r.bottom - r.top); };
    EXPECT_EQ(Place(browser, GetDlgItem(browser, IDOK)), moved(b.ok, 135));
    EXPECT_EQ(Place(browser, GetDlgItem(browser, IDCANCEL)), moved(b.cancel, 135));
    HWND tree = FindWindowExA(browser, nullptr, "SysTreeView32", nullptr);
    EXPECT_EQ(Place(browser, tree), moved(t, 0));
    EXPECT_TRUE(GetWindowLongA(tree, GWL_STYLE) & TVS_SHOWSELALWAYS);
    HWND pathLine = FindWindowExA(browser, nullptr, "Static", nullptr);
    EXPECT_EQ(Place(browser, pathLine), Place(b.pathLine.left, b.pathLine.top, t.right - t.left, 20));
    EXPECT_EQ(GetWindowLongA(pathLine, GWL_STYLE) & SS_TYPEMASK, SS_LEFTNOWORDWRAP);

    EXPECT_EQ(Place(browser, FindWindowExA(browser, nullptr, "ListBox", nullptr)),
              Place(x, b.pathLine.top + 19, 125, listHeight));
    EXPECT_EQ(Place(browser, FindWindowExA(browser, nullptr, "Static", LoadLangString(IDS_BROWSE_HIVE_LABEL).c_str())),
              Place(x, b.pathLine.top, 125, 20));
    EXPECT_EQ(Place(browser, Child(browser, "Static", WS_EX_STATICEDGE)),
              Place(x, b.pathLine.top + 19 + listHeight + 10, 125, 50));
}

}  // namespace

TEST_F(FolderBrowserTest, ReshapesThePlatformBrowser)
{
    LPITEMIDLIST drives = nullptr;
    SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives);
    BROWSEINFOA info{};
    info.pidlRoot = drives;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = RecordingCallback;
    TargetBrowser state;
    info.lParam = reinterpret_cast<LPARAM>(&state);
    DialogDriver driver({IsOpenBrowser, Check(CheckReshaped), Click(IDCANCEL)});
    EXPECT_FALSE(SHBrowseForFolderA(&info));
    EXPECT_TRUE(driver.Finished());
    ILFree(drives);
}

TEST_F(FolderBrowserTest, OffersOnlyFoldersOnFixedDisksWithHiveFiles)
{
    TestDrive fixed('P', DRIVE_FIXED), cdrom('Q', DRIVE_CDROM);
    ASSERT_TRUE(fixed.Ok() && cdrom.Ok());
    const std::string windows = "P:\\Win";
    // Created out of order, in mixed case, with names that must not count.
    MakeConfig(windows, {"system", "SYSTEM.ALT", "SOFTWARE.LOG", "USERDIFF", "DEFAULT", "SECURITY\\", "sam"});
    SaveSoftwareHive(windows, "Tarn OS");
    MakeConfig("P:\\Soft", {"SOFT", "USERDIFF"});
    MakeConfig("P:\\UserDiff", {"USERDIFF"});
    MakeConfig("Q:\\Win", {"SOFTWARE", "SYSTEM"});
    MakeConfig("Q:", {"SAM"});  // a drive root holding system32\config
    for (const std::string& folder : {fixed.Root(), windows}) MoveAccessTimeAhead(folder);
    const std::string unknown = LoadLangString(IDS_UNKNOWN_PRODUCT), notFixed = LoadLangString(IDS_BROWSE_NOT_FIXED),
                      noHives = LoadLangString(IDS_BROWSE_NO_HIVES);

    DialogDriver driver(
        {[&](HWND active) { return IsOpenBrowser(active) && Shown(active).rfind(windows + "|", 0) == 0; },
         Check([&](HWND browser) {
             EXPECT_EQ(Shown(browser).substr(0, Shown(browser).rfind('|')),
                       windows + "|DEFAULT,SAM,SOFTWARE,SYSTEM|Tarn OS")
                 << "opened at the initial folder";
             EXPECT_EQ(Judged(browser, "P:\\Soft"), "P:\\Soft|SOFT|" + unknown + "|ok");
             EXPECT_EQ(Judged(browser, "P:\\UserDiff"), "P:\\UserDiff||" + noHives + "|no ok");
             EXPECT_EQ(Judged(browser, fixed.Root()), fixed.Root() + "||" + noHives + "|no ok");
             EXPECT_EQ(Judged(browser, "Q:\\Win"), "Q:\\Win|SOFTWARE,SYSTEM|" + notFixed + "|no ok");
             EXPECT_EQ(Judged(browser, cdrom.Root()), cdrom.Root() + "|SAM|" + notFixed + "|no ok");
             EXPECT_EQ(Judged(browser, windows), windows + "|DEFAULT,SAM,SOFTWARE,SYSTEM|Tarn OS|ok");
         }),
         Click(IDOK)});
    EXPECT_EQ(BrowseTargetFolder(nullptr, windows), windows);
    EXPECT_TRUE(driver.Finished());

    DialogDriver cancel({[](HWND active) { return IsOpenBrowser(active); }, Click(IDCANCEL)});
    EXPECT_EQ(BrowseTargetFolder(nullptr, windows), "");
    EXPECT_TRUE(cancel.Finished());
}

// Windows does not honour the read-only attribute on a folder (Explorer sets it on every
// customised one): the destination of Collect logs is judged by its volume.
TEST_F(FolderBrowserTest, TakesAFolderMarkedReadOnlyAsAWritableDestination)
{
    CaseFolder folder;
    const std::string marked = folder.Path() + "Customised";
    ASSERT_TRUE(CreateDirectoryA(marked.c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesA(marked.c_str(), FILE_ATTRIBUTE_READONLY));
    ScopeExit unmark([&] { SetFileAttributesA(marked.c_str(), FILE_ATTRIBUTE_NORMAL); });
    // Wine keeps no such mark on a folder, but shows a Unix folder without write bits with it (and
    // lets root write there all the same). It starts the Unix program without a handle to wait on.
    std::string removeWriteBits = "/bin/sh -c \"chmod a-w '" + UnixPathOf(marked) + "'\"";
    ProcessInfo chmod;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    CreateProcessA(nullptr, removeWriteBits.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, chmod.put());
    ASSERT_TRUE(WaitUntil([&] { return (GetFileAttributesA(marked.c_str()) & FILE_ATTRIBUTE_READONLY) != 0; },
                          std::chrono::seconds(10)));
    EXPECT_TRUE(IsWritableFolder(marked));
    EXPECT_FALSE(IsWritableFolder(marked + "\\missing"));
}

class BrowserLogonTest : public LogonCase {
protected:
    void TearDown() override
    {
        if (program_) program_->Terminate();
        UniqueKey key = OpenRegKey(kEnvironmentKey, KEY_ALL_ACCESS);
        DeleteRegValue(key.get(), "TARGET_ROOT");
        ReleaseMutex(turn_.get());
    }
    static constexpr const char* kEnvironmentKey = "\\System\\CurrentControlSet\\Control\\Session Manager\\Environment";
    UniqueHandle turn_{CreateMutexA(nullptr, FALSE, "TarnTargetScanTests")};
};

TEST_F(BrowserLogonTest, BrowsedFolderBecomesTheTargetRoot)
{
    ASSERT_NE(WaitForSingleObject(turn_.get(), 120000), WAIT_TIMEOUT);
    TestDrive fixed('P', DRIVE_FIXED);
    ASSERT_TRUE(fixed.Ok());
    const std::string installation = "P:\\Browsed";
    MakeConfig(installation, {"SYSTEM"});
    for (const std::string& folder : {fixed.Root(), installation}) MoveAccessTimeAhead(folder);
    Install("tarn_logon.exe",
            "UseRegRun=NO\r\n[Shell]\r\nMissing=C:\\no\\such\\shell.exe\r\nProbe shell=%windir%\\system32\\cmd.exe /probe\r\n");
    InstallLanguage("LangPack.dll", "LangPack.dll");
    Start(std::string(), 500);
    HWND dialog = WaitForWindowWith(IDC_ENV_BROWSE);
    ASSERT_TRUE(dialog);
    SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, 1, 0);
    PostMessageA(dialog, WM_COMMAND, IDC_ENV_BROWSE, 0);
    HWND browser = WaitForWindowWith(14145);  // the browser's tree view
    ASSERT_TRUE(browser);

    // The path for BFFM_SETSELECTIONA has to be in the program's memory.
    void* remote = VirtualAllocEx(program_->Handle(), nullptr, MAX_PATH, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(remote);
    ScopeExit freeRemote([&] { VirtualFreeEx(program_->Handle(), remote, 0, MEM_RELEASE); });
    WriteProcessMemory(program_->Handle(), remote, installation.c_str(), installation.size() + 1, nullptr);
    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(remote));
    EXPECT_EQ(Text(FindWindowExA(browser, nullptr, "Static", nullptr)), installation);
    PostMessageA(browser, WM_COMMAND, IDOK, 0);

    ASSERT_TRUE(WaitUntil(
        [&] {
            char folder[MAX_PATH] = "";
            GetDlgItemTextA(dialog, IDC_ENV_FOLDER, folder, sizeof folder);
            return folder == installation && IsWindowEnabled(GetDlgItem(dialog, IDOK));
        },
        std::chrono::seconds(10)));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitForShellRuns(1));
    EXPECT_EQ(ShellRuns()[0]["target_root"], installation);
    program_->Terminate();  // before the drive goes away
}
