#include "envdialog/folder_browser.h"

#include "catalogues/targets.h"
#include "common/callback_boundary.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/text.h"
#include "common/window.h"
#include "envdialog/hive_names.h"
#include "langmodule/langmodule.h"

#include <commctrl.h>
#include <shlobj.h>

namespace {

// Pixels at 96 DPI, scaled to the system's.
const int kWidening = ScaleForDpi(135);     // a gap of 10 and a column 125 wide
const int kColumnGap = ScaleForDpi(10);
const int kColumnWidth = ScaleForDpi(125);
const int kPathLineHeight = ScaleForDpi(20);
const int kListBelowPathLine = ScaleForDpi(19);
const int kListShorterThanTree = ScaleForDpi(60);
const int kDescriptionGap = ScaleForDpi(10);
const int kDescriptionHeight = ScaleForDpi(50);
const int kPlacementWidth = ScaleForDpi(800);  // the browser is placed in a fixed area, not by the screen
const int kPlacementHeight = ScaleForDpi(600);
const int kPlacementLift = ScaleForDpi(20);

// The window rectangle in the browser's client coordinates.
RECT ClientRectOf(HWND browser, HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, browser, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void AddStyle(HWND window, LONG bits)
{
    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | bits);
}

HWND CreateColumnWindow(HWND browser, DWORD exStyle, const char* className, const std::string& text, DWORD style,
                        int x, int y, int height, HFONT font)
{
    HWND window = CreateWindowExA(exStyle, className, text.c_str(), style, x, y, kColumnWidth, height, browser,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return window;
}

// "C:\" of "C:\Windows"; empty when the path has no backslash.
std::string RootOf(const std::string& path)
{
    size_t slash = path.find('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void OnSelectionChanged(HWND browser, const TargetBrowser& state, LPCITEMIDLIST item)
{
    int okDecision = 0;
    char path[MAX_PATH] = "";
    if (!SHGetPathFromIDListA(item, path)) path[0] = '\0';  // a virtual item (the drive list) has no path
    SetWindowTextA(state.PathLine, path);

    // GetDriveTypeA("") would judge the current folder's drive, not the selection.
    const std::string root = RootOf(path);
    if (!root.empty() && GetDriveTypeA(root.c_str()) == DRIVE_FIXED) okDecision = 1;
    FillHiveList(state.HiveList, path, "\\*.");
    const std::string status = UpdateFolderStatus(state, okDecision, path);
    SetWindowTextA(state.DescriptionBox, status.c_str());
    SendMessageA(browser, BFFM_ENABLEOK, 0, okDecision);
}

// The platform's folder browser, rooted at the drive list, with the given callback, its data and flags.
std::string RunFolderBrowser(HWND owner, BFFCALLBACK callback, LPARAM data, UINT flags)
{
    // SHBrowseForFolder requires COM in an apartment on the calling thread (its page says so);
    // Wine's browser works without it, Windows' does not. Declared first, so it ends last.
    ComApartment com;
    UniqueInterface<IMalloc> allocator;
    if (SHGetMalloc(allocator.put()) != S_OK || !allocator) return std::string();

    LPITEMIDLIST rootItem = nullptr;
    SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &rootItem);  // on failure the browser roots at the desktop
    ShellMemory root(allocator.get(), rootItem);
    ShellMemory buffer(allocator.get(), allocator->Alloc(MAX_PATH));
    if (!buffer) return std::string();  // the browser would write its display name through a null pointer

    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = rootItem;
    info.pszDisplayName = static_cast<char*>(buffer.get());
    info.ulFlags = flags;
    info.lpfn = callback;
    info.lParam = data;
    ShellMemory chosen(allocator.get(), SHBrowseForFolderA(&info));
    RethrowCallbackError();  // one the callback held
    if (!chosen) return std::string();

    // The buffer holds the browser's display name until this; a failed lookup must not return that.
    char* path = static_cast<char*>(buffer.get());
    if (!SHGetPathFromIDListA(static_cast<LPCITEMIDLIST>(chosen.get()), path)) return std::string();
    return path;
}

void OnDestinationChanged(HWND browser, LPCITEMIDLIST item)
{
    char path[MAX_PATH] = "";
    if (!SHGetPathFromIDListA(item, path)) path[0] = '\0';
    const bool writable = IsWritableFolder(path);
    const std::string status = writable ? std::string(path) : LoadLangStringOr(IDS_COLLECT_NOT_WRITABLE,
        "Logs cannot be written here. Choose a folder on a USB drive or a hard disk.");
    SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(status.c_str()));
    SendMessageA(browser, BFFM_ENABLEOK, 0, writable);
}

int CALLBACK DestinationCallback(HWND browser, UINT message, LPARAM lParam, LPARAM lpData)
{
    if (IsCallbackErrorHeld()) return 0;
    AtCallbackBoundary(0, [&] {
        if (message == BFFM_INITIALIZED) {
            const std::string title = LoadLangStringOr(
                IDS_COLLECT_BROWSE_TITLE, "Choose where to put the logs (on a USB drive they outlast the restart)");
            SetWindowTextA(browser, title.c_str());
            if (*reinterpret_cast<const char*>(lpData)) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, lpData);
        }
        if (message == BFFM_SELCHANGED) OnDestinationChanged(browser, reinterpret_cast<LPCITEMIDLIST>(lParam));
        return 0;
    });
    if (IsCallbackErrorHeld()) PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

}  // namespace

std::string BrowseTargetFolder(HWND owner, const std::string& initialPath)
{
    TargetBrowser state;
    state.InitialPath = initialPath;
    return RunFolderBrowser(owner, BrowserCallback, reinterpret_cast<LPARAM>(&state), BIF_RETURNONLYFSDIRS);
}

// The initial path's characters are the destination browser's callback data.
std::string BrowseDestinationFolder(HWND owner, const std::string& initialPath)
{
    return RunFolderBrowser(owner, DestinationCallback, reinterpret_cast<LPARAM>(initialPath.c_str()),
                            BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT);
}

bool IsWritableFolder(const std::string& path)
{
    const std::string root = RootOf(path);
    if (root.empty() || !IsExistingFolder(path)) return false;
    const UINT type = GetDriveTypeA(root.c_str());
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE && type != DRIVE_REMOTE && type != DRIVE_RAMDISK) return false;
    // Decided by the volume alone: Windows does not honour the read-only attribute on a folder
    // (Explorer sets it on every customised one), and a probe file would write to each folder the
    // operator passes over. What the volume takes but the folder refuses, the copy reports.
    DWORD flags = 0;
    if (!GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return false;
    return !(flags & FILE_READ_ONLY_VOLUME);
}

std::string FirstRemovableDrive()
{
    // A drive without a medium must not bring up the system's "insert a disk" box.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ScopeExit restore([oldMode] { SetErrorMode(oldMode); });
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (!(drives & (1u << (letter - 'A')))) continue;
        const std::string root = std::string(1, letter) + ":\\";
        if (GetDriveTypeA(root.c_str()) == DRIVE_REMOVABLE && IsWritableFolder(root)) return root;
    }
    return std::string();
}

