#include "common/fatal_error_box.h"
#include "shellctl/command_line.h"
#include "shellctl/entry.h"

#include <windows.h>

#include <cstdlib>

namespace {

int RunProgram()
{
    // The C runtime has split the command line by the usual rules.
    RunLogonShell(IsSetPasswordMode(__argc, __argv));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunGuarded(RunProgram); }
