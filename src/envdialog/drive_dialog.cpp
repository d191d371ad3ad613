#include "envdialog/drive_dialog.h"

#include "common/resource_ids.h"
#include "common/secret_entry.h"
#include "common/window.h"
#include "common/run_log.h"
#include "envdialog/network_drive.h"
#include "envdialog/network_texts.h"
#include "envdialog/share_rules.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"
#include "session/shared_state.h"

#include <cctype>
#include <vector>

namespace {

struct DriveDialogState {
    std::vector<DrivePreset> Presets;
};

DriveDialogState* StateOf(HWND dialog) { return reinterpret_cast<DriveDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER)); }


void ShowDriveMessage(HWND dialog, const std::string& text, UINT icon)
{
    ShowLoggedMessageBox(dialog, text, NetworkText(IDS_DRIVE_CAPTION), MB_OK | icon);
}

// The free letters D: to Z:, the proposed one (or the wanted one, when free) selected.
void FillLetters(HWND dialog, char wanted)
{
    HWND combo = GetDlgItem(dialog, IDC_DRIVE_LETTER);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    const DWORD used = GetLogicalDrives();
    const bool wantedFree = wanted >= 'D' && wanted <= 'Z' && !(used & (1u << (wanted - 'A')));
    const char chosen = wantedFree ? wanted : ProposedDriveLetter(used);
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        if (used & (1u << (letter - 'A'))) continue;
        const char text[] = {letter, ':', '\0'};
        const auto index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (letter == chosen) SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

void FillConnected(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_DRIVE_CONNECTED);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const ConnectedDrive& drive : ConnectedDrives()) {
        std::string line = std::string(1, drive.Letter) + ":  " + drive.Path;
        if (!drive.User.empty()) line += "  (" + drive.User + ")";
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    EnableWindow(GetDlgItem(dialog, IDC_DRIVE_DISCONNECT), FALSE);
}

void InitDriveDialog(HWND dialog, const DriveDialogState& state)
{
    for (const DrivePreset& preset : state.Presets) {
        SendDlgItemMessageA(dialog, IDC_DRIVE_PATH, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(preset.Path.c_str()));
    }
    SendDlgItemMessageA(dialog, IDC_DRIVE_PASSWORD, EM_LIMITTEXT, kSecretBuffer - 1, 0);
    FillLetters(dialog, 0);
    FillConnected(dialog);
}

void OnPresetChosen(HWND dialog, const DriveDialogState& state)
{
    const auto index = SendDlgItemMessageA(dialog, IDC_DRIVE_PATH, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= state.Presets.size()) return;
    const DrivePreset& preset = state.Presets[static_cast<size_t>(index)];
    SetDlgItemTextA(dialog, IDC_DRIVE_USER, preset.User.c_str());
    FillLetters(dialog, preset.Letter);
    SetFocus(GetDlgItem(dialog, IDC_DRIVE_PASSWORD));
}

void OnConnect(HWND dialog)
{
    // The combo box's edit shows a chosen preset's text only after this notification returns.
    const std::string path = DialogItemText(dialog, IDC_DRIVE_PATH);
    const std::string user = DialogItemText(dialog, IDC_DRIVE_USER);
    const std::string letter = DialogItemText(dialog, IDC_DRIVE_LETTER);
    const ShareProblem problem = CheckShareInput(path, user, letter);
    if (problem != ShareProblem::None) {
        const UINT text = problem == ShareProblem::BadPath   ? IDS_DRIVE_BAD_PATH
                          : problem == ShareProblem::BadUser ? IDS_DRIVE_BAD_USER
                                                             : IDS_DRIVE_BAD_LETTER;
        ShowDriveMessage(dialog, NetworkText(text), MB_ICONWARNING);
        SetFocus(GetDlgItem(dialog, problem == ShareProblem::BadPath   ? IDC_DRIVE_PATH
                                    : problem == ShareProblem::BadUser ? IDC_DRIVE_USER
                                                                       : IDC_DRIVE_LETTER));
        return;
    }
    const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
    unsigned long error = 0;
    {
        // An unreachable server takes its time to answer (tens of seconds); meanwhile the dialog
        // paints and the hot keys work.
        TypedSecret password(dialog, IDC_DRIVE_PASSWORD);
        RunBusy(dialog, [&] { error = ConnectNetworkDrive(drive, path, user, password.data()); });
    }
    ClearSecretEntry(dialog, IDC_DRIVE_PASSWORD);
    if (error != 0) {
        ShowDriveMessage(dialog, DriveFailureText(error, path, drive), MB_ICONWARNING);
        return;
    }
    FillLetters(dialog, 0);
    FillConnected(dialog);
}