int CALLBACK BrowserCallback(HWND browser, UINT message, LPARAM lParam, LPARAM lpData)
{
    // An error here is held and the browser closed; BrowseTargetFolder throws it again.
    auto* state = reinterpret_cast<TargetBrowser*>(lpData);
    if (IsCallbackErrorHeld() || !state) return 0;
    AtCallbackBoundary(0, [&] {
        switch (message) {
        case BFFM_INITIALIZED:
            CustomiseBrowser(browser, *state);
            SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(state->InitialPath.c_str()));
            break;
        case BFFM_SELCHANGED:
            OnSelectionChanged(browser, *state, reinterpret_cast<LPCITEMIDLIST>(lParam));
            break;
        }
        return 0;
    });
    if (IsCallbackErrorHeld()) PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

void CustomiseBrowser(HWND browser, TargetBrowser& state)
{
    state.Browser = browser;
    state.HiveList = nullptr;
    state.DescriptionBox = nullptr;
    HWND treeView = FindWindowExA(browser, nullptr, "SysTreeView32", nullptr);
    state.PathLine = FindWindowExA(browser, nullptr, "Static", nullptr);  // the (empty) title line
    const std::string title = LoadLangString(IDS_BROWSE_TITLE);
    if (!treeView || !state.PathLine) {  // a browser of another layout: leave its shape alone
        SetWindowTextA(browser, title.c_str());
        return;
    }
    const int browserWidth = WindowWidth(browser);
    const int browserHeight = WindowHeight(browser);

    const RECT tree = ClientRectOf(browser, treeView);
    AddStyle(treeView, TVS_SHOWSELALWAYS);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(treeView, WM_GETFONT, 0, 0));
    const int pathTop = ControlPosition(state.PathLine).y;
    AddStyle(state.PathLine, SS_LEFTNOWORDWRAP);  // a long path is cut at the right, not wrapped

    const int offset = tree.top - pathTop - kPathLineHeight;
    BrowserShift shift{&state, offset};
    EnumChildWindows(browser, ShiftBrowserChild, reinterpret_cast<LPARAM>(&shift));
    RethrowCallbackError();
    SetWindowPos(state.PathLine, nullptr, 0, 0, tree.right - tree.left, kPathLineHeight,
                 SWP_NOMOVE | SWP_NOOWNERZORDER);
    // A browser without a title may keep its title line hidden (Wine does); as the path line it
    // must be seen.
    ShowWindow(state.PathLine, SW_SHOWNA);

    // Created after the shift, so they stay where they are put.
    const int columnX = tree.right + kColumnGap;
    const int listTop = pathTop + kListBelowPathLine;
    const int listHeight = tree.bottom - tree.top - kListShorterThanTree;
    state.HiveList = CreateColumnWindow(browser, WS_EX_STATICEDGE, "listbox", "",
                                        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOSEL |
                                            LBS_NOINTEGRALHEIGHT | LBS_SORT | LBS_NOTIFY,
                                        columnX, listTop, listHeight, font);
    CreateColumnWindow(browser, 0, "static", LoadLangString(IDS_BROWSE_HIVE_LABEL), WS_CHILD | WS_VISIBLE | SS_SIMPLE,
                       columnX, pathTop, kPathLineHeight, font);
    state.DescriptionBox =
        CreateColumnWindow(browser, WS_EX_STATICEDGE, "static", "", WS_CHILD | WS_VISIBLE | SS_LEFT, columnX,
                           listTop + listHeight + kDescriptionGap, kDescriptionHeight, font);

    SetWindowPos(browser, nullptr, (kPlacementWidth - (browserWidth + kWidening)) / 2,
                 (kPlacementHeight - browserHeight) / 2 - kPlacementLift, browserWidth + kWidening,
                 browserHeight - offset, 0);
    SetWindowTextA(browser, title.c_str());
}

