// The process-wide values that the parts of the program share. They live for the whole run and
// are touched only by the program's one thread. Each value has one writer:
//   Settings            the settings file at start-up (LessLogonMode also by the environment
//                       dialog, whenever the operator collapses or expands it)
//   ShellCommand        the environment dialog on OK; the shell loop starts it
//   TargetRoot          the environment dialog on OK; published as TARGET_ROOT
//   StoredHash          the password flow (the registry's legacy PassHash in logon mode; 0 in
//                       set mode, which never makes one)
//   StoredKey           the password flow (the registry's PassKey in logon mode, the new key in
//                       set mode); written to the password file. The password itself is never kept.
//   ScanDialogWindow    the environment dialog while the catalogues are built
//   the four catalogues created empty and destroyed by the environment dialog once per pass,
//                       filled by their builders; absent between passes
#pragma once

#include "catalogues/display_modes.h"
#include "catalogues/layouts.h"
#include "catalogues/targets.h"
#include "catalogues/timezones.h"
#include "password/pass_key.h"
#include "session/settings_text.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct SharedState {
    TSettings Settings;
    // Runs when the environment dialog cannot be shown on the first pass.
    std::string ShellCommand = "%windir%\\system32\\cmd.exe";
    std::string TargetRoot;
    uint32_t StoredHash = 0;  // 0: no legacy hash
    std::optional<TPassKey> StoredKey;  // when set, it alone decides
    HWND ScanDialogWindow = nullptr;
    std::unique_ptr<TTargetList> TargetList;
    std::unique_ptr<TLayoutList> LayoutList;
    std::unique_ptr<TTimeZoneList> TimeZoneList;
    std::unique_ptr<TDisplayModeList> DisplayModeList;
};

SharedState& Shared();
