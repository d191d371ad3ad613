// The floor for the start-to-dialog figure of `make bench`: a program that does nothing but load
// the language module beside itself and show its environment dialog template, empty. What the
// logon shell needs beyond this is its own start-up: settings, the catalogues and the scan.
#include "common/resource_ids.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace {

INT_PTR CALLBACK EmptyDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.erase(folder.find_last_of('\\') + 1);
    HMODULE module = LoadLibraryExA((folder + "LangPack.dll").c_str(), nullptr, 0);
    if (!module) return 2;
    // The template holds a list view, whose class exists only once the common controls are set up.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    INT_PTR result =
        DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_ENVIRONMENT), GetDesktopWindow(), EmptyDialogProc, 0);
    return static_cast<int>(result);
}