static BOOL ShiftOneChild(HWND child, const BrowserShift& shift);

BOOL CALLBACK ShiftBrowserChild(HWND child, LPARAM shift)
{
    return AtCallbackBoundary(FALSE, [&]() -> BOOL {
        return ShiftOneChild(child, *reinterpret_cast<const BrowserShift*>(shift));
    });
}

static BOOL ShiftOneChild(HWND child, const BrowserShift& shift)
{
    // Grandchildren are placed by their own parents; moving them in browser coordinates would
    // throw them off.
    if (child == shift.state->PathLine || GetParent(child) != shift.state->Browser) return TRUE;
    const POINT corner = ControlPosition(child);
    char className[10] = "";
    GetClassNameA(child, className, sizeof className);
    const int dx = UpperAscii(className) == "BUTTON" ? kWidening : 0;
    SetWindowPos(child, nullptr, corner.x + dx, corner.y - shift.offset, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
    return TRUE;
}

void FillHiveList(HWND list, const std::string& folder, const std::string& pattern)
{
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    if (folder.empty()) return;
    // With the pattern "\*." the text holds "\\" before the wildcard; path handling reads it as one.
    const std::string search = folder + "\\system32\\config\\" + pattern;
    WIN32_FIND_DATAA entry{};
    UniqueFind find(FindFirstFileA(search.c_str(), &entry));
    if (!find) return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        CharUpperA(entry.cFileName);
        if (IsHiveName(entry.cFileName)) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.cFileName));
    } while (FindNextFileA(find.get(), &entry));
}

std::string UpdateFolderStatus(const TargetBrowser& state, int& okDecision, const std::string& folder)
{
    if (okDecision == 0) return LoadLangString(IDS_BROWSE_NOT_FIXED);
    if (SendMessageA(state.HiveList, LB_GETCOUNT, 0, 0) <= 0) {  // LB_ERR (no list) counts as empty
        okDecision = 0;
        return LoadLangString(IDS_BROWSE_NO_HIVES);
    }
    return ReadInstallationName(folder);
}
