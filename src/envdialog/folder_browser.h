// The target folder browser: any folder can be picked as target root. The platform's folder
// browser, rooted at the drive list, grows a strip on the right that lists the hive files of the
// selection's system32\config and describes the selection; OK is offered only for a folder on a
// fixed disk that holds at least one hive file.
#pragma once

#include <windows.h>

#include <string>

// The chosen folder's path, or empty text when the operator cancelled or no browser could be shown.
// initialPath is selected when the browser opens.
std::string BrowseTargetFolder(HWND owner, const std::string& initialPath);

// The same browser in a plain-folder mode, for the destination of Collect logs: OK is offered for
// any folder that can be written (not on a CD or a read-only volume), and no hive strip is shown.
std::string BrowseDestinationFolder(HWND owner, const std::string& initialPath);

// True when path is an existing folder on a volume that takes writes: a fixed, removable,
// network or RAM drive, not mounted read-only. The folder's read-only attribute does not count.
bool IsWritableFolder(const std::string& path);

// The root ("E:\\") of the first removable drive with a writable medium; empty when there is none.
std::string FirstRemovableDrive();

// What one open target browser works on: BrowseTargetFolder's, handed to the callback as its
// lpData (BROWSEINFO's lParam). The windows are the browser's, found or made as it opens.
struct TargetBrowser {
    std::string InitialPath;  // selected when the browser opens
    HWND Browser = nullptr;
    HWND PathLine = nullptr;        // the browser's title line, showing the selection's path
    HWND HiveList = nullptr;        // the hive files of the selection
    HWND DescriptionBox = nullptr;  // what the selection is
};

// The browser's callback; lpData is the TargetBrowser. Always returns 0.
int CALLBACK BrowserCallback(HWND browser, UINT message, LPARAM lParam, LPARAM lpData);

// Reshapes the browser once, when it opens, and records the windows the callback updates.
void CustomiseBrowser(HWND browser, TargetBrowser& state);

// One child of the browser being customised, moved up by the shift's offset (and buttons 135 to
// the right); lParam is a BrowserShift.
struct BrowserShift {
    const TargetBrowser* state;
    int offset;
};
BOOL CALLBACK ShiftBrowserChild(HWND child, LPARAM shift);

// Refills the list box with the hive files found by folder + "\system32\config\" + pattern,
// upper-cased.
void FillHiveList(HWND list, const std::string& folder, const std::string& pattern);

// The description of the selected folder for an OK decision of 1 (fixed disk) or 0; clears the
// decision when the open browser's hive list is empty.
std::string UpdateFolderStatus(const TargetBrowser& state, int& okDecision, const std::string& folder);