void OnDisconnect(HWND dialog)
{
    const auto index = SendDlgItemMessageA(dialog, IDC_DRIVE_CONNECTED, LB_GETCURSEL, 0, 0);
    const std::vector<ConnectedDrive>& drives = ConnectedDrives();
    if (index < 0 || static_cast<size_t>(index) >= drives.size()) return;
    const ConnectedDrive drive = drives[static_cast<size_t>(index)];
    unsigned long error = 0;
    RunBusy(dialog, [&] { error = DisconnectNetworkDrive(drive.Letter); });
    if (error != 0 && error != ERROR_NOT_CONNECTED) {
        ShowDriveMessage(dialog,
                         NetworkText(IDS_DRIVE_DISCONNECT_FAILED,
                                     {std::string(1, drive.Letter) + ":", std::to_string(error), SystemErrorText(error)}),
                         MB_ICONWARNING);
    }
    FillLetters(dialog, 0);
    FillConnected(dialog);
}

INT_PTR CALLBACK DriveDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        InitDriveDialog(dialog, *reinterpret_cast<DriveDialogState*>(lParam));
        return TRUE;
    }
    DriveDialogState* state = StateOf(dialog);
    if (message != WM_COMMAND || !state) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_DRIVE_PATH:
        if (HIWORD(wParam) == CBN_SELCHANGE) OnPresetChosen(dialog, *state);
        return TRUE;
    case IDC_DRIVE_CONNECTED:
        if (HIWORD(wParam) == LBN_SELCHANGE) EnableWindow(GetDlgItem(dialog, IDC_DRIVE_DISCONNECT), TRUE);
        return TRUE;
    case IDC_DRIVE_DISCONNECT: OnDisconnect(dialog); return TRUE;
    case IDOK: OnConnect(dialog); return TRUE;
    case IDCANCEL:
        ClearSecretEntry(dialog, IDC_DRIVE_PASSWORD);  // typed, but never used
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

std::string DriveFailureText(unsigned long error, const std::string& path, char letter)
{
    const std::string drive = std::string(1, letter) + ":";
    const std::string code = std::to_string(error);
    switch (ClassifyShareError(error)) {
    case ShareFailure::NotFound: return NetworkText(IDS_DRIVE_NOT_FOUND, {path});
    case ShareFailure::Credentials: return NetworkText(IDS_DRIVE_CREDENTIALS, {path});
    case ShareFailure::Conflict: return NetworkText(IDS_DRIVE_CONFLICT, {path});
    case ShareFailure::SigningRequired: return NetworkText(IDS_DRIVE_SIGNING, {path});
    case ShareFailure::GuestBlocked: return NetworkText(IDS_DRIVE_GUEST, {path});
    case ShareFailure::NoNetwork: return NetworkText(IDS_DRIVE_NO_NETWORK, {path});
    case ShareFailure::LetterInUse: return NetworkText(IDS_DRIVE_LETTER_IN_USE, {path, drive});
    case ShareFailure::Other: break;
    }
    if (error == ERROR_PROC_NOT_FOUND) return NetworkText(IDS_DRIVE_NO_MPR);
    return NetworkText(IDS_DRIVE_OTHER, {path, drive, code, SystemErrorText(error)});
}

void RunDriveDialog(HWND owner)
{
    DriveDialogState state;
    for (const std::string& line : Shared().Settings.NetworkDrives) {
        DrivePreset preset;
        if (ParseDrivePreset(line, preset)) {
            state.Presets.push_back(preset);
        } else {
            LogEvent("drive", {{"preset", DrivePresetForLog(line)}, {"result", "malformed"}});
        }
    }
    ShowLangDialogOrBuiltIn(IDD_NET_DRIVE, owner, DriveDlgProc, reinterpret_cast<LPARAM>(&state));
}
