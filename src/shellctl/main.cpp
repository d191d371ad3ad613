#include "common/fatal_error_box.h"
#include "shellctl/entry.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

int RunProgram()
{
    // The C runtime has split the command line by the usual rules; only the first argument counts.
    std::string firstArgument = __argc > 1 && __argv[1] ? __argv[1] : "";
    RunLogonShell(firstArgument);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunGuarded(RunProgram); }
