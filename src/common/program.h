// The process's orderly end and the platform family it runs on, for every part of the program.
#pragma once

// True when the platform is of the Windows NT family.
bool IsWindowsNT();

// True under Wine, whose ntdll exports wine_get_version. For the few calls that Wine has only as
// stubs, whose answers would otherwise be taken for the machine's; Windows never has it.
bool IsWine();

// Ends the process in the orderly way, exit code 0. Nothing is undone beforehand: the hook,
// the language module and the shared state go with the process.
[[noreturn]] void EndProgram();
