// The process-wide values that the parts of the program share. They live for the whole run and
// are touched only by the program's one thread. Each value has one writer:
//   Settings            the settings file at start-up (LessLogonMode also by the environment
//                       dialog, whenever the operator collapses or expands it)
//   ShellCommand        the environment dialog on OK; the shell loop starts it
//   TargetRoot          the environment dialog on OK; published as TARGET_ROOT
// What lives for less than the run is not here: the catalogues belong to one pass of the
// environment dialog, the stored password to the password flow that reads it.
#pragma once

#include "session/settings_text.h"

#include <string>

struct SharedState {
    TSettings Settings;
    // Runs when the environment dialog cannot be shown on the first pass.
    std::string ShellCommand = "%windir%\\system32\\cmd.exe";
    std::string TargetRoot;
    // Removable drives are searched too: the environment dialog's check box, kept for the session.
    bool SearchRemovableDrives = false;
};

SharedState& Shared();
